#include "desktop_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

namespace corvane::testing {

void DesktopTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "desktop tests run under xvfb-run";
    QDir().mkpath(path("runtime"));
    QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(path("bin"));

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert("HOME", path("home"));
    m_env.insert("XDG_CONFIG_HOME", path("config"));
    m_env.insert("XDG_DATA_HOME", path("data"));
    m_env.insert("XDG_CACHE_HOME", path("cache"));
    m_env.insert("XDG_RUNTIME_DIR", path("runtime"));
    m_env.insert("PATH", path("bin") + ":/usr/bin:/bin");
    m_env.insert("QT_QPA_PLATFORM", "xcb");
    // No session bus: the tray icon is the X one that trayer hosts, and no
    // desktop service of the machine is reached.
    m_env.remove("DBUS_SESSION_BUS_ADDRESS");
}

void DesktopTest::TearDown()
{
    std::reverse(m_desktop.begin(), m_desktop.end());
    for (QList<QProcess*>* group : {&m_programs, &m_desktop}) {
        for (QProcess* process : *group) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
        group->clear();
    }
}

QProcess* DesktopTest::spawn(const QString& program, const QStringList& args)
{
    auto* process = new QProcess;
    process->setProcessEnvironment(m_env);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(path("stderr-" + QFileInfo(program).fileName()), QIODevice::Append);
    process->start(program, args);
    EXPECT_TRUE(process->waitForStarted(5000)) << qPrintable(program);
    return process;
}

void DesktopTest::startDesktop(bool withTray)
{
    // The window manager is up once it has announced itself on the root
    // window; one that ran before may have left its mark there.
    // On a loaded machine the previous test's window manager may still hold
    // the display for a moment: replace it, and try once more if it never
    // announced itself.
    const auto windowManagerUp = [&] {
        return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
    };
    bool up = false;
    for (int attempt = 0; attempt < 3 && !up; ++attempt) {
        run("xprop", {"-root", "-remove", "_NET_SUPPORTING_WM_CHECK"});
        m_desktop << spawn("openbox", {"--replace", "--sm-disable"});
        up = waitFor(windowManagerUp);
    }
    ASSERT_TRUE(up) << read(path("stderr-openbox")).toStdString()
                    << run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).toStdString();
    if (!withTray)
        return;
    // A tray host that has not shown itself after a while on a loaded machine
    // (the last test's may still hold the tray) is replaced by a fresh one.
    const auto trayUp = [&] {
        int code = 1;
        xdotool({"search", "--onlyvisible", "--class", "trayer"}, &code);
        return code == 0;
    };
    up = false;
    for (int attempt = 0; attempt < 3 && !up; ++attempt) {
        if (attempt > 0) {
            QProcess* stale = m_desktop.takeLast();
            stale->kill();
            stale->waitForFinished(5000);
            delete stale;
        }
        m_desktop << spawn("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                                      "80", "--heighttype", "pixel", "--height", "24", "--SetDockType",
                                      "true", "--SetPartialStrut", "true", "--transparent", "false"});
        up = waitFor(trayUp, 15000);
    }
    ASSERT_TRUE(up) << read(path("stderr-trayer")).toStdString();
}

QProcess* DesktopTest::corvane(const QStringList& args)
{
    QProcess* process = spawn(qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane", args);
    m_programs << process;
    return process;
}

QString DesktopTest::run(const QString& program, const QStringList& args, int* exitCode)
{
    QProcess process;
    process.setProcessEnvironment(m_env);
    process.start(program, args);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

qulonglong DesktopTest::visibleWindow(const QString& title)
{
    const QString found =
        xdotool({"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(title) + "$"});
    const QStringList ids = found.split('\n', Qt::SkipEmptyParts);
    return ids.isEmpty() ? 0 : ids.first().toULongLong();
}

QRect DesktopTest::geometry(qulonglong window)
{
    QRect rect;
    for (const QString& line :
         xdotool({"getwindowgeometry", "--shell", QString::number(window)}).split('\n')) {
        const QString value = line.section('=', 1);
        if (line.startsWith("X="))
            rect.moveLeft(value.toInt());
        else if (line.startsWith("Y="))
            rect.moveTop(value.toInt());
        else if (line.startsWith("WIDTH="))
            rect.setWidth(value.toInt());
        else if (line.startsWith("HEIGHT="))
            rect.setHeight(value.toInt());
    }
    return rect;
}

qulonglong DesktopTest::trayIcon()
{
    // Our windows are the panel and the icon; the icon is the small one.
    for (const QString& id :
         xdotool({"search", "--onlyvisible", "--classname", "corvane"}).split('\n', Qt::SkipEmptyParts)) {
        const QRect rect = geometry(id.toULongLong());
        if (rect.width() > 0 && rect.width() <= 64 && rect.height() <= 64)
            return id.toULongLong();
    }
    return 0;
}

void DesktopTest::click(QPoint where)
{
    // Not "--sync": it waits for a motion that never comes when the pointer
    // is already there.
    xdotool({"mousemove", QString::number(where.x()), QString::number(where.y()), "click", "1"});
}

bool DesktopTest::waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

void DesktopTest::write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray DesktopTest::read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace corvane::testing
