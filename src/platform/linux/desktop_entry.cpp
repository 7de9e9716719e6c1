#include "desktop_entry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvane::DesktopEntry {

namespace {

QString absoluteOr(const QString& value, const QString& fallback)
{
    return QDir::isAbsolutePath(value) ? value : fallback;
}

// The string escapes every value of a desktop entry may hold.
QString unescapeValue(QStringView raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != u'\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        switch (raw[++i].unicode()) {
        case 's':
            out += u' ';
            break;
        case 'n':
            out += u'\n';
            break;
        case 't':
            out += u'\t';
            break;
        case 'r':
            out += u'\r';
            break;
        case '\\':
            out += u'\\';
            break;
        default:
            out += u'\\';
            out += raw[i];
            break;
        }
    }
    return out;
}

// Every spelling of `desktopId` as a path below applications/: each "-" may
// stand for a folder separator.
QStringList candidatePaths(const QString& desktopId)
{
    QList<qsizetype> dashes;
    for (qsizetype i = 0; i < desktopId.size(); ++i) {
        if (desktopId[i] == u'-')
            dashes << i;
    }
    const qsizetype usable = std::min<qsizetype>(dashes.size(), 8); // ids never nest that deep
    QStringList paths{desktopId};
    for (quint32 mask = 1; mask < (1u << usable); ++mask) {
        QString path = desktopId;
        for (qsizetype bit = 0; bit < usable; ++bit) {
            if (mask & (1u << bit))
                path[dashes[bit]] = u'/';
        }
        paths << path;
    }
    return paths;
}

} // namespace

QStringList dataDirs(const QProcessEnvironment& env)
{
    const QString home = env.value(QStringLiteral("HOME"));
    QStringList dirs{
        absoluteOr(env.value(QStringLiteral("XDG_DATA_HOME")), home + QStringLiteral("/.local/share"))};
    QStringList system;
    for (const QString& dir : env.value(QStringLiteral("XDG_DATA_DIRS")).split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            system << dir;
    }
    if (system.isEmpty())
        system = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    return dirs + system;
}

QString find(const QString& desktopId, const QStringList& dataDirs)
{
    if (desktopId.isEmpty() || desktopId.contains(u'/') || desktopId.startsWith(u'.'))
        return {};
    const QStringList candidates = candidatePaths(desktopId);
    for (const QString& dir : dataDirs) {
        for (const QString& candidate : candidates) {
            const QString path = dir + QStringLiteral("/applications/") + candidate;
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return {};
}

std::optional<Entry> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    Entry entry;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unescapeValue(QStringView(line).mid(equals + 1).trimmed());
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("Hidden") && value == QLatin1String("true"))
            return std::nullopt; // the desktop treats a hidden entry as deleted
    }
    if (!sawMainGroup)
        return std::nullopt;
    return entry;
}

QString execProgram(const QString& exec)
{
    qsizetype i = 0;
    while (i < exec.size() && exec[i] == u' ')
        ++i;
    if (i == exec.size())
        return {};
    // "%%" is a literal "%", inside quotes too.
    if (exec[i] != u'"') {
        const qsizetype end = exec.indexOf(u' ', i);
        return exec.mid(i, end < 0 ? -1 : end - i).replace(QLatin1String("%%"), QLatin1String("%"));
    }
    QString word;
    for (++i; i < exec.size(); ++i) {
        if (exec[i] == u'"')
            return word.replace(QLatin1String("%%"), QLatin1String("%"));
        if (exec[i] == u'\\' && i + 1 < exec.size())
            ++i;
        word += exec[i];
    }
    return {}; // unterminated quote
}

QString resolveProgram(const QString& program, const QProcessEnvironment& env)
{
    if (program.isEmpty())
        return {};
    const auto usable = [](const QString& path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable() ? info.canonicalFilePath() : QString();
    };
    if (program.contains(u'/'))
        return QDir::isAbsolutePath(program) ? usable(program) : QString();
    const QString path = env.value(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    for (const QString& dir : path.split(u':', Qt::SkipEmptyParts)) {
        if (const QString found = usable(dir + u'/' + program); !found.isEmpty())
            return found;
    }
    return {};
}

} // namespace corvane::DesktopEntry
