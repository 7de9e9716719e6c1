#pragma once

#include "records.h"

#include <QStringList>

namespace corvane {

// Asks the user which profile the head of the queue opens in. The user
// interface implements it; the model only calls it.
class PickerPresenter {
public:
    virtual ~PickerPresenter() = default;
    // Called again for a link already on screen: keep that panel as it is.
    virtual void present(const Pending& link, const QStringList& profiles) = 0;
};

// Brings the application's window forward when a link needs the user.
class WindowPresenter {
public:
    virtual ~WindowPresenter() = default;
    virtual void showWindow() = 0;
};

} // namespace corvane
