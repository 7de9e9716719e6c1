#include "local_file.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::LocalFile {

namespace {

// "scheme:" at the start, as a link has it. Checked before the file system:
// a link is never looked up as a path.
bool hasScheme(const std::string& text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

// Everything but the characters a path segment may hold as they are.
std::string encodePath(const std::string& path)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::string_view("-._~/!$&'()*+,;=:@").find(c) != std::string_view::npos) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0xf]);
        }
    }
    return out;
}

} // namespace

std::string toLink(const std::string& argument, const std::string& workingFolder)
{
    if (argument.empty() || (argument.front() != '/' && hasScheme(argument)))
        return argument;
    std::filesystem::path path(argument);
    if (path.is_relative()) {
        if (workingFolder.empty())
            return argument;
        path = std::filesystem::path(workingFolder) / path;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return argument;
    return "file://" + encodePath(path.lexically_normal().string());
}

std::string workingFolder()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace corvane::LocalFile
