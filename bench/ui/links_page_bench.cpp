#include "app/favicons.h"
#include "app/model.h"
#include "core/router.h"
#include "platform/fake/fake_platform.h"
#include "ui/kit/palette.h"
#include "ui/pages/links_page.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace corvane {
namespace {

// A model with a full queue (100 waiting links) and a full recent list (50),
// on temporary folders, with an icon store that never goes to the network.
struct FullLists {
    QTemporaryDir dir;
    FakePlatform platform;
    Favicons icons{dir.filePath("icons"), {}, true};
    std::unique_ptr<Model> model;
    VantraPalette palette;

    FullLists()
    {
        Favicons::install(&icons);
        ModelEnvironment env;
        env.userDefaultsPath = dir.filePath("corvane.conf");
        env.platform = &platform;
        env.resolver = [](const Url& url, QObject*, std::function<void(const Url&)> done) { done(url); };
        model = std::make_unique<Model>(env);
        model->setProfiles({"Work", "Personal", "Research"});
        model->setPending(pending(0));
        QList<Opened> recent;
        for (int i = 0; i < Model::maxRecent; ++i)
            recent << Opened{
                Uuid::random(),
                Router::incoming(QString("https://recent%1.example.org/read/%1?utm=x").arg(i).toStdString()),
                "Work", i % 2 ? "Rule 3: example.org" : "Default profile", i % 3 == 0};
        model->setRecent(recent);
    }
    ~FullLists() { Favicons::install(nullptr); }

    static QList<Pending> pending(int salt)
    {
        QList<Pending> links;
        for (int i = 0; i < Model::maxPending; ++i)
            links << Pending{Uuid::random(),
                             Router::incoming(QString("https://site%1.example.com/articles/%2/a-long-title")
                                                  .arg(i)
                                                  .arg(salt)
                                                  .toStdString()),
                             std::nullopt, "No matching rule. Pick a profile.", i % 4 == 0, Activation{}};
        return links;
    }

    // The page as the window shows it: in the content card's size, laid out.
    std::unique_ptr<LinksPage> shownPage()
    {
        auto page = std::make_unique<LinksPage>(*model, palette);
        page->resize(676, 624);
        page->show();
        QApplication::processEvents();
        return page;
    }
};

// From nothing to a laid-out page holding every row.
void BM_LinksPageBuild(benchmark::State& state)
{
    FullLists lists;
    for (auto _ : state) {
        auto page = lists.shownPage();
        benchmark::DoNotOptimize(page.get());
    }
    state.counters["rows"] = Model::maxPending + Model::maxRecent;
}
BENCHMARK(BM_LinksPageBuild)->Unit(benchmark::kMillisecond);

// The queue changes (a link opened, one arrived): every waiting row is rebuilt.
void BM_LinksPageRebuildWaiting(benchmark::State& state)
{
    FullLists lists;
    auto page = lists.shownPage();
    int salt = 0;
    for (auto _ : state) {
        lists.model->setPending(FullLists::pending(++salt));
        QApplication::processEvents();
    }
}
BENCHMARK(BM_LinksPageRebuildWaiting)->Unit(benchmark::kMillisecond);

// A batch of 100 links arrives at once (the model announces each one as it
// queues it) and the page settles.
void BM_LinksPageReceiveBatch(benchmark::State& state)
{
    FullLists lists;
    lists.model->setPending({});
    auto page = lists.shownPage();
    QStringList batch;
    for (int i = 0; i < Model::maxPending; ++i)
        batch << QString("https://batch%1.example.net/item").arg(i);
    for (auto _ : state) {
        lists.model->receive(batch);
        QApplication::processEvents();
        state.PauseTiming();
        lists.model->setPending({});
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LinksPageReceiveBatch)->Unit(benchmark::kMillisecond);

// One frame of scrolling: move by 40 points and draw the visible part, as the
// screen would at device pixel ratio 2.
void BM_LinksPageScrollFrame(benchmark::State& state)
{
    FullLists lists;
    auto page = lists.shownPage();
    QScrollBar* bar = page->scrollArea()->verticalScrollBar();
    QImage frame(page->size() * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    int step = 40;
    for (auto _ : state) {
        if (bar->value() + step > bar->maximum() || bar->value() + step < 0)
            step = -step;
        bar->setValue(bar->value() + step);
        page->render(&frame);
    }
    state.counters["height"] = page->scrollArea()->widget()->height();
}
BENCHMARK(BM_LinksPageScrollFrame)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace corvane
