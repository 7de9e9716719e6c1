#include "app/model.h"
#include "platform/fake/fake_platform.h"

#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

#include <unistd.h>

// The cost of our own code per link: from Model::receive until the routing
// helper has been started with the request and its answer applied. The
// helper is /bin/true, which answers at once, so the figure is the queue,
// the routing decision, the bridge's process handling and one process start.

namespace corvane {
namespace {

struct Bench {
    QTemporaryDir dir;
    FakePlatform platform;
    std::unique_ptr<Model> model;

    Bench()
    {
        platform.runner = QStandardPaths::findExecutable("true");
        ModelEnvironment env;
        env.userDefaultsPath = dir.filePath("corvane.conf"); // no settings file: nothing is written
        env.platform = &platform;
        env.resolver = [](const Url& url, QObject*, std::function<void(const Url&)> done) { done(url); };
        model = std::make_unique<Model>(env);
        model->setConfig(Configuration{1, {}, "Work"});
    }

    // Hands the links over and spins the event loop until all are opened.
    void route(const QStringList& links)
    {
        QEventLoop loop;
        const auto done = [&] {
            if (!model->isRouting() && model->pending().isEmpty())
                loop.quit();
        };
        QObject::connect(model.get(), &Model::isRoutingChanged, &loop, done);
        model->receive(links);
        if (model->isRouting() || !model->pending().isEmpty())
            loop.exec();
    }
};

QStringList links(int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result << QString("https://site%1.example/page?id=%1").arg(i);
    return result;
}

void BM_ReceiveToOpened(benchmark::State& state)
{
    Bench bench;
    const QStringList batch = links(static_cast<int>(state.range(0)));
    for (auto _ : state)
        bench.route(batch);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["per_link"] =
        benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReceiveToOpened)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor under the figure above: starting the same helper once and
// waiting for it through the event loop, without any of our code; with
// argument 1 the child gets its own process group as the bridge's does, which
// costs QProcess its fast start path.
void BM_HelperProcessAlone(benchmark::State& state)
{
    const QString program = QStandardPaths::findExecutable("true");
    for (auto _ : state) {
        QProcess process;
        if (state.range(0) == 1)
            process.setChildProcessModifier([] { ::setpgid(0, 0); });
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        process.start(program, {"--browser", "chromium", R"({"action":"route"})"});
        loop.exec();
    }
}
BENCHMARK(BM_HelperProcessAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace corvane
