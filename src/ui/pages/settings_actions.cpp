#include "settings_actions.h"

#include "app/model.h"
#include "app/update_settings.h"
#include "platform/platform.h"

#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

namespace corvane::SettingsActions {

QString appVersion(const Model& model)
{
    return model.appVersion();
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

// The same mail as the status menu's "Send Feedback…": the version and the
// system in the body, below room for the message.
void sendFeedback(Model& model)
{
    const QString address = BuildSettings::supportAddress();
    if (address.isEmpty())
        return;
    QUrl mail("mailto:" + address);
    if (!mail.isValid())
        return;
    QUrlQuery query;
    query.addQueryItem("subject", "Corvane feedback");
    query.addQueryItem("body", "\n\n\nCorvane " + model.appVersion() + ", " + QSysInfo::prettyProductName());
    mail.setQuery(query);
    model.platform().openUrl(mail);
}

} // namespace corvane::SettingsActions
