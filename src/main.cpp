// corvane: the desktop link router. The desktop starts `corvane URL…` for every
// link; the first process keeps running and routes, later ones hand their
// links over and exit.

#include "app/model.h"
#include "app/model_environment.h"
#include "platform/linux/linux_platform.h"
#include "platform/single_instance.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/message_box_alerts.h"
#include "ui/shell/qt_arguments.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

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

    const QStringList links = linksFrom(argc, argv);
    SingleInstance intake;
    if (intake.handOff(links))
        return 0;

    // Built from the program name alone: Qt reads no option from a link.
    QtArguments qtArguments(argv[0]);
    QApplication app(qtArguments.argc(), qtArguments.argv());
    QApplication::setQuitOnLastWindowClosed(false); // closing an alert never ends Corvane
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    LinuxPlatform platform;
    ModelEnvironment environment;
    environment.settingsPath = ModelEnvironment::standardSettingsPath();
    environment.userDefaultsPath = ModelEnvironment::standardUserDefaultsPath();
    environment.platform = &platform;
    AppDelegate delegate;
    environment.window = &delegate;
    environment.extensionFolder = extensionFolder();
    MessageBoxAlerts alerts;
    environment.alerts = &alerts;
    environment.updates = UpdateSettings::standard();
    Model& model = Model::setupShared(std::move(environment));

    // Listen only once the model is ready: setting it up asks the desktop who
    // handles web links, which can take a while, and a later process waits on
    // the start-up lock meanwhile instead of giving up on an unanswered socket.
    intake.listen();

    QObject::connect(&intake, &SingleInstance::linksReceived, &model, &Model::receive);
    QObject::connect(&intake, &SingleInstance::reopenRequested, &model, &Model::showWindow);

    if (!links.isEmpty())
        model.receive(links);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto exitCode = delegate.start(model, {arguments, links.isEmpty()}))
        return *exitCode;
    return app.exec();
}
