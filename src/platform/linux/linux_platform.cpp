#include "linux_platform.h"

#include "native_hosts.h"

#include "desktop_entry.h"
#include "launch_environment.h"
#include "native_hosts.h"
#include "platform/link_routers.h"
#include "platform/linux/browsers.h"
#include "platform/process_run.h"
#include "running_processes.h"
#include "startup_notification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace corvane {

namespace {

const Browsers::Browser* tableEntry(const TargetBrowser& browser)
{
    return Browsers::byId(browser.id.toStdString());
}

QString toQString(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// Folders that hold programs of every kind. A browser whose executable lives
// in one of them has no installation folder of its own to recognise it by.
bool isSharedProgramFolder(const QString& folder)
{
    static const QStringList common{QStringLiteral("/bin"), QStringLiteral("/sbin"),
                                    QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"),
                                    QStringLiteral("/usr/local/bin")};
    if (common.contains(folder))
        return true;
    for (const QString& dir : qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts)) {
        const QString canonical = QFileInfo(dir).canonicalFilePath();
        if (canonical == folder || dir == folder)
            return true;
    }
    return false;
}

TargetBrowser describe(const Browsers::Browser& browser)
{
    TargetBrowser target;
    target.id = QString::fromStdString(browser.id);
    target.displayName = QString::fromStdString(Browsers::displayName(browser));
    target.installed = Browsers::isInstalled(browser);
    target.extensionsPage = QString::fromStdString(browser.extensionsPage);
    target.firefox = browser.family == Browsers::Family::firefox;
    return target;
}

QString firstLine(const QByteArray& output)
{
    return QString::fromUtf8(output).section(u'\n', 0, 0).trimmed();
}

} // namespace

LinuxPlatform::LinuxPlatform() : LinuxPlatform(Options{}) {}

LinuxPlatform::LinuxPlatform(Options options) : m_options(std::move(options)) {}

QString LinuxPlatform::notInstalledMessage()
{
    return QStringLiteral("Install Corvane first (make install), then start the installed copy.");
}

QString LinuxPlatform::binaryPath() const
{
    return m_options.binaryPath.isEmpty() ? QCoreApplication::applicationFilePath() : m_options.binaryPath;
}

TargetBrowser LinuxPlatform::targetBrowser(const QString& preferredId) const
{
    return describe(Browsers::target(preferredId.toStdString()));
}

QList<TargetBrowser> LinuxPlatform::installedBrowsers() const
{
    QList<TargetBrowser> found;
    for (const Browsers::Browser* browser : Browsers::installed())
        found.append(describe(*browser));
    return found;
}

bool LinuxPlatform::isBrowserRunning(const TargetBrowser& browser) const
{
    const Browsers::Browser* entry = tableEntry(browser);
    if (!entry)
        return false;
    QStringList names;
    for (const std::string& name : entry->executables)
        names << QString::fromStdString(name);
    QStringList folders;
    if (const auto found = Browsers::findLauncher(*entry); found && found->arguments.empty()) {
        const QFileInfo real(QFileInfo(toQString(found->program)).canonicalFilePath());
        names << real.fileName();
        if (!isSharedProgramFolder(real.absolutePath()))
            folders << real.absolutePath();
    }
    return RunningProcesses::any(names, folders);
}

void LinuxPlatform::launchBrowser(const TargetBrowser& browser, Done done)
{
    // corvane-bridge starts the browser itself, with the chosen profile and the
    // link. Starting it here first would open a stray window of whichever
    // profile was used last, so there is nothing to do but to confirm.
    const Browsers::Browser* entry = tableEntry(browser);
    const QString error = entry && Browsers::isInstalled(*entry)
                              ? QString()
                              : browser.displayName + QStringLiteral(" is not installed.");
    QTimer::singleShot(0, &m_context, [done = std::move(done), error] { done(error); });
}

void LinuxPlatform::openFilesWithBrowser(const TargetBrowser& browser, const QList<QUrl>& files,
                                         const Activation& activation)
{
    const Browsers::Browser* entry = tableEntry(browser);
    const auto launcher = entry ? Browsers::findLauncher(*entry) : std::nullopt;
    if (!launcher || files.isEmpty())
        return;
    QStringList arguments;
    for (const std::string& argument : launcher->arguments)
        arguments << QString::fromStdString(argument);
    for (const QUrl& file : files)
        arguments << file.toString(QUrl::FullyEncoded);
    startDetached(toQString(launcher->program), arguments, activation);
}

QProcessEnvironment LinuxPlatform::launchEnvironment(const Activation& activation) const
{
    QProcessEnvironment environment;
    for (const QString& name : m_options.environment.keys()) {
        const std::string key = name.toStdString();
        if (!LaunchEnvironment::isForeign(key) && !LaunchEnvironment::isToken(key))
            environment.insert(name, m_options.environment.value(name));
    }
    if (!activation.startupId.isEmpty())
        environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), activation.startupId);
    if (!activation.token.isEmpty())
        environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), activation.token);
    return environment;
}

// A Wayland token needs no ending: the compositor lets an unused one expire.
void LinuxPlatform::endActivation(const Activation& activation)
{
    if (!activation.startupId.isEmpty())
        StartupNotification::sendRemove(activation.startupId.toStdString(),
                                        m_options.environment.value(QStringLiteral("DISPLAY")).toStdString());
}

void LinuxPlatform::queryWebLinkHandler(HandlerAnswer answer)
{
    ProcessRun::start(
        tool({QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/https")}),
        &m_context, [this, answer = std::move(answer)](const ProcessResult& result) {
            const QString id = result.ok ? firstLine(result.output) : QString();
            answer(id.isEmpty() ? std::nullopt : std::optional(describeHandler(id)));
        });
}

ProcessRun::Job LinuxPlatform::tool(const QStringList& arguments) const
{
    ProcessRun::Job job;
    job.program = m_options.xdgMime;
    job.arguments = arguments;
    job.environment = m_options.environment;
    job.timeoutMs = m_options.toolTimeoutMs;
    job.graceMs = toolGraceMs;
    return job;
}

WebHandler LinuxPlatform::describeHandler(const QString& desktopId) const
{
    QString name;
    if (const QString path = DesktopEntry::find(desktopId, DesktopEntry::dataDirs(m_options.environment));
        !path.isEmpty()) {
        if (const auto entry = DesktopEntry::read(path))
            name = entry->name;
    }
    if (name.isEmpty())
        name = desktopId.endsWith(QLatin1String(".desktop")) ? desktopId.chopped(8) : desktopId;
    return WebHandler{desktopId, name};
}

bool LinuxPlatform::runningFromBundle() const
{
    const QString path = DesktopEntry::find(ownHandlerId(), DesktopEntry::dataDirs(m_options.environment));
    const auto entry = path.isEmpty() ? std::nullopt : DesktopEntry::read(path);
    if (!entry)
        return false;
    const QString program =
        DesktopEntry::resolveProgram(DesktopEntry::execProgram(entry->exec), m_options.environment);
    const QString launcher = QFileInfo(binaryPath()).absolutePath() + QStringLiteral("/corvane");
    return !program.isEmpty() && program == QFileInfo(launcher).canonicalFilePath();
}

bool LinuxPlatform::isKnownLinkRouter(const QString& handlerId) const
{
    return LinkRouters::isKnown(handlerId);
}

void LinuxPlatform::makeDefaultHandler(Done done)
{
    // A build-tree binary would register an entry that starts some other copy,
    // or none at all; refuse before touching the user's associations.
    if (!runningFromBundle()) {
        QTimer::singleShot(0, &m_context, [done = std::move(done)] { done(notInstalledMessage()); });
        return;
    }
    runXdgMime({QStringLiteral("x-scheme-handler/http"), QStringLiteral("x-scheme-handler/https")},
               std::move(done));
}

// One scheme after the other, each waited for, so the first failure stops the
// rest.
void LinuxPlatform::runXdgMime(QStringList schemes, Done done)
{
    if (schemes.isEmpty()) {
        done({});
        return;
    }
    const QString scheme = schemes.takeFirst();
    ProcessRun::start(
        tool({QStringLiteral("default"), ownHandlerId(), scheme}), &m_context,
        [this, schemes, done](const ProcessResult& result) {
            if (!result.startError.isEmpty()) {
                done(QStringLiteral("xdg-mime could not be started; install xdg-utils."));
            } else if (result.timedOut) {
                done(QStringLiteral("xdg-mime did not answer."));
            } else if (!result.ok) {
                const QString message = QString::fromUtf8(result.errors).trimmed();
                done(message.isEmpty()
                         ? QStringLiteral("xdg-mime failed with exit code %1.").arg(result.exitCode)
                         : message);
            } else {
                runXdgMime(schemes, done);
            }
        });
}

void LinuxPlatform::revealFile(const QString& path)
{
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        m_options.fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded)}
         << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), &m_context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_context, [this, watcher, folder] {
        watcher->deleteLater();
        if (watcher->isError())
            openFolder(folder);
    });
}

void LinuxPlatform::openFolder(const QString& path)
{
    startDetached(m_options.opener, {QFileInfo(path).absoluteFilePath()});
}

void LinuxPlatform::openUrl(const QUrl& url)
{
    // A relative reference would reach the opener as something that looks
    // like an option or a local path.
    if (!url.isValid() || url.isRelative())
        return;
    startDetached(m_options.opener, {url.toString(QUrl::FullyEncoded)});
}

QString LinuxPlatform::bridgeRunner() const
{
    const QFileInfo runner(QFileInfo(binaryPath()).absolutePath() + QStringLiteral("/corvane-bridge"));
    return runner.isFile() && runner.isExecutable() ? runner.absoluteFilePath() : QString();
}

QString LinuxPlatform::installExtensionHost()
{
    const QFileInfo host(QFileInfo(binaryPath()).absolutePath() + QStringLiteral("/") +
                         QString::fromUtf8(NativeHosts::hostProgramName.data(),
                                           qsizetype(NativeHosts::hostProgramName.size())));
    if (!host.isFile() || !host.isExecutable())
        return QStringLiteral("The extension's host is missing. Rebuild or reinstall Corvane.");
    return QString::fromStdString(NativeHosts::install(host.absoluteFilePath().toStdString()).error);
}

void LinuxPlatform::startDetached(const QString& program, const QStringList& arguments,
                                  const Activation& activation) const
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(launchEnvironment(activation));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.startDetached();
}

} // namespace corvane
