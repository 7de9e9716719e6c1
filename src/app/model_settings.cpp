#include "model.h"

#include "core/config_file.h"
#include "core/route_error.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <QTimer>

#include <filesystem>
#include <system_error>

namespace corvane {

namespace {

std::filesystem::path toPath(const QString& path)
{
    return std::filesystem::path(path.toStdString());
}

QString describe(const std::error_code& error, const std::filesystem::path& path)
{
    return QString::fromStdString(path.string() + ": " + error.message());
}

// Copies `source` over `destination`, leaving nothing of an older copy behind.
QString replaceFolder(const std::filesystem::path& source, const std::filesystem::path& destination)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(destination.parent_path(), error);
    if (error)
        return describe(error, destination.parent_path());
    // remove_all takes a symbolic link itself away, never what it points to.
    fs::remove_all(destination, error);
    if (error)
        return describe(error, destination);
    fs::copy(source, destination, fs::copy_options::recursive, error);
    if (error)
        return describe(error, destination);
    return {};
}

} // namespace

QString ModelEnvironment::standardSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/corvane/settings.json";
}

QString ModelEnvironment::standardUserDefaultsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/corvane/corvane.conf";
}

void Model::load()
{
    if (m_env.settingsPath.isEmpty())
        return;
    // Saves cut short by a kill leave their temporary files; nobody else cleans them up.
    ConfigFile::removeStaleTemporaries(toPath(m_env.settingsPath));
    m_settingsWatcher = new QFileSystemWatcher(this);
    const auto changed = [this] { m_reloadTimer->start(m_env.reloadDelayMs); };
    connect(m_settingsWatcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(m_settingsWatcher, &QFileSystemWatcher::directoryChanged, this, changed);
    adoptSettings(readSettings());
    watchSettings();
}

Model::SettingsOnDisk Model::readSettings() const
{
    try {
        return {ConfigFile::read(toPath(m_env.settingsPath)), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, error.what()};
    }
}

// What is on disk becomes the configuration, as at start: a usable file
// replaces the one in memory (and is not written back), an unusable one
// pauses routing and is never overwritten until the user repairs it.
void Model::adoptSettings(const SettingsOnDisk& disk)
{
    m_settingsOnDisk = disk;
    m_saveTimer->stop();
    Configuration loaded;
    try {
        if (!disk.error.empty())
            throw FileError(disk.error);
        loaded = ConfigFile::parse(disk.bytes);
    } catch (const std::exception& error) {
        setStatus(
            "Settings could not be read. Routing is paused; use Reveal file in Settings to repair it. " +
            QString::fromUtf8(error.what()));
        setLoadFailure(true);
        return;
    }
    const bool resumed = m_loadFailure;
    m_savedConfig = loaded;
    if (resumed)
        setLoadFailure(false);
    if (m_saveError)
        setSaveError(std::nullopt);
    setConfig(loaded);
    if (resumed) {
        redecidePausedLinks();
        drain();
    }
}

// An editor or our own save replaces the file by renaming, which ends the
// watch on the old file; the folders' watches see the new one arrive. A
// linked file is watched where it really lives too.
void Model::watchSettings()
{
    if (!m_settingsWatcher)
        return;
    const QString target =
        QString::fromStdString(ConfigFile::resolveLinks(toPath(m_env.settingsPath)).string());
    QStringList paths{m_env.settingsPath, QFileInfo(m_env.settingsPath).absolutePath()};
    if (target != m_env.settingsPath)
        paths << target << QFileInfo(target).absolutePath();
    // A file's watch holds on to the file it was made for, which a rename
    // over it (or a backup kept as a hard link) keeps alive under another
    // name: the files are watched afresh each time, the folders stay.
    const QStringList files = m_settingsWatcher->files();
    if (!files.isEmpty())
        m_settingsWatcher->removePaths(files);
    const QStringList folders = m_settingsWatcher->directories();
    for (const QString& path : paths) {
        if (!folders.contains(path) && QFileInfo::exists(path))
            m_settingsWatcher->addPath(path);
    }
}

void Model::reloadSettings()
{
    watchSettings();
    const SettingsOnDisk disk = readSettings();
    // Our own saves, and changes beside the file, leave its content as we know it.
    if (m_settingsOnDisk && disk == *m_settingsOnDisk)
        return;
    adoptSettings(disk);
}

void Model::scheduleSave()
{
    if (!m_autosave || m_loadFailure || m_config == m_savedConfig)
        return;
    m_saveTimer->start(m_env.saveDelayMs);
}

void Model::save()
{
    // A file that could not be read is the user's to repair; never overwrite it.
    if (m_loadFailure || m_env.settingsPath.isEmpty())
        return;
    // An edit made outside that the watcher has not reported yet wins over
    // ours, as it would a moment later.
    if (const SettingsOnDisk disk = readSettings(); m_settingsOnDisk && disk != *m_settingsOnDisk) {
        adoptSettings(disk);
        return;
    }
    const Configuration written = m_config;
    try {
        m_settingsOnDisk = SettingsOnDisk{ConfigFile::save(written, toPath(m_env.settingsPath)), {}};
    } catch (const std::exception& error) {
        const QString message = "Couldn't save: " + QString::fromUtf8(error.what());
        setSaveError(message);
        setStatus(message);
        return;
    }
    m_savedConfig = written;
    setSaveError(std::nullopt);
    watchSettings();
}

void Model::revealSettings()
{
    if (QFileInfo::exists(m_env.settingsPath)) {
        m_env.platform->revealFile(m_env.settingsPath);
        return;
    }
    const QString folder = QFileInfo(m_env.settingsPath).absolutePath();
    QDir().mkpath(folder);
    m_env.platform->openFolder(folder);
    setStatus("No settings file yet. It is created when you add your first rule.");
}

void Model::revealExtension()
{
    if (m_env.extensionFolder.isEmpty() || !QFileInfo(m_env.extensionFolder).isDir()) {
        setStatus("The extension is in the project's extension folder.");
        return;
    }
    const QString name = targetBrowser().displayName;
    const QString destination = QFileInfo(m_env.settingsPath).absolutePath() + "/" + name + " Extension";
    const QString failure = replaceFolder(toPath(m_env.extensionFolder), toPath(destination));
    if (!failure.isEmpty()) {
        setStatus("Could not prepare the extension: " + failure);
        return;
    }
    // The extension reaches Corvane through our host, which each browser
    // finds through its manifest.
    if (const QString hostFailure = m_env.platform->installExtensionHost(); !hostFailure.isEmpty()) {
        setStatus("Could not prepare the extension: " + hostFailure);
        return;
    }
    m_env.platform->revealFile(destination);
    setStatus("Extension folder ready. In " + name + ", choose Load unpacked and pick \u201c" + name +
              " Extension\u201d.");
}

} // namespace corvane
