#pragma once

#include "app/favicons.h"
#include "app/model_fixture.h"
#include "ui/window/content_view.h"

#include <memory>

namespace corvane::testing {

// A window over a private model on temporary folders, with an icon store that
// reads only its own temporary cache folder. The target browser is named "Dia".
class WindowTest : public ModelTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the model (after the test has prepared its settings) and the view.
    ContentView& makeView(std::optional<ColorScheme> scheme = ColorScheme::light);
    void setRules(std::vector<Rule> rules);
    static Rule rule(const char* pattern, const char* profile, MatchKind kind = MatchKind::domain,
                     bool enabled = true);

    std::unique_ptr<Favicons> icons;
    std::unique_ptr<Model> model;
    std::unique_ptr<ContentView> view;
};

} // namespace corvane::testing
