#include "settings_actions.h"

#include "app/model.h"

#include <QCoreApplication>
#include <QSettings>
#include <QUrl>

namespace corvane::SettingsActions {

QString appVersion(const Model&)
{
    return QCoreApplication::applicationVersion();
}

QString updateFeedHost(const Model& model)
{
    return QUrl(model.userDefaults().value("updateFeedURL").toString()).host();
}

void checkForUpdates(Model&) {}

void installUpdate(Model&) {}

void sendFeedback(Model&) {}

} // namespace corvane::SettingsActions
