#pragma once

#include "updater.h"

#include <QString>

#include <functional>

namespace corvane {

// Where updates come from and what they replace, for the model.
struct UpdateSettings {
    QString feedURL;     // the built-in feed; the user default "updateFeedURL" wins
    QString application; // the running Corvane.app; empty: not running from one
    QString version;     // the running version; empty counts as "0"
    QString package;     // the package format that installed it ("deb"); empty: none
    Updater::Options installer;
    // Starts the new copy and ends this process; empty: Updater::relaunch.
    std::function<void(const QString& application)> relaunch;
    int feedTimeoutMs = 10000;
    int restartDelayMs = 600;
    int updateNowPollMs = 250;
    int updateNowPolls = 40;

    // What this build and this running copy say: the built-in feed, the key
    // file of the application folder (else the built-in key), the application
    // folder and its version file (the build's own version when running from
    // a build folder), and the package that installed the folder.
    static UpdateSettings standard();
    // The first line of the application folder's "packaged" file, which only
    // a package puts there; empty without one.
    static QString packageOf(const QString& application);
};

// Fixed when Corvane is built (CMake cache variables of the same names).
namespace BuildSettings {
QString updateFeedURL();   // CORVANE_UPDATE_FEED_URL
QString updatePublicKey(); // CORVANE_UPDATE_PUBLIC_KEY
QString supportAddress();  // CORVANE_SUPPORT_EMAIL
} // namespace BuildSettings

} // namespace corvane
