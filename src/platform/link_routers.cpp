#include "link_routers.h"

#include <QSet>

namespace corvane::LinkRouters {

bool isKnown(const QString& handlerId)
{
    static const QSet<QString> known{
        // macOS bundle identifiers
        QStringLiteral("com.sindresorhus.Velja"),
        QStringLiteral("net.kassett.finicky"),
        QStringLiteral("com.bumpr.Bumpr"),
        QStringLiteral("com.choosyosx.Choosy"),
        QStringLiteral("com.browserosaurus"),
        QStringLiteral("app.loshadki.OpenIn"),
        QStringLiteral("xyz.alexstrnik.Browserino"),
        // Linux desktop ids
        QStringLiteral("re.sonny.Junction.desktop"),
        QStringLiteral("linkquisition.desktop"),
        QStringLiteral("com.properlypurple.braus.desktop"),
        QStringLiteral("io.github.alyraffauf.Switchyard.desktop"),
        QStringLiteral("software.Browsers.desktop"),
        QStringLiteral("choosme.desktop"),
    };
    return known.contains(handlerId);
}

} // namespace corvane::LinkRouters
