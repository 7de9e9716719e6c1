#include "app/model.h"
#include "app/tab_relay.h"
#include "platform/fake/fake_platform.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>

// What "Reuse open tabs" adds to a link: the model asks the extension of the
// target profile through the real corvane-extension-host (started here as a
// browser would start it) before the routing helper (/bin/true) runs. This
// process plays the extension: it answers each question at once, so the
// figures are Corvane's side, the relay and the host, without the browser's
// own tab lookup.

namespace corvane {
namespace {

const QByteArray token = "corvane-profile-4f1c2a9e-7d3b-4e8a-9c21-0b5d6e7f8a90";

QByteArray frame(const QByteArray& body)
{
    const auto length = static_cast<std::uint32_t>(body.size());
    QByteArray out(sizeof length, '\0');
    std::memcpy(out.data(), &length, sizeof length);
    return out + body;
}

void write(const QString& file, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
}

struct Bench {
    QTemporaryDir dir;
    FakePlatform platform;
    TabRelay relay;
    QProcess host;
    std::unique_ptr<Model> model;
    bool switchTabs = false;
    QByteArray fromHost;

    Bench()
    {
        const QString runtime = dir.filePath("run");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write(dir.filePath("config/chromium/Local State"),
              R"({"profile":{"info_cache":{"Profile 1":{"name":"Work"}}}})");
        write(dir.filePath("config/chromium/Profile 1/Local Extension Settings/hiceokegphiaapaahglbcbkcdngejhli/"
                           "000003.log"),
              "profileToken\"" + token + "\"");
        relay.listen(runtime + "/corvane-tabs.sock");

        QProcessEnvironment env;
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("PATH", "/usr/bin:/bin");
        host.setProcessEnvironment(env);
        QObject::connect(&host, &QProcess::readyReadStandardOutput, [this] { answer(); });
        host.start(qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane-extension-host",
                   {"chrome-extension://hiceokegphiaapaahglbcbkcdngejhli/"});
        host.write(frame(R"({"type":"hello","token":")" + token + "\"}"));
        for (QDeadlineTimer deadline(10000); !relay.isConnected("chromium", "Work") && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

        platform.runner = QStandardPaths::findExecutable("true");
        ModelEnvironment modelEnv;
        modelEnv.userDefaultsPath = dir.filePath("corvane.conf");
        modelEnv.platform = &platform;
        modelEnv.tabs = &relay;
        modelEnv.resolver = [](const Url& url, QObject*, std::function<void(const Url&)> done) { done(url); };
        model = std::make_unique<Model>(modelEnv);
        model->setConfig(Configuration{1, {}, "Work"});
    }
    ~Bench()
    {
        host.closeWriteChannel();
        host.waitForFinished(2000);
    }

    // The extension's side: every question answered at once.
    void answer()
    {
        fromHost += host.readAllStandardOutput();
        while (fromHost.size() >= 4) {
            std::uint32_t length = 0;
            std::memcpy(&length, fromHost.constData(), 4);
            if (fromHost.size() < 4 + qsizetype(length))
                return;
            const QJsonObject question = QJsonDocument::fromJson(fromHost.mid(4, length)).object();
            fromHost.remove(0, 4 + length);
            const QJsonObject found{{"type", "found"}, {"id", question.value("id")}, {"switched", switchTabs}};
            host.write(frame(QJsonDocument(found).toJson(QJsonDocument::Compact)));
        }
    }

    void route(const QString& link)
    {
        QEventLoop loop;
        QObject::connect(model.get(), &Model::isRoutingChanged, &loop, [&] {
            if (!model->isRouting() && model->pending().isEmpty())
                loop.quit();
        });
        model->receive({link});
        if (model->isRouting() || !model->pending().isEmpty())
            loop.exec();
    }
};

// 0: reuse off, the helper opens the link; 1: reuse on, no tab shows the
// link, then the helper opens it; 2: reuse on, the extension switched.
void BM_LinkWithTabReuse(benchmark::State& state)
{
    Bench bench;
    if (!bench.relay.isConnected("chromium", "Work")) {
        state.SkipWithError("the extension's host did not connect");
        return;
    }
    bench.model->userDefaults().setValue("reuseOpenTabs", state.range(0) != 0);
    bench.switchTabs = state.range(0) == 2;
    int i = 0;
    for (auto _ : state)
        bench.route(QString("https://site.example/page?id=%1").arg(i++));
    const QString expected = state.range(0) == 2 ? "Switched" : "Opened";
    if (!bench.model->status().startsWith(expected))
        state.SkipWithError(("unexpected status: " + bench.model->status()).toStdString().c_str());
}
BENCHMARK(BM_LinkWithTabReuse)
    ->ArgName("reuse_off0_no_tab1_switched2")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace corvane
