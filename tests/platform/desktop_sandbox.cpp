#include "desktop_sandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace corvane {

void PrintTo(const WebHandler& handler, std::ostream* out)
{
    *out << '{' << handler.desktopId.toStdString() << ", " << handler.displayName.toStdString() << '}';
}

} // namespace corvane

namespace corvane::test {

DesktopSandbox::DesktopSandbox() : m_env(QProcessEnvironment::systemEnvironment())
{
    // xdg-utils picks its code path from these; the generic one reads and
    // writes only the XDG folders.
    for (const char* name :
         {"KDE_FULL_SESSION", "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID",
          "LXQT_SESSION_CONFIG", "DESKTOP_SESSION", "DESKTOP", "XDG_MENU_PREFIX"})
        m_env.remove(QString::fromLatin1(name));
    m_env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("X-Generic"));
    const QList<std::pair<const char*, const char*>> folders{
        {"HOME", "home"},           {"XDG_CONFIG_HOME", "config"}, {"XDG_CONFIG_DIRS", "system-config"},
        {"XDG_DATA_HOME", "data"},  {"XDG_DATA_DIRS", "system"},   {"XDG_CACHE_HOME", "cache"},
        {"XDG_RUNTIME_DIR", "run"},
    };
    for (const auto& [name, folder] : folders) {
        QDir().mkpath(path(QString::fromLatin1(folder)));
        m_env.insert(QString::fromLatin1(name), path(QString::fromLatin1(folder)));
    }
}

QString DesktopSandbox::path(const QString& relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.path() + u'/' + relative;
}

void DesktopSandbox::writeEntry(const QString& dataDir, const QString& relative, const QString& body) const
{
    const QString file = dataDir + QStringLiteral("/applications/") + relative;
    QDir().mkpath(file.section(u'/', 0, -2));
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(body.toUtf8());
}

QString DesktopSandbox::writeScript(const QString& relative, const QString& body) const
{
    const QString file = path(relative);
    QDir().mkpath(file.section(u'/', 0, -2));
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write("#!/bin/sh\n" + body.toUtf8());
    out.close();
    out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return file;
}

void DesktopSandbox::setHttpsHandler(const QString& desktopId) const
{
    QFile out(path(QStringLiteral("config/mimeapps.list")));
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write("[Default Applications]\nx-scheme-handler/https=" + desktopId.toUtf8() + "\n");
}

QString DesktopSandbox::queryDefault(const QString& scheme) const
{
    QProcess query;
    query.setProcessEnvironment(m_env);
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/") + scheme});
    query.waitForFinished(10000);
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

std::unique_ptr<LinuxPlatform> DesktopSandbox::platform(const QString& binaryPath) const
{
    LinuxPlatform::Options options;
    options.binaryPath = binaryPath;
    return platform(std::move(options));
}

std::unique_ptr<LinuxPlatform> DesktopSandbox::platform(LinuxPlatform::Options options) const
{
    options.environment = m_env;
    // Nobody owns this name: revealing falls back to opening the folder
    // instead of showing a real file manager.
    options.fileManagerService = QStringLiteral("org.corvane.test.NoFileManager");
    return std::make_unique<LinuxPlatform>(std::move(options));
}

} // namespace corvane::test
