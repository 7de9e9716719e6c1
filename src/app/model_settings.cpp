#include "model.h"

#include "core/config_file.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
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
    try {
        const Configuration loaded = ConfigFile::load(toPath(m_env.settingsPath));
        m_savedConfig = loaded;
        setConfig(loaded);
    } catch (const std::exception& error) {
        setStatus(
            "Settings could not be read. Routing is paused; use Reveal file in Settings to repair it. " +
            QString::fromUtf8(error.what()));
        setLoadFailure(true);
    }
}

void Model::scheduleSave()
{
    if (!m_autosave || m_loadFailure || m_config == m_savedConfig)
        return;
    m_saveTimer->start(m_env.saveDelayMs);
}

void Model::save()
{
    // A file that could not be read at start is the user's to repair; never
    // overwrite it.
    if (m_loadFailure || m_env.settingsPath.isEmpty())
        return;
    const Configuration written = m_config;
    try {
        ConfigFile::save(written, toPath(m_env.settingsPath));
    } catch (const std::exception& error) {
        const QString message = "Couldn't save: " + QString::fromUtf8(error.what());
        setSaveError(message);
        setStatus(message);
        return;
    }
    m_savedConfig = written;
    setSaveError(std::nullopt);
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
    m_env.platform->revealFile(destination);
    setStatus("Extension folder ready. In " + name + ", choose Load unpacked and pick \u201c" + name +
              " Extension\u201d.");
}

} // namespace corvane
