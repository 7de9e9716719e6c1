#pragma once

#include "core/url.h"
#include "update_settings.h"

#include <QObject>
#include <QString>

#include <functional>

namespace corvane {

class Platform;
class PickerPresenter;
class WindowPresenter;
class AlertPresenter;
class TabRelay;

// Turns a link into its real destination; must call `done` exactly once
// unless `context` is destroyed first.
using LinkResolver =
    std::function<void(const Url& url, QObject* context, std::function<void(const Url&)> done)>;

// Everything a Model depends on. Nothing here is looked up behind the caller's
// back, so tests and the preview renderer can point every piece elsewhere.
struct ModelEnvironment {
    QString settingsPath;              // settings.json; empty: nothing is read or written
    QString userDefaultsPath;          // INI file of the user defaults
    Platform* platform = nullptr;      // required, not owned
    PickerPresenter* picker = nullptr; // may be null, not owned
    WindowPresenter* window = nullptr; // may be null, not owned
    AlertPresenter* alerts = nullptr;  // may be null: questions count as declined
    UpdateSettings updates;            // empty: no feed, no key, not installed
    QString extensionFolder;           // the shipped browser extension; empty: unknown
    TabRelay* tabs = nullptr;          // where the extension is connected; null: no tab is reused
    LinkResolver resolver;             // empty: the network resolver
    bool autosave = true;
    int toastMs = 4000;
    int saveDelayMs = 400;
    int reloadDelayMs = 200; // an edit on disk settles before it is read
    int bridgeTimeoutMs = 25000;
    int bridgeGraceMs = 2000;
    // How long a link with "Reuse open tabs" waits for the extension's answer
    // before it opens in a new tab.
    int tabReuseTimeoutMs = 400;

    // $XDG_CONFIG_HOME/corvane/settings.json and .../corvane.conf.
    static QString standardSettingsPath();
    static QString standardUserDefaultsPath();
};

} // namespace corvane
