#pragma once

#include <QString>

namespace corvane {

// What the desktop gives a program it starts so that the window this leads to
// may take the focus: a startup-notification id on X11, an activation token on
// Wayland. Each is good for one window, once.
struct Activation {
    QString startupId; // DESKTOP_STARTUP_ID
    QString token;     // XDG_ACTIVATION_TOKEN
    bool isEmpty() const { return startupId.isEmpty() && token.isEmpty(); }
    bool operator==(const Activation&) const = default;

    // This process's own, removed from its environment: whatever it starts
    // later must not inherit a token that is used up by then.
    static Activation takeFromEnvironment();
};

} // namespace corvane
