#include "update_settings.h"

namespace corvane {

namespace BuildSettings {

QString updateFeedURL()
{
    return QStringLiteral(CORVANE_UPDATE_FEED_URL);
}

QString updatePublicKey()
{
    return QStringLiteral(CORVANE_UPDATE_PUBLIC_KEY);
}

QString supportAddress()
{
    return QStringLiteral(CORVANE_SUPPORT_EMAIL);
}

} // namespace BuildSettings

UpdateSettings UpdateSettings::standard()
{
    UpdateSettings settings;
    settings.feedURL = BuildSettings::updateFeedURL();
    settings.installer.publicKey = BuildSettings::updatePublicKey();
    settings.application = Updater::runningApplication();
    settings.version = settings.application.isEmpty() ? QStringLiteral(CORVANE_VERSION)
                                                      : Updater::versionOf(settings.application);
    return settings;
}

} // namespace corvane
