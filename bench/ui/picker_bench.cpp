#include "app/favicons.h"
#include "app/model.h"
#include "platform/fake/fake_platform.h"
#include "ui/picker/picker_controller.h"
#include "ui/picker/picker_view.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

// From a link that no rule claims arriving at Model::receive until the picker
// has painted its card once: the routing decision, the queue, building the
// card and its panel, placing it and the first paint.

namespace corvane {
namespace {

class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

struct Bench {
    QTemporaryDir dir;
    FakePlatform platform;
    Favicons icons{dir.filePath("icons"), {}, true};
    PickerController picker;
    std::unique_ptr<Model> model;
    int serial = 0;

    Bench()
    {
        Favicons::install(&icons);
        ModelEnvironment env;
        env.userDefaultsPath = dir.filePath("corvane.conf"); // no settings file: nothing is written
        env.platform = &platform;
        env.picker = &picker;
        env.resolver = [](const Url& url, QObject*, std::function<void(const Url&)> done) { done(url); };
        model = std::make_unique<Model>(env);
        picker.setModel(model.get());
        model->setProfiles({"Work", "Personal", "Home"});
    }
    ~Bench()
    {
        picker.close();
        Favicons::install(nullptr);
    }

    // One link in, until its picker has painted; returns false if it never did.
    bool showOne()
    {
        model->receive({QString("https://www.site%1.example/page").arg(++serial)});
        if (!picker.view())
            return false;
        PaintWatch watch;
        picker.view()->installEventFilter(&watch);
        QElapsedTimer limit;
        limit.start();
        while (!watch.painted && limit.elapsed() < 5000)
            QCoreApplication::processEvents();
        picker.view()->removeEventFilter(&watch);
        return watch.painted;
    }

    void reset()
    {
        picker.close();
        model->setPending({});
        QCoreApplication::processEvents(); // the closed panel is deleted
    }
};

void BM_UnmatchedLinkToPickerShown(benchmark::State& state)
{
    Bench bench;
    // The first one in the process also loads the fonts and the icon artwork.
    QElapsedTimer first;
    first.start();
    if (!bench.showOne()) {
        state.SkipWithError("the picker never painted");
        return;
    }
    state.counters["first_ms"] = double(first.nsecsElapsed()) / 1e6;
    bench.reset();
    for (auto _ : state) {
        if (!bench.showOne()) {
            state.SkipWithError("the picker never painted");
            return;
        }
        state.PauseTiming();
        bench.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UnmatchedLinkToPickerShown)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace corvane
