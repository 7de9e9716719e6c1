#include "native_hosts.h"

#include <cerrno>
#include <cstdio>
#include <fstream>

namespace corvane::NativeHosts {

namespace fs = std::filesystem;

namespace {

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string fileName()
{
    return std::string(hostName) + ".json";
}

} // namespace

std::string manifestText(Browsers::Family family, const fs::path& program)
{
    const std::string allowed =
        family == Browsers::Family::firefox
            ? "  \"allowed_extensions\": [" + jsonString(firefoxExtensionId) + "]\n"
            : "  \"allowed_origins\": [" + jsonString("chrome-extension://" + std::string(chromiumExtensionId) + "/") +
                  "]\n";
    return "{\n  \"name\": " + jsonString(hostName) +
           ",\n  \"description\": \"Lets Corvane switch to a tab that already shows a link.\",\n  \"path\": " +
           jsonString(program.string()) + ",\n  \"type\": \"stdio\",\n" + allowed + "}\n";
}

std::vector<fs::path> manifestFolders(const Browsers::Browser& browser)
{
    if (browser.family == Browsers::Family::chromium)
        return {Browsers::userDataFolder(browser) / "NativeMessagingHosts"};
    // Firefox looks in ~/.mozilla/native-messaging-hosts (its sandboxed
    // packagings in their own ~/.mozilla) even when its profiles live under
    // the XDG config folder.
    std::vector<fs::path> folders;
    for (const fs::path& root : Browsers::profileRoots(browser)) {
        if (root.parent_path().filename() == ".mozilla")
            folders.push_back(root.parent_path() / "native-messaging-hosts");
    }
    return folders;
}

Outcome install(const fs::path& program)
{
    Outcome outcome;
    for (const Browsers::Browser* browser : Browsers::installed()) {
        const std::string text = manifestText(browser->family, program);
        for (const fs::path& folder : manifestFolders(*browser)) {
            std::error_code ec;
            fs::create_directories(folder, ec);
            const fs::path file = folder / fileName();
            const fs::path partial = folder / (fileName() + ".partial");
            if (!ec) {
                std::ofstream out(partial, std::ios::binary | std::ios::trunc);
                out << text;
                out.close();
                if (!out)
                    ec = std::error_code(errno ? errno : EIO, std::generic_category());
            }
            if (!ec)
                fs::rename(partial, file, ec); // a browser never reads half a manifest
            if (ec) {
                std::error_code ignored;
                fs::remove(partial, ignored);
                if (outcome.error.empty())
                    outcome.error = "Cannot write " + file.string() + ": " + ec.message() + ".";
                continue;
            }
            outcome.files.push_back(file);
        }
    }
    return outcome;
}

Outcome remove()
{
    Outcome outcome;
    for (const Browsers::Browser& browser : Browsers::all()) {
        for (const fs::path& folder : manifestFolders(browser)) {
            const fs::path file = folder / fileName();
            std::error_code ec;
            if (fs::remove(file, ec))
                outcome.files.push_back(file);
            else if (ec && outcome.error.empty())
                outcome.error = "Cannot remove " + file.string() + ": " + ec.message() + ".";
        }
    }
    return outcome;
}

} // namespace corvane::NativeHosts
