#pragma once

#include "platform/platform.h"

#include <QObject>
#include <QSet>
#include <QStringList>

namespace corvane {

// A platform that answers from its public fields and records every request,
// for tests, benchmarks and previews. Nothing here touches the desktop.
class FakePlatform : public Platform {
public:
    // Answers.
    TargetBrowser browser{"chromium", "Chromium", true, "chrome://extensions"};
    QList<TargetBrowser> installed{browser};
    bool running = true;
    QString launchError; // non-empty: launchBrowser fails with it
    std::optional<WebHandler> handler;
    QString ownId = "corvane.desktop";
    bool fromBundle = true;
    QSet<QString> linkRouters{"re.sonny.Junction.desktop"};
    QString makeDefaultError;           // non-empty: makeDefaultHandler fails with it
    bool makeDefaultTakesEffect = true; // success makes us the handler at once
    QString runner;
    QString extensionHostError; // what installExtensionHost() answers
    int extensionHostInstalls = 0;

    // What was asked.
    mutable QStringList preferredIds; // every targetBrowser() argument
    int launches = 0;
    QList<QList<QUrl>> openedFiles;
    QList<Activation> fileActivations; // with each openedFiles entry
    QList<Activation> endedActivations;
    int makeDefaultCalls = 0;
    int handlerQueries = 0;
    // Set: handler queries wait until answerHeld(), as a slow desktop makes
    // them, and answer with `handler` as it was when asked.
    bool holdAnswers = false;
    QList<std::function<void()>> heldAnswers;
    QStringList revealedFiles;
    QStringList openedFolders;
    QList<QUrl> openedUrls;

    TargetBrowser targetBrowser(const QString& preferredId) const override;
    QList<TargetBrowser> installedBrowsers() const override { return installed; }
    bool isBrowserRunning(const TargetBrowser& browser) const override;
    // Completes from the event loop, as a real launch does.
    void launchBrowser(const TargetBrowser& browser, Done done) override;
    void openFilesWithBrowser(const TargetBrowser& browser, const QList<QUrl>& files,
                              const Activation& activation) override;
    // The process's own environment, with the activation's variables.
    QProcessEnvironment launchEnvironment(const Activation& activation) const override;
    void endActivation(const Activation& activation) override
    {
        if (!activation.isEmpty())
            endedActivations << activation;
    }

    // Answers from the event loop with `handler` as it is then, or holds.
    void queryWebLinkHandler(HandlerAnswer answer) override;
    void answerHeld();
    QString ownHandlerId() const override { return ownId; }
    bool runningFromBundle() const override { return fromBundle; }
    bool isKnownLinkRouter(const QString& handlerId) const override
    {
        return linkRouters.contains(handlerId);
    }
    void makeDefaultHandler(Done done) override;

    void revealFile(const QString& path) override { revealedFiles << path; }
    void openFolder(const QString& path) override { openedFolders << path; }
    void openUrl(const QUrl& url) override { openedUrls << url; }

    QString bridgeRunner() const override { return runner; }
    QString installExtensionHost() override
    {
        ++extensionHostInstalls;
        return extensionHostError;
    }

private:
    QObject m_context; // answers still queued die with the fake
};

} // namespace corvane
