#include "model.h"

#include "platform/platform.h"
#include "update_settings.h"

#include <QSysInfo>
#include <QUrlQuery>

namespace corvane {

QUrl Model::feedbackLink(const QString& address, const QString& version, const QString& systemName)
{
    const QString body = QStringLiteral("\n\n\nCorvane %1, %2").arg(version, systemName);
    QUrl link;
    link.setScheme(QStringLiteral("mailto"));
    link.setPath(address);
    if (!link.isValid() || address.isEmpty())
        return {};
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), QStringLiteral("Corvane feedback"));
    query.addQueryItem(QStringLiteral("body"), body);
    link.setQuery(query);
    return link;
}

void Model::sendFeedback()
{
    // The system's display name (PRETTY_NAME of os-release on Linux).
    const QUrl link =
        feedbackLink(BuildSettings::supportAddress(), appVersion(), QSysInfo::prettyProductName());
    if (link.isValid())
        m_env.platform->openUrl(link);
}

} // namespace corvane
