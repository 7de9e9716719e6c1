#pragma once

#include "rules.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace corvane::ConfigFile {

// Far more than 500 rules need; anything larger is not a settings file.
inline constexpr std::size_t maxFileSize = 1024 * 1024;

// A missing file gives Configuration() and creates nothing. Throws FileError,
// DecodeError or RouteError; never writes.
Configuration load(const std::filesystem::path& file);

// load() in two steps, for callers that compare what is on disk: the bytes
// (none when the file is missing; FileError for anything but a regular file
// of at most maxFileSize bytes, without ever blocking on a FIFO), then their
// configuration (DecodeError or RouteError).
std::optional<std::string> read(const std::filesystem::path& file);
Configuration parse(const std::optional<std::string>& bytes);

// Validates first (RouteError, nothing touched), creates missing folders,
// keeps the previous bytes as "<file>.backup", replaces the file atomically
// with mode 0600 and returns the bytes written. A symbolic link at `file`
// stays: its target is replaced, in the target's folder. Throws FileError or
// RouteError.
std::string save(const Configuration& config, const std::filesystem::path& file);

std::filesystem::path backupPath(const std::filesystem::path& file);

// Where `file` really lives: symbolic links followed, also to a target that
// does not exist yet. `file` itself when it is no link.
std::filesystem::path resolveLinks(const std::filesystem::path& file);

// Removes the temporary files an interrupted save of `file` or its backup
// left behind, beside the file and beside its link target. Never fails.
void removeStaleTemporaries(const std::filesystem::path& file);

} // namespace corvane::ConfigFile
