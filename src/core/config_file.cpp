#include "config_file.h"

#include "config_json.h"
#include "route_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace corvane::ConfigFile {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& action, const fs::path& path, int error)
{
    throw FileError("Could not " + action + " \"" + path.string() + "\": " + std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    // Closing can report a delayed write error, so it is checked where it matters.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// The whole file, or nothing when it does not exist.
std::optional<std::string> readIfPresent(const fs::path& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        fail("open", path, errno);
    }
    std::string bytes;
    char buffer[65536];
    while (true) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            fail("read", path, errno);
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return bytes;
}

void writeAll(int fd, std::string_view bytes, const fs::path& path)
{
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            fail("write", path, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

void syncFolder(const fs::path& folder)
{
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0)
        fail("sync the folder", folder, errno);
}

fs::path folderOf(const fs::path& file)
{
    const fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// Writes into a private temporary file beside `target`, flushes it to disk and
// renames it over `target`, so a reader, or a crash at any instant, sees the
// old bytes or the new ones and never a mix. The file is created with mode
// 0600 and never exists with wider permissions.
void writeAtomically(const fs::path& target, std::string_view bytes)
{
    std::string pattern = (folderOf(target) / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    const fs::path temporary(pattern);
    if (fd.get() < 0)
        fail("create a temporary file for", target, errno);
    try {
        writeAll(fd.get(), bytes, temporary);
        if (::fsync(fd.get()) != 0)
            fail("flush", temporary, errno);
        if (::close(fd.release()) != 0)
            fail("write", temporary, errno);
        if (::rename(temporary.c_str(), target.c_str()) != 0)
            fail("replace", target, errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    syncFolder(folderOf(target));
}

} // namespace

fs::path backupPath(const fs::path& file)
{
    fs::path backup = file;
    backup += ".backup";
    return backup;
}

Configuration load(const fs::path& file)
{
    const auto bytes = readIfPresent(file);
    if (!bytes)
        return Configuration();
    Configuration config = ConfigJson::decode(*bytes);
    config.validate();
    return config;
}

void save(const Configuration& config, const fs::path& file)
{
    config.validate();
    const fs::path folder = folderOf(file);
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw FileError("Could not create the folder \"" + folder.string() + "\": " + error.message());
    const std::string bytes = ConfigJson::encode(config);
    if (const auto previous = readIfPresent(file))
        writeAtomically(backupPath(file), *previous);
    writeAtomically(file, bytes);
    if (::chmod(file.c_str(), 0600) != 0)
        fail("set the permissions of", file, errno);
}

} // namespace corvane::ConfigFile
