#include "window_fixture.h"

namespace corvane::testing {

void WindowTest::SetUp()
{
    ModelTest::SetUp();
    platform.browser.displayName = "Dia";
    icons = std::make_unique<Favicons>(path("icons"), Favicons::Fetch{}, true);
    Favicons::install(icons.get());
}

void WindowTest::TearDown()
{
    view.reset();
    model.reset();
    Favicons::install(nullptr);
    icons.reset();
    ModelTest::TearDown();
}

ContentView& WindowTest::makeView(std::optional<ColorScheme> scheme)
{
    if (!model)
        model = makeModel();
    view = std::make_unique<ContentView>(*model, scheme);
    view->show();
    return *view;
}

void WindowTest::setRules(std::vector<Rule> rules)
{
    Configuration config = model->config();
    config.rules = std::move(rules);
    model->setConfig(config);
}

Rule WindowTest::rule(const char* pattern, const char* profile, MatchKind kind, bool enabled)
{
    return Rule::make(kind, pattern, profile, enabled);
}

} // namespace corvane::testing
