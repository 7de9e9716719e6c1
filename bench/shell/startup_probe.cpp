// Cold start of Corvane to its panel on the screen, step by step, and the
// memory it holds once the panel and then the picker have been shown and
// hidden again.
//
//     shell_startup_probe [RUNS]
//
// Each run starts this program afresh as a child, which goes through the
// start-up of src/main.cpp (hand-off check, application, model, shell) on
// temporary folders, opens the panel at once instead of after the 0.3 s
// pause of an ordinary launch, and reports when each step was done and when
// the panel had been painted, counted from the moment the parent started it;
// then it hides the panel and reports its resident memory, shows the picker
// for a link, hides it and reports the memory again. The last run also
// writes where that memory lies (/proc/self/smaps_rollup and the largest
// mappings by resident size).

#include "app/model.h"
#include "app/model_environment.h"
#include "app/update_settings.h"
#include "core/router.h"
#include "platform/linux/linux_platform.h"
#include "platform/single_instance.h"
#include "ui/picker/picker_controller.h"
#include "ui/picker/picker_view.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/message_box_alerts.h"
#include "ui/shell/qt_arguments.h"

#include <QApplication>
#include <QFile>
#include <QMap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

long long nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Where the memory lies: the kernel's totals, then resident memory by what
// is mapped (a library, a font, the heap, anonymous memory), largest first.
QString memoryReport()
{
    QString report;
    QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
    if (rollup.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : rollup.readAll().split('\n'))
            for (const char* key :
                 {"Rss:", "Pss:", "Shared_Clean:", "Private_Clean:", "Private_Dirty:", "Anonymous:"})
                if (line.startsWith(key))
                    report += "  " + QString::fromLatin1(line.simplified()) + "\n";
    }
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return report;
    QMap<QString, long> byName;
    QMap<QString, long> byKind;
    QString name;
    for (const QByteArray& raw : smaps.readAll().split('\n')) {
        const QString line = QString::fromLatin1(raw);
        const QStringList fields = line.simplified().split(' ');
        if (fields.size() >= 5 && fields[0].contains('-') && !fields[0].endsWith(':')) {
            name = fields.size() >= 6 ? fields.mid(5).join(' ') : QStringLiteral("[anonymous]");
            continue;
        }
        if (!line.startsWith(QLatin1String("Rss:")))
            continue;
        const long kb = fields.value(1).toLong();
        byName[name] += kb;
        QString kind = QStringLiteral("other files");
        if (name == QLatin1String("[heap]"))
            kind = QStringLiteral("heap");
        else if (name.startsWith('['))
            kind = QStringLiteral("anonymous and stacks");
        else if (name.contains(QLatin1String(".so")))
            kind = QStringLiteral("shared libraries");
        else if (name.contains(QLatin1String("font")) || name.endsWith(QLatin1String(".ttf")) ||
                 name.endsWith(QLatin1String(".otf")))
            kind = QStringLiteral("fonts and their caches");
        else if (name.startsWith(QLatin1String("/memfd:")) || name.startsWith(QLatin1String("/SYSV")) ||
                 name.startsWith(QLatin1String("/dev/shm")))
            kind = QStringLiteral("shared images (window buffers)");
        byKind[kind] += kb;
    }
    report += "  by kind:\n";
    for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
        report += QStringLiteral("    %1 MB  %2\n").arg(it.value() / 1024.0, 6, 'f', 1).arg(it.key());
    QList<QPair<long, QString>> largest;
    for (auto it = byName.cbegin(); it != byName.cend(); ++it)
        largest.append({it.value(), it.key()});
    std::sort(largest.begin(), largest.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    report += "  largest mappings:\n";
    for (qsizetype i = 0; i < std::min<qsizetype>(24, largest.size()); ++i)
        report += QStringLiteral("    %1 MB  %2\n")
                      .arg(largest[i].first / 1024.0, 6, 'f', 1)
                      .arg(largest[i].second);
    return report;
}

int child(int argc, char** argv, long long startedNs)
{
    using namespace corvane;
    const auto since = [startedNs] { return double(nowNs() - startedNs) / 1e6; };
    const double mainMs = since();
    SingleInstance intake;
    if (intake.handOff({}))
        return 1; // another copy runs in these folders

    QtArguments qtArguments(argv[0]);
    QApplication app(qtArguments.argc(), qtArguments.argv());
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    const double appMs = since();

    LinuxPlatform platform;
    ModelEnvironment environment;
    environment.settingsPath = ModelEnvironment::standardSettingsPath();
    environment.userDefaultsPath = ModelEnvironment::standardUserDefaultsPath();
    environment.platform = &platform;
    AppDelegate delegate;
    environment.window = &delegate;
    PickerController picker;
    environment.picker = &picker;
    MessageBoxAlerts alerts;
    environment.alerts = &alerts;
    environment.updates = UpdateSettings::standard();
    Model& model = Model::setupShared(std::move(environment));
    intake.listen();
    const double modelMs = since();

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (delegate.start(model, {arguments, false}))
        return 1;
    const double shellMs = since();

    const QString reportPath = qEnvironmentVariable("PROBE_REPORT");
    QObject::connect(&delegate, &AppDelegate::panelPainted, &app, [&] {
        const double paintedMs = since();
        delegate.hidePanel();
        // Let the hide and whatever it frees settle before measuring.
        QTimer::singleShot(300, &app, [&, paintedMs] {
            const long panelKb = residentKb();
            if (!reportPath.isEmpty()) {
                QFile report(reportPath);
                if (report.open(QIODevice::WriteOnly))
                    report.write(("after the panel:\n" + memoryReport()).toUtf8());
            }
            const Pending link{Uuid::random(), Router::incoming("https://unmatched.example.net/page"),
                               std::nullopt,   "No matching rule. Pick a profile.",
                               false,          {}};
            picker.present(link, {"Work", "Personal"});
            QTimer::singleShot(300, &app, [&, paintedMs, panelKb] {
                picker.close();
                QTimer::singleShot(300, &app, [&, paintedMs, panelKb] {
                    const long pickerKb = residentKb();
                    if (!reportPath.isEmpty()) {
                        QFile report(reportPath);
                        if (report.open(QIODevice::Append))
                            report.write(("after the panel and the picker:\n" + memoryReport()).toUtf8());
                    }
                    std::printf("%.2f %ld %ld %.2f %.2f %.2f %.2f\n", paintedMs, panelKb, pickerKb, mainMs,
                                appMs, modelMs, shellMs);
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            });
        });
    });
    delegate.show();
    return app.exec();
}

// What one child reports, in milliseconds since it was started and kilobytes.
struct Run {
    double painted = 0, main = 0, app = 0, model = 0, shell = 0;
    long panelKb = 0, pickerKb = 0;
};

// Runs one child and reads its figures.
bool runOnce(const char* self, Run& run)
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // Qt's notes about what a platform cannot do would bury the figures; a
    // failed run shows in its exit status.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string started = std::to_string(nowNs());
    const char* args[] = {self, "--child", started.c_str(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, const_cast<char* const*>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return false;
    }
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           std::sscanf(text.c_str(), "%lf %ld %ld %lf %lf %lf %lf", &run.painted, &run.panelKb, &run.pickerKb,
                       &run.main, &run.app, &run.model, &run.shell) == 7;
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--child")
        return child(1, argv, std::atoll(argv[2]));

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<Run> all;
    char reportPath[] = "/tmp/corvane-probe-XXXXXX";
    const int reportFd = mkstemp(reportPath);
    for (int i = 0; i < runs; ++i) {
        // Only the last run writes where its memory lies.
        if (i == runs - 1 && reportFd >= 0)
            setenv("PROBE_REPORT", reportPath, 1);
        Run run;
        if (!runOnce("/proc/self/exe", run)) {
            std::fprintf(stderr, "shell_startup_probe: run %d failed\n", i + 1);
            return 1;
        }
        all.push_back(run);
    }
    const auto med = [&](auto field) {
        std::vector<double> values;
        for (const Run& run : all)
            values.push_back(double(run.*field));
        return median(values);
    };
    std::vector<double> painted;
    for (const Run& run : all)
        painted.push_back(run.painted);
    std::printf("cold start to panel painted (without the 0.3 s pause): median %.1f ms, best %.1f ms, "
                "%d runs\n",
                med(&Run::painted), *std::min_element(painted.begin(), painted.end()), runs);
    std::printf("  steps, median ms since the process started: main() %.1f, QApplication %.1f, model %.1f, "
                "shell and panel built %.1f, panel painted %.1f\n",
                med(&Run::main), med(&Run::app), med(&Run::model), med(&Run::shell), med(&Run::painted));
    std::printf("resident memory, panel shown once and hidden: median %.1f MB\n", med(&Run::panelKb) / 1024);
    std::printf(
        "resident memory, then the picker shown once and hidden: median %.1f MB (goal: at most 30 MB)\n",
        med(&Run::pickerKb) / 1024);
    const double overMb = med(&Run::pickerKb) / 1024 - 30;
    if (overMb > 0)
        std::printf("  over the goal by %.1f MB: see below how much of it is shared libraries (Qt, the C++ "
                    "runtime, ICU, X, fonts, TLS), which are mapped whatever Corvane does\n",
                    overMb);
    if (reportFd >= 0) {
        QFile report(QString::fromLocal8Bit(reportPath));
        if (report.open(QIODevice::ReadOnly))
            std::printf("where it lies, last run:\n%s", report.readAll().constData());
        close(reportFd);
        unlink(reportPath);
    }
    return 0;
}
