#pragma once

#include <string>

namespace corvane::LocalFile {

// A desktop may pass a local file as a plain path instead of a file: link, and
// a terminal user types relative paths. An argument that names an existing
// file (a relative path resolved against `workingFolder`) becomes its file:
// link; anything else, a link above all, is returned as it is.
std::string toLink(const std::string& argument, const std::string& workingFolder);

// The working folder of this process; empty when it cannot be known.
std::string workingFolder();

} // namespace corvane::LocalFile
