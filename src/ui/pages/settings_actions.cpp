#include "settings_actions.h"

#include "app/model.h"

namespace corvane::SettingsActions {

QString appVersion(const Model& model)
{
    return model.appVersion();
}

bool updatesFromPackage(const Model& model)
{
    return model.updatesFromPackage();
}

QString updateFeedHost(const Model& model)
{
    return model.latestURL().host();
}

void checkForUpdates(Model& model)
{
    model.checkForUpdates();
}

void installUpdate(Model& model)
{
    model.installUpdate();
}

// The same mail as the status menu's "Send Feedback…".
void sendFeedback(Model& model)
{
    model.sendFeedback();
}

} // namespace corvane::SettingsActions
