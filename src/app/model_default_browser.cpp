#include "model.h"

#include "platform/platform.h"

#include <QPointer>

#include <utility>

namespace corvane {

void Model::checkDefaultBrowser()
{
    askDefaultBrowser({});
}

void Model::askDefaultBrowser(std::function<void()> then)
{
    if (m_handlerQueryRunning) {
        m_handlerQueryQueued = true;
        if (then)
            m_afterQueuedHandlerQuery << std::move(then);
        return;
    }
    if (then)
        m_afterHandlerQuery << std::move(then);
    startHandlerQuery();
}

void Model::startHandlerQuery()
{
    m_handlerQueryRunning = true;
    m_env.platform->queryWebLinkHandler(
        [self = QPointer<Model>(this)](const std::optional<WebHandler>& handler) {
            if (!self)
                return;
            self->m_handlerQueryRunning = false;
            self->applyDefaultBrowser(handler);
            const QList<std::function<void()>> answered = std::exchange(self->m_afterHandlerQuery, {});
            if (std::exchange(self->m_handlerQueryQueued, false)) {
                self->m_afterHandlerQuery = std::exchange(self->m_afterQueuedHandlerQuery, {});
                self->startHandlerQuery();
            }
            for (const auto& then : answered) {
                if (!self)
                    return;
                then();
            }
        });
}

void Model::applyDefaultBrowser(const std::optional<WebHandler>& handler)
{
    const Platform& platform = *m_env.platform;
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
        self->askDefaultBrowser([self, error] {
            if (!error.isEmpty())
                self->setStatus("Default-browser setup: " + error);
            else if (self->isDefaultBrowser())
                self->setStatus("Corvane is now your default browser.");
            else
                self->setStatus("Confirm Corvane in your desktop's default-applications settings.");
        });
    });
}

} // namespace corvane
