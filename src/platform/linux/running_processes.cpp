#include "running_processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace corvane::RunningProcesses {

namespace {

QString executableOf(const QString& procEntry)
{
    QString target = QFile::symLinkTarget(procEntry + QStringLiteral("/exe"));
    // The kernel marks a replaced binary (after an upgrade) this way.
    if (target.endsWith(QLatin1String(" (deleted)")))
        target.chop(10);
    return target;
}

QString argv0Of(const QString& procEntry)
{
    QFile file(procEntry + QStringLiteral("/cmdline"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray cmdline = file.read(4096);
    return QString::fromLocal8Bit(cmdline.left(cmdline.indexOf('\0')));
}

} // namespace

bool any(const QStringList& names, const QStringList& folders)
{
    const QDir proc(QStringLiteral("/proc"));
    const uint self = ::getuid();
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid.isEmpty() || !pid[0].isDigit())
            continue;
        const QString entry = proc.filePath(pid);
        if (QFileInfo(entry).ownerId() != self)
            continue;
        const QString executable = executableOf(entry);
        const QFileInfo exe(executable);
        if (!executable.isEmpty() && (names.contains(exe.fileName()) || folders.contains(exe.absolutePath())))
            return true;
        const QString argv0 = argv0Of(entry);
        if (!argv0.isEmpty() && names.contains(QFileInfo(argv0).fileName()))
            return true;
    }
    return false;
}

} // namespace corvane::RunningProcesses
