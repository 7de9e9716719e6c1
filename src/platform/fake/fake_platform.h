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

    // What was asked.
    mutable QStringList preferredIds; // every targetBrowser() argument
    int launches = 0;
    QList<QList<QUrl>> openedFiles;
    int makeDefaultCalls = 0;
    QStringList revealedFiles;
    QStringList openedFolders;
    QList<QUrl> openedUrls;

    TargetBrowser targetBrowser(const QString& preferredId) const override;
    QList<TargetBrowser> installedBrowsers() const override { return installed; }
    bool isBrowserRunning(const TargetBrowser& browser) const override;
    // Completes from the event loop, as a real launch does.
    void launchBrowser(const TargetBrowser& browser, Done done) override;
    void openFilesWithBrowser(const TargetBrowser& browser, const QList<QUrl>& files) override;

    std::optional<WebHandler> webLinkHandler() const override { return handler; }
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

private:
    QObject m_context; // answers still queued die with the fake
};

} // namespace corvane
