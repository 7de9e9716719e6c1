#include "fake_platform.h"

#include <QTimer>

#include <utility>

namespace corvane {

TargetBrowser FakePlatform::targetBrowser(const QString& preferredId) const
{
    preferredIds << preferredId;
    for (const TargetBrowser& each : installed)
        if (!preferredId.isEmpty() && each.id == preferredId)
            return each;
    return browser;
}

bool FakePlatform::isBrowserRunning(const TargetBrowser&) const
{
    return running;
}

void FakePlatform::launchBrowser(const TargetBrowser&, Done done)
{
    ++launches;
    QTimer::singleShot(0, &m_context, [this, done = std::move(done)] {
        if (launchError.isEmpty())
            running = true;
        done(launchError);
    });
}

void FakePlatform::openFilesWithBrowser(const TargetBrowser&, const QList<QUrl>& files,
                                        const Activation& activation)
{
    openedFiles << files;
    fileActivations << activation;
}

QProcessEnvironment FakePlatform::launchEnvironment(const Activation& activation) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DESKTOP_STARTUP_ID");
    environment.remove("XDG_ACTIVATION_TOKEN");
    if (!activation.startupId.isEmpty())
        environment.insert("DESKTOP_STARTUP_ID", activation.startupId);
    if (!activation.token.isEmpty())
        environment.insert("XDG_ACTIVATION_TOKEN", activation.token);
    return environment;
}

void FakePlatform::queryWebLinkHandler(HandlerAnswer answer)
{
    ++handlerQueries;
    if (holdAnswers) {
        heldAnswers << [answer = std::move(answer), handler = handler] { answer(handler); };
        return;
    }
    QTimer::singleShot(0, &m_context, [this, answer = std::move(answer)] { answer(handler); });
}

void FakePlatform::answerHeld()
{
    const QList<std::function<void()>> answers = std::exchange(heldAnswers, {});
    for (const auto& answer : answers)
        answer();
}

void FakePlatform::makeDefaultHandler(Done done)
{
    ++makeDefaultCalls;
    QTimer::singleShot(0, &m_context, [this, done = std::move(done)] {
        if (makeDefaultError.isEmpty() && makeDefaultTakesEffect)
            handler = WebHandler{ownId, "Corvane"};
        done(makeDefaultError);
    });
}

} // namespace corvane
