#include "app/bridge.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

// What one request to the browser costs us beyond starting a process: a
// Bridge::call round trip to a runner that answers at once, next to a bare
// fork, exec and wait of /bin/true measured in the same run.

namespace corvane {
namespace {

Bridge::Result callOnce(const Bridge::Runner& runner, const Bridge::Request& request)
{
    Bridge::Result result;
    QEventLoop loop;
    Bridge::call(request, runner, nullptr, [&](const Bridge::Result& r) {
        result = r;
        loop.quit();
    });
    loop.exec();
    return result;
}

void BridgeCallEcho(benchmark::State& state)
{
    Bridge::Runner runner;
    runner.program = "/bin/echo";
    runner.browserName = "Chromium";
    const Bridge::Request request{
        {"action", "route"}, {"profile", "Work"}, {"url", "https://example.com/"}, {"reuse", "0"}};
    for (auto _ : state) {
        if (!callOnce(runner, request).ok()) {
            state.SkipWithError("the runner failed");
            break;
        }
    }
}
BENCHMARK(BridgeCallEcho)->UseRealTime()->Unit(benchmark::kMicrosecond);

void ForkExecTrue(benchmark::State& state)
{
    for (auto _ : state) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/true", "true", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}
BENCHMARK(ForkExecTrue)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The real helper listing three profiles, as the profile refresh runs it.
void BridgeCallHelperProfiles(benchmark::State& state)
{
    const QString helper = qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane-bridge";
    QTemporaryDir dir;
    if (!QFile::exists(helper) || !dir.isValid()) {
        state.SkipWithError("set CORVANE_BUILD_DIR to a build with corvane-bridge");
        return;
    }
    QDir(dir.path()).mkpath("config/chromium");
    QDir(dir.path()).mkpath("bin");
    QFile browser(dir.filePath("bin/chromium"));
    browser.open(QIODevice::WriteOnly);
    browser.write("#!/bin/sh\n");
    browser.close();
    browser.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    QFile localState(dir.filePath("config/chromium/Local State"));
    localState.open(QIODevice::WriteOnly);
    localState.write(
        R"({"profile":{"info_cache":{"Default":{"name":"Personal"},"Profile 1":{"name":"Work"},)"
        R"("Profile 2":{"name":"Research"}},"profiles_order":["Default","Profile 1","Profile 2"]}})");
    localState.close();

    const QByteArray oldPath = qgetenv("PATH");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("PATH", dir.filePath("bin").toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    Bridge::Runner runner;
    runner.program = helper;
    runner.browserName = "Chromium";
    for (auto _ : state) {
        if (!callOnce(runner, {{"action", "profiles"}}).ok()) {
            state.SkipWithError("the helper failed");
            break;
        }
    }
    qputenv("PATH", oldPath);
    qputenv("XDG_CONFIG_HOME", oldConfig);
}
BENCHMARK(BridgeCallHelperProfiles)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace corvane
