#pragma once

#include "platform/linux/linux_platform.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <memory>
#include <ostream>

namespace corvane {
void PrintTo(const WebHandler& handler, std::ostream* out);
} // namespace corvane

namespace corvane::test {

// A desktop of our own in a temporary folder: home, XDG folders and a
// generic (no particular desktop environment) xdg-utils setup, so xdg-mime
// reads and writes only here.
class DesktopSandbox {
public:
    DesktopSandbox();

    QString path(const QString& relative = {}) const;
    QString dataHome() const { return path(QStringLiteral("data")); }
    QString systemData() const { return path(QStringLiteral("system")); }
    QProcessEnvironment& environment() { return m_env; }

    // A desktop entry at <dataDir>/applications/<relative>.
    void writeEntry(const QString& dataDir, const QString& relative, const QString& body) const;
    // An executable shell script; returns its path.
    QString writeScript(const QString& relative, const QString& body = QStringLiteral("exit 0\n")) const;
    // Makes `desktopId` the https handler, as the desktop's settings would.
    void setHttpsHandler(const QString& desktopId) const;

    // xdg-mime's own answer for a scheme, to check what was written.
    QString queryDefault(const QString& scheme) const;

    std::unique_ptr<LinuxPlatform> platform(const QString& binaryPath) const;
    std::unique_ptr<LinuxPlatform> platform(LinuxPlatform::Options options) const;

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
};

} // namespace corvane::test
