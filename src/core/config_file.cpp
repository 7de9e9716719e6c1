#include "config_file.h"

#include "config_json.h"
#include "route_error.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

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

// The whole file, or nothing when it does not exist. Only a regular file of
// sensible size is read: opening never blocks (a FIFO would wait for a writer
// forever), and a huge file would only fill memory before failing to decode.
std::optional<std::string> readIfPresent(const fs::path& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        fail("open", path, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        fail("read", path, errno);
    if (S_ISDIR(info.st_mode))
        fail("read", path, EISDIR);
    if (!S_ISREG(info.st_mode))
        throw FileError("Could not read \"" + path.string() + "\": it is not a regular file.");
    const auto tooLarge = [&] {
        return FileError("Could not read \"" + path.string() +
                         "\": it is larger than 1 MiB, far more than any settings file.");
    };
    if (static_cast<std::size_t>(info.st_size) > maxFileSize)
        throw tooLarge();
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
        if (bytes.size() > maxFileSize) // grown since fstat
            throw tooLarge();
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

// Makes the rename durable. By then the new content is in place and every
// reader sees it, so a folder that cannot be synced does not fail the save.
void syncFolder(const fs::path& folder)
{
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

fs::path folderOf(const fs::path& file)
{
    const fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// Temporary files are named ".<name>.XXXXXX" by mkostemp.
std::string temporaryPrefix(const fs::path& target)
{
    return "." + target.filename().string() + ".";
}

bool isTemporaryOf(const std::string& name, const std::string& prefix)
{
    constexpr std::size_t suffixLength = 6;
    if (name.size() != prefix.size() + suffixLength || !name.starts_with(prefix))
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// Writes into a private temporary file beside `target`, flushes it to disk and
// renames it over `target`, so a reader, or a crash at any instant, sees the
// old bytes or the new ones and never a mix. The file gets mode 0600 before
// the rename, so it never exists with wider permissions. A symbolic link at
// `target` is kept and its target replaced: renaming over the link itself
// would turn it into a plain file, cut off from where the user keeps it.
void writeAtomically(const fs::path& link, std::string_view bytes)
{
    const fs::path target = resolveLinks(link);
    std::string pattern = (folderOf(target) / (temporaryPrefix(target) + "XXXXXX")).string();
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    const fs::path temporary(pattern);
    if (fd.get() < 0)
        fail("create a temporary file for", target, errno);
    try {
        if (::fchmod(fd.get(), 0600) != 0)
            fail("set the permissions of", temporary, errno);
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

fs::path resolveLinks(const fs::path& file)
{
    // As many hops as the kernel allows before it reports a loop.
    constexpr int maxHops = 40;
    fs::path current = file;
    for (int hop = 0; hop < maxHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error)))
            return current;
        const fs::path next = fs::read_symlink(current, error);
        if (error)
            return current;
        current = next.is_absolute() ? next : folderOf(current) / next;
    }
    return current;
}

void removeStaleTemporaries(const fs::path& file)
{
    std::vector<fs::path> owners{file, backupPath(file)};
    for (const fs::path& owner : std::vector<fs::path>(owners))
        owners.push_back(resolveLinks(owner));
    for (const fs::path& owner : owners) {
        const std::string prefix = temporaryPrefix(owner);
        std::error_code error;
        for (fs::directory_iterator it(folderOf(owner), error), end; !error && it != end;
             it.increment(error)) {
            std::error_code statusError;
            if (isTemporaryOf(it->path().filename().string(), prefix) &&
                fs::is_regular_file(it->symlink_status(statusError)))
                fs::remove(it->path(), statusError);
        }
    }
}

std::optional<std::string> read(const fs::path& file)
{
    return readIfPresent(file);
}

Configuration parse(const std::optional<std::string>& bytes)
{
    if (!bytes)
        return Configuration();
    Configuration config = ConfigJson::decode(*bytes);
    config.validate();
    return config;
}

Configuration load(const fs::path& file)
{
    return parse(readIfPresent(file));
}

std::string save(const Configuration& config, const fs::path& file)
{
    config.validate();
    const fs::path folder = folderOf(file);
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw FileError("Could not create the folder \"" + folder.string() + "\": " + error.message());
    std::string bytes = ConfigJson::encode(config);
    if (const auto previous = readIfPresent(file))
        writeAtomically(backupPath(file), *previous);
    writeAtomically(file, bytes);
    return bytes;
}

} // namespace corvane::ConfigFile
