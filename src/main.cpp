// corvane-app: the desktop link router. The desktop starts the launcher
// `corvane URL…` for every link, which hands the links to this running process
// or, when none runs, becomes it; started directly, it hands over the same way.

#include "app/model.h"
#include "app/model_environment.h"
#include "platform/linux/linux_platform.h"
#include "platform/single_instance.h"
#include "ui/preview/preview_renderer.h"
#include "ui/shell/message_box_alerts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

// Links are every argument that is not an option of ours.
QStringList linksFrom(int argc, char** argv)
{
    QStringList links;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (!arg.startsWith(QLatin1String("--")))
            links.append(arg);
    }
    return links;
}

// The shipped browser extension: installed under share/corvane beside bin/,
// or the source tree when run from a build folder.
QString extensionFolder()
{
    const QDir binDir(QCoreApplication::applicationDirPath());
    const QString installed = binDir.absoluteFilePath(QStringLiteral("../share/corvane/extension"));
    if (QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    const QString source = QStringLiteral(CORVANE_SOURCE_DIR "/resources/extension");
    return QFileInfo(source).isDir() ? source : QString();
}

} // namespace

int main(int argc, char** argv)
{
    using namespace corvane;

    // Previews never reach a running instance, so they work while one runs.
    if (const std::optional<QString> folder = PreviewRenderer::requestedFolder(argc, argv))
        return PreviewRenderer::run(argc, argv, *folder);

    const QStringList links = linksFrom(argc, argv);
    const Activation activation = Activation::takeFromEnvironment();
    SingleInstance intake;
    if (intake.handOff(links, activation)) {
        if (intake.failure().isEmpty())
            return 0;
        std::fprintf(stderr, "corvane: %s\n", qPrintable(intake.failure()));
        return 1;
    }

    // Built from the program name alone: no link on the command line can ever
    // be read as one of Qt's own options (-platformpluginpath, -stylesheet).
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false); // closing an alert never ends Corvane
    // Later processes are served from now on, while the state is built; what
    // they send waits for startDelivering().
    intake.listen();
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    LinuxPlatform platform;
    ModelEnvironment environment;
    environment.settingsPath = ModelEnvironment::standardSettingsPath();
    environment.userDefaultsPath = ModelEnvironment::standardUserDefaultsPath();
    environment.platform = &platform;
    environment.extensionFolder = extensionFolder();
    MessageBoxAlerts alerts;
    environment.alerts = &alerts;
    environment.updates = UpdateSettings::standard();
    Model& model = Model::setupShared(std::move(environment));

    QObject::connect(&intake, &SingleInstance::linksReceived, &model, &Model::receive);
    // A reopen opens no browser: its startup sequence ends here.
    QObject::connect(&intake, &SingleInstance::reopenRequested, &model, [&](const Activation& reopened) {
        model.showWindow();
        platform.endActivation(reopened);
    });

    if (!links.isEmpty())
        model.receive(links, activation);
    else
        platform.endActivation(activation);
    intake.startDelivering();
    const TargetBrowser browser = model.targetBrowser();
    if (model.userDefaults().value(QStringLiteral("connectedBefore"), false).toBool() &&
        platform.isBrowserRunning(browser))
        model.refresh(true);
    // --update-now: forget the day's check, check at once, install what is found.
    if (std::find(argv + 1, argv + argc, std::string_view("--update-now")) != argv + argc)
        model.updateNow();
    else
        model.checkForUpdatesQuietly();
    model.drain();
    return app.exec();
}
