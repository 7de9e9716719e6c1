#include "app/favicons.h"
#include "app/model.h"
#include "platform/fake/fake_platform.h"
#include "ui/kit/palette.h"
#include "ui/kit/view_state.h"
#include "ui/pages/rules_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QImage>
#include <QLayout>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

// The Rules page with 500 rules, every row's site icon already in the icon
// cache: the cost of building the page and laying it out, and of one
// keystroke in the search field.

namespace corvane {
namespace {

constexpr int ruleCount = 500;

struct Fixture {
    QTemporaryDir dir;
    FakePlatform platform;
    std::unique_ptr<Favicons> icons;
    std::unique_ptr<Model> model;
    VantraPalette palette;

    Fixture()
    {
        QDir().mkpath(dir.filePath("icons"));
        ModelEnvironment env;
        env.userDefaultsPath = dir.filePath("corvane.conf"); // no settings file: nothing is written
        env.platform = &platform;
        env.resolver = [](const Url& url, QObject*, std::function<void(const Url&)> done) { done(url); };
        model = std::make_unique<Model>(env);
        model->setProfiles({"Work", "Personal"});
        Configuration config;
        QImage icon(32, 32, QImage::Format_ARGB32);
        for (int i = 0; i < ruleCount; ++i) {
            const QString host = QString("site%1.example.com").arg(i);
            config.rules.push_back(
                Rule::make(MatchKind::domain, host.toStdString(), i % 3 ? "Work" : "Personal"));
            icon.fill(QColor::fromHsv(i % 360, 200, 220));
            icon.save(dir.filePath("icons/" + host + ".icon"), "PNG");
        }
        model->setConfig(config);
        icons = std::make_unique<Favicons>(dir.filePath("icons"), Favicons::Fetch{}, true);
        Favicons::install(icons.get());
    }
    ~Fixture() { Favicons::install(nullptr); }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void layOut(QWidget& page)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    page.layout()->activate();
}

void BM_RulesPageBuildAndLayout(benchmark::State& state)
{
    Fixture& f = fixture();
    {
        // Loads every icon from the cache folder into memory once.
        ViewState view;
        RulesPage warm(*f.model, f.palette, view);
        warm.resize(684, 600);
        warm.show();
        layOut(warm);
    }
    for (auto _ : state) {
        ViewState view;
        RulesPage page(*f.model, f.palette, view);
        page.resize(684, 600);
        page.show();
        layOut(page);
        benchmark::DoNotOptimize(page.visibleRows().size());
        state.PauseTiming();
        page.hide();
        state.ResumeTiming();
    }
    state.counters["rules"] = ruleCount;
}
BENCHMARK(BM_RulesPageBuildAndLayout)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RulesPageFirstPaint(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        ViewState view;
        RulesPage page(*f.model, f.palette, view);
        page.resize(684, 600);
        page.show();
        layOut(page);
        benchmark::DoNotOptimize(page.grab());
    }
}
BENCHMARK(BM_RulesPageFirstPaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RulesSearchKeystroke(benchmark::State& state)
{
    Fixture& f = fixture();
    ViewState view;
    RulesPage page(*f.model, f.palette, view);
    page.resize(684, 600);
    page.show();
    layOut(page);
    // Alternates between "site1" and "site12": one character typed or erased,
    // and the list shown changes each time (111 rows, then 11).
    bool longer = false;
    for (auto _ : state) {
        longer = !longer;
        view.setQuery(longer ? "site12" : "site1");
        layOut(page);
        benchmark::DoNotOptimize(page.visibleRows().size());
    }
}
BENCHMARK(BM_RulesSearchKeystroke)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RulesSearchKeystrokeAndPaint(benchmark::State& state)
{
    Fixture& f = fixture();
    ViewState view;
    RulesPage page(*f.model, f.palette, view);
    page.resize(684, 600);
    page.show();
    layOut(page);
    bool longer = false;
    for (auto _ : state) {
        longer = !longer;
        view.setQuery(longer ? "s" : "");
        layOut(page);
        benchmark::DoNotOptimize(page.grab());
    }
}
BENCHMARK(BM_RulesSearchKeystrokeAndPaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
} // namespace corvane
