#pragma once

#include "activation.h"

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace corvane {

// The browser links are routed to.
struct TargetBrowser {
    QString id;          // "chromium", ...
    QString displayName; // "Chromium", "Firefox (Snap)", ...; wherever a message names the browser
    bool installed = false;
    QString extensionsPage; // "chrome://extensions", "about:debugging": where unpacked extensions are loaded
    bool firefox = false;   // Firefox, else a Chromium-family browser
    bool operator==(const TargetBrowser&) const = default;
};

// The application the desktop hands web links to.
struct WebHandler {
    QString desktopId;   // "firefox-esr.desktop", or a bundle identifier on macOS
    QString displayName; // the desktop entry's Name
    bool operator==(const WebHandler&) const = default;
};

// Everything the model and the shell need from the operating system, each
// small. One implementation per OS under platform/<os>/, and a fake for tests.
class Platform {
public:
    using Done = std::function<void(const QString& error)>; // empty error = success
    using HandlerAnswer = std::function<void(const std::optional<WebHandler>& handler)>;

    virtual ~Platform() = default;

    // The target browser: the one `preferredId` names when known, else the
    // first installed.
    virtual TargetBrowser targetBrowser(const QString& preferredId) const = 0;
    // Every supported browser installed here, in a fixed order; the user picks
    // one of them when there is more than one.
    virtual QList<TargetBrowser> installedBrowsers() const = 0;
    virtual bool isBrowserRunning(const TargetBrowser& browser) const = 0;
    // Starts the browser without bringing it forward; calls `done` once started.
    virtual void launchBrowser(const TargetBrowser& browser, Done done) = 0;
    // Opens local files in the browser, which may take the focus with
    // `activation`; no completion.
    virtual void openFilesWithBrowser(const TargetBrowser& browser, const QList<QUrl>& files,
                                      const Activation& activation) = 0;
    // The environment of a program started for the user (the routing helper
    // and the browser it starts): the user's session, without what a package
    // or loader may have put into ours and without our own used-up tokens;
    // with `activation`, given for that one start.
    virtual QProcessEnvironment launchEnvironment(const Activation& activation) const = 0;
    // Ends the startup sequence of a launch that started no browser (a refused
    // link, a reopen, a link left for the picker), so no busy cursor lingers.
    virtual void endActivation(const Activation& activation) = 0;

    // Who handles "https" links now, if anyone. Asking the desktop may take a
    // while, so the answer comes from the event loop, never before this
    // returns; none when the desktop cannot tell.
    virtual void queryWebLinkHandler(HandlerAnswer answer) = 0;
    // Our own identity as a web-link handler ("corvane.desktop").
    virtual QString ownHandlerId() const = 0;
    // True when this very binary is the installed application the desktop
    // would start as `ownHandlerId()`.
    virtual bool runningFromBundle() const = 0;
    virtual bool isKnownLinkRouter(const QString& handlerId) const = 0;
    // Makes us the handler for "http" and then "https"; stops at the first error.
    virtual void makeDefaultHandler(Done done) = 0;

    virtual void revealFile(const QString& path) = 0;
    virtual void openFolder(const QString& path) = 0;
    // A web link or a mailto: link, with the desktop's handler.
    virtual void openUrl(const QUrl& url) = 0;

    // Full path of the routing helper run by the bridge; empty when missing.
    virtual QString bridgeRunner() const = 0;
    // Tells every browser installation found here where the host of our
    // extension is (its native-messaging manifests); the first error, or empty.
    virtual QString installExtensionHost() = 0;
};

} // namespace corvane
