// Cold start of Corvane to its panel on the screen, and the memory it holds
// once the panel has been shown and hidden again.
//
//     shell_startup_probe [RUNS]
//
// Each run starts this program afresh as a child, which goes through the
// start-up of src/main.cpp (hand-off check, application, model, shell) on
// temporary folders, opens the panel at once instead of after the 0.3 s
// pause of an ordinary launch, and reports when the panel has been painted,
// counted from the moment the parent started it; then it hides the panel and
// reports its resident memory.

#include "app/model.h"
#include "app/model_environment.h"
#include "app/update_settings.h"
#include "platform/linux/linux_platform.h"
#include "platform/single_instance.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/message_box_alerts.h"
#include "ui/shell/qt_arguments.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

int child(int argc, char** argv, long long startedNs)
{
    using namespace corvane;
    SingleInstance intake;
    if (intake.handOff({}))
        return 1; // another copy runs in these folders

    QtArguments qtArguments(argv[0]);
    QApplication app(qtArguments.argc(), qtArguments.argv());
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));

    LinuxPlatform platform;
    ModelEnvironment environment;
    environment.settingsPath = ModelEnvironment::standardSettingsPath();
    environment.userDefaultsPath = ModelEnvironment::standardUserDefaultsPath();
    environment.platform = &platform;
    AppDelegate delegate;
    environment.window = &delegate;
    MessageBoxAlerts alerts;
    environment.alerts = &alerts;
    environment.updates = UpdateSettings::standard();
    Model& model = Model::setupShared(std::move(environment));
    intake.listen();

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (delegate.start(model, {arguments, false}))
        return 1;

    QObject::connect(&delegate, &AppDelegate::panelPainted, &app, [&] {
        const double paintedMs = double(nowNs() - startedNs) / 1e6;
        delegate.hidePanel();
        // Let the hide and whatever it frees settle before measuring.
        QTimer::singleShot(300, &app, [paintedMs] {
            std::printf("%.2f %ld\n", paintedMs, residentKb());
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    });
    delegate.show();
    return app.exec();
}

// Runs one child and reads its two figures.
bool runOnce(const char* self, double& paintedMs, long& rssKb)
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
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
           std::sscanf(text.c_str(), "%lf %ld", &paintedMs, &rssKb) == 2;
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
    std::vector<double> painted;
    std::vector<long> rss;
    for (int i = 0; i < runs; ++i) {
        double ms = 0;
        long kb = 0;
        if (!runOnce("/proc/self/exe", ms, kb)) {
            std::fprintf(stderr, "shell_startup_probe: run %d failed\n", i + 1);
            return 1;
        }
        painted.push_back(ms);
        rss.push_back(kb);
    }
    std::printf("cold start to panel painted (without the 0.3 s pause): median %.1f ms, best %.1f ms, "
                "%d runs\n",
                median(painted), *std::min_element(painted.begin(), painted.end()), runs);
    std::printf("resident memory, panel shown once and hidden: median %.1f MB\n", median(rss) / 1024.0);
    return 0;
}
