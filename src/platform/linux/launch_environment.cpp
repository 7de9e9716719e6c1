#include "launch_environment.h"

#include <array>
#include <string_view>

namespace corvane::LaunchEnvironment {

bool isForeign(const std::string& name)
{
    static constexpr std::array<std::string_view, 24> names{
        // The dynamic loader.
        "LD_LIBRARY_PATH", "LD_PRELOAD", "LD_AUDIT",
        // AppImage.
        "APPDIR", "APPIMAGE", "ARGV0", "OWD",
        // Qt plug-ins and imports of a bundled Qt.
        "QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH", "QML2_IMPORT_PATH", "QML_IMPORT_PATH",
        // GTK, GIO and GdkPixbuf modules of a bundle.
        "GTK_PATH", "GTK_EXE_PREFIX", "GTK_DATA_PREFIX", "GTK_IM_MODULE_FILE", "GIO_MODULE_DIR",
        "GIO_EXTRA_MODULES", "GDK_PIXBUF_MODULE_FILE", "GDK_PIXBUF_MODULEDIR", "GSETTINGS_SCHEMA_DIR",
        // A bundled interpreter.
        "PYTHONHOME", "PYTHONPATH",
        // Snap's own.
        "SNAP", "SNAP_NAME"};
    for (const std::string_view foreign : names) {
        if (name == foreign)
            return true;
    }
    return name.starts_with("SNAP_");
}

bool isToken(const std::string& name)
{
    return name == "DESKTOP_STARTUP_ID" || name == "XDG_ACTIVATION_TOKEN";
}

std::vector<std::string> clean(const std::vector<std::string>& entries, bool keepTokens)
{
    std::vector<std::string> kept;
    for (const std::string& entry : entries) {
        const std::string name = entry.substr(0, entry.find('='));
        if (isForeign(name) || (!keepTokens && isToken(name)))
            continue;
        kept.push_back(entry);
    }
    return kept;
}

} // namespace corvane::LaunchEnvironment
