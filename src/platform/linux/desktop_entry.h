#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// Desktop entries (the .desktop files the desktop launches applications by),
// read just far enough for a display name and the program an entry starts.
namespace corvane::DesktopEntry {

struct Entry {
    QString name; // the unlocalised Name
    QString exec; // the Exec line, string escapes resolved
    bool operator==(const Entry&) const = default;
};

// $XDG_DATA_HOME, then $XDG_DATA_DIRS, with their documented defaults: the
// order in which an earlier folder hides a later one's entry of the same id.
QStringList dataDirs(const QProcessEnvironment& env);

// The file the desktop means by `desktopId`; empty when there is none. An id
// "vendor-app.desktop" may also name applications/vendor/app.desktop.
QString find(const QString& desktopId, const QStringList& dataDirs);

// The [Desktop Entry] group of a file; none when unreadable or Hidden.
std::optional<Entry> read(const QString& path);

// The program of an Exec line (its first word, unquoted); empty when the line
// is malformed.
QString execProgram(const QString& exec);

// `program` as the desktop would run it: absolute names as they are, bare
// names looked up along PATH. Symbolic links resolved; empty when missing.
QString resolveProgram(const QString& program, const QProcessEnvironment& env);

} // namespace corvane::DesktopEntry
