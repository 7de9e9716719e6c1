#pragma once

#include "platform/platform.h"
#include "platform/process_run.h"

#include <QObject>
#include <QProcessEnvironment>

namespace corvane {

// The platform services on a Linux desktop: xdg-utils for the web-link
// handler, desktop entries for names and identity, /proc for running
// browsers, D-Bus for the file manager.
class LinuxPlatform : public Platform {
public:
    struct Options {
        // This program. Empty: the running executable. The desktop starts the
        // launcher `corvane` in the same folder.
        QString binaryPath;
        // Where desktop entries are looked up and what the tools we start see.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QString xdgMime = QStringLiteral("xdg-mime");
        QString opener = QStringLiteral("xdg-open"); // folders, web and mail links
        QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
        int toolTimeoutMs = 10000; // an xdg-mime that hangs is given up on, with all it started
    };

    LinuxPlatform();
    explicit LinuxPlatform(Options options);

    TargetBrowser targetBrowser(const QString& preferredId) const override;
    QList<TargetBrowser> installedBrowsers() const override;
    bool isBrowserRunning(const TargetBrowser& browser) const override;
    void launchBrowser(const TargetBrowser& browser, Done done) override;
    void openFilesWithBrowser(const TargetBrowser& browser, const QList<QUrl>& files,
                              const Activation& activation) override;
    QProcessEnvironment launchEnvironment(const Activation& activation) const override;
    void endActivation(const Activation& activation) override;

    void queryWebLinkHandler(HandlerAnswer answer) override;
    QString ownHandlerId() const override { return QStringLiteral("corvane.desktop"); }
    bool runningFromBundle() const override;
    bool isKnownLinkRouter(const QString& handlerId) const override;
    void makeDefaultHandler(Done done) override;

    void revealFile(const QString& path) override;
    void openFolder(const QString& path) override;
    void openUrl(const QUrl& url) override;

    QString bridgeRunner() const override;
    QString installExtensionHost() override;

    // The text `makeDefaultHandler` fails with when this binary is not the
    // installed application.
    static QString notInstalledMessage();

    // A desktop tool that shrugs off SIGTERM gets this long before SIGKILL.
    static constexpr int toolGraceMs = 1000;

private:
    QString binaryPath() const;
    void runXdgMime(QStringList schemes, Done done);
    // An xdg-mime run with our environment and time-out.
    ProcessRun::Job tool(const QStringList& arguments) const;
    WebHandler describeHandler(const QString& desktopId) const;
    void startDetached(const QString& program, const QStringList& arguments,
                       const Activation& activation = {}) const;

    Options m_options;
    // Answers of running tools and D-Bus calls are dropped once we are gone.
    QObject m_context;
};

} // namespace corvane
