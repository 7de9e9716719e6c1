#pragma once

#include <QString>

namespace corvane {

class Model;

// What the Settings page needs from updates and feedback, in one place.
namespace SettingsActions {

// The running version, as the About section shows it.
QString appVersion(const Model& model);
// Whether a package installed Corvane, so that updates come from it.
bool updatesFromPackage(const Model& model);
// The host of the update feed the daily check asks.
QString updateFeedHost(const Model& model);
// The interactive check ("Check for updates").
void checkForUpdates(Model& model);
void installUpdate(Model& model);
void sendFeedback(Model& model);

} // namespace SettingsActions
} // namespace corvane
