#include "update_settings.h"

#include <QFile>

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
    settings.application = Updater::runningApplication();
    // The installed folder's key wins: an update may bring the next key.
    QFile key(settings.application + QStringLiteral("/share/corvane/updates.pub"));
    settings.installer.publicKey = !settings.application.isEmpty() && key.open(QIODevice::ReadOnly)
                                       ? QString::fromUtf8(key.read(4096))
                                       : BuildSettings::updatePublicKey();
    settings.version = settings.application.isEmpty() ? QStringLiteral(CORVANE_VERSION)
                                                      : Updater::versionOf(settings.application);
    settings.package = packageOf(settings.application);
    return settings;
}

QString UpdateSettings::packageOf(const QString& application)
{
    if (application.isEmpty())
        return {};
    QFile file(application + QStringLiteral("/packaged"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(64)).trimmed();
}

} // namespace corvane
