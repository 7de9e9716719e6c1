#include "model.h"

#include "platform/platform.h"

#include <QPointer>

namespace corvane {

void Model::checkDefaultBrowser()
{
    const Platform& platform = *m_env.platform;
    const std::optional<WebHandler> handler = platform.webLinkHandler();
    if (!handler) {
        setIsDefaultBrowser(false);
        setOtherDefaultBrowser(std::nullopt);
        setDefaultIsLinkRouter(false);
        return;
    }
    setDefaultIsLinkRouter(!handler->desktopId.isEmpty() && platform.isKnownLinkRouter(handler->desktopId));
    // A copy started from the build tree is not the one the desktop would
    // start, so it never counts as the default.
    const bool ours = handler->desktopId == platform.ownHandlerId() && platform.runningFromBundle();
    setIsDefaultBrowser(ours);
    if (ours)
        setOtherDefaultBrowser(std::nullopt);
    else
        setOtherDefaultBrowser(QString(handler->displayName).remove(".app"));
}

void Model::setDefault()
{
    // The platform refuses, with its own message, when this binary is not the
    // installed application, and then changes nothing.
    m_env.platform->makeDefaultHandler([self = QPointer<Model>(this)](const QString& error) {
        if (!self)
            return;
        self->checkDefaultBrowser();
        if (!error.isEmpty())
            self->setStatus("Default-browser setup: " + error);
        else if (self->isDefaultBrowser())
            self->setStatus("Corvane is now your default browser.");
        else
            self->setStatus("Confirm Corvane in your desktop's default-applications settings.");
    });
}

} // namespace corvane
