#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace corvane::testing {

// A desktop of our own on the X server the test runs under (xvfb-run):
// openbox as the window manager, trayer as the tray host along the top edge,
// xdotool for the pointer and the keys, and Corvane on temporary folders.
// Everything started here is stopped when the test ends.
class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the window manager and, unless told not to, the tray host.
    void startDesktop(bool withTray = true);
    // `corvane ARGS` as the desktop would start it.
    QProcess* corvane(const QStringList& args = {});

    // Runs a command to its end; its standard output.
    QString run(const QString& program, const QStringList& args, int* exitCode = nullptr);
    QString xdotool(const QStringList& args, int* exitCode = nullptr)
    {
        return run("xdotool", args, exitCode);
    }

    // The visible window with exactly this title, or 0.
    qulonglong visibleWindow(const QString& title);
    QRect geometry(qulonglong window);
    // The tray icon's window inside the tray host, or 0.
    qulonglong trayIcon();
    void click(QPoint where);

    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 20000);

    QString path(const QString& name) const { return m_dir.filePath(name); }
    static void write(const QString& path, const QByteArray& text);
    static QByteArray read(const QString& path);

    QProcessEnvironment m_env;

private:
    QProcess* spawn(const QString& program, const QStringList& args);

    QTemporaryDir m_dir;
    QList<QProcess*> m_desktop;  // stopped last
    QList<QProcess*> m_programs; // ours, stopped first
};

} // namespace corvane::testing
