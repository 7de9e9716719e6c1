#pragma once

#include "records.h"

#include <QStringList>

#include <functional>

namespace corvane {

// Asks the user which profile the head of the queue opens in. The user
// interface implements it; the model only calls it.
class PickerPresenter {
public:
    virtual ~PickerPresenter() = default;
    // Called again for a link already on screen: keep that panel as it is,
    // or show the new profiles when they differ.
    virtual void present(const Pending& link, const QStringList& profiles) = 0;
};

// Brings the application's window forward when a link needs the user.
class WindowPresenter {
public:
    virtual ~WindowPresenter() = default;
    virtual void showWindow() = 0;
};

// A modal message with its buttons in display order, the first the default.
struct Alert {
    QString message;
    QString informativeText;
    QStringList buttons; // empty: one "OK" button
    bool operator==(const Alert&) const = default;
};

// Shows alerts in front of everything else. `done` gets the response once:
// firstButton for the first button, firstButton + 1 for the second, and so on.
class AlertPresenter {
public:
    static constexpr int firstButton = 1000;
    virtual ~AlertPresenter() = default;
    virtual void run(const Alert& alert, std::function<void(int response)> done) = 0;
};

} // namespace corvane
