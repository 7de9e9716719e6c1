// corvane-app: the desktop link router. The desktop starts the launcher
// `corvane URL…` for every link, which hands the links to this running process
// or, when none runs, becomes it; started directly, it hands over the same way.

#include "app/model.h"
#include "app/tab_relay.h"
#include "app/model_environment.h"
#include "platform/linux/linux_platform.h"
#include "platform/single_instance.h"
#include "ui/picker/picker_controller.h"
#include "ui/picker/picker_view.h"
#include "ui/preview/preview_renderer.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/message_box_alerts.h"
#include "ui/shell/qt_arguments.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>

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

    // Built from the program name alone: Qt reads no option from a link.
    QtArguments qtArguments(argv[0]);
    QApplication app(qtArguments.argc(), qtArguments.argv());
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
    AppDelegate delegate;
    environment.window = &delegate;
    PickerController picker;
    delegate.attachPicker(picker);
    environment.picker = &picker;
    environment.extensionFolder = extensionFolder();
    // Where the extension reaches us, so a link can switch to a tab it finds.
    TabRelay tabs;
    tabs.listen(intake.tabsServerPath());
    environment.tabs = &tabs;
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

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    AppDelegate::Launch launch{arguments, links.isEmpty()};
    // The command line's links and whatever later launches handed over
    // meanwhile are taken as the last step of start-up, once the panel and
    // the picker exist: a picker put up earlier would be closed again by
    // the window being built.
    launch.receiveHeld = [&] {
        if (!links.isEmpty())
            model.receive(links, activation);
        else
            platform.endActivation(activation);
        intake.startDelivering();
    };
    if (const auto exitCode = delegate.start(model, launch))
        return *exitCode;
    return app.exec();
}
