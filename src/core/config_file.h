#pragma once

#include "rules.h"

#include <filesystem>

namespace corvane::ConfigFile {

// A missing file gives Configuration() and creates nothing. Throws FileError,
// DecodeError or RouteError; never writes.
Configuration load(const std::filesystem::path& file);

// Validates first (RouteError, nothing touched), creates missing folders,
// keeps the previous bytes as "<file>.backup", replaces the file atomically
// and sets it to mode 0600. Throws FileError or RouteError.
void save(const Configuration& config, const std::filesystem::path& file);

std::filesystem::path backupPath(const std::filesystem::path& file);

} // namespace corvane::ConfigFile
