#pragma once

#include "app/records.h"
#include "core/rules.h"
#include "ui/kit/palette.h"
#include "ui/kit/view_state.h"

#include <QWidget>

#include <array>
#include <optional>

class QStackedWidget;

namespace corvane {

class Banners;
class Model;
class RuleEditor;
class RulesPage;
class Sidebar;
class Toast;

enum class ColorScheme { light, dark };

// The one window: the sidebar at the left and the rounded card at the right
// with a banner, the page of the selected tab, the toast and, while a rule is
// being edited, the editor sheet over the card.
class ContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize panelSize{900, 640};

    // `previewScheme` fixes the colour scheme; the application-wide
    // appearance is then never read or changed.
    explicit ContentView(Model& model, std::optional<ColorScheme> previewScheme = std::nullopt,
                         QWidget* parent = nullptr);
    ~ContentView() override;

    Model& model() const { return m_model; }
    const VantraPalette& palette() const { return m_palette; }
    ViewState& state() { return m_state; }
    bool dark() const { return m_palette.dark; }

    // Puts a page widget under a tab. A page that has a signal
    // createRule(corvane::Rule) gets it connected to editRule().
    void installPage(AppTab tab, QWidget* page);
    // The page of a tab. The Links and Settings pages are built the first
    // time they are shown or asked for: most launches never open them.
    QWidget* page(AppTab tab);

    // Opens the rule editor on a copy of `rule` (new or existing).
    void editRule(const Rule& rule);
    // Replaces the rule with the same id in place, or appends it.
    void commitRule(const Rule& rule);

    Sidebar* sidebar() const { return m_sidebar; }
    Banners* banners() const { return m_banners; }
    Toast* toast() const { return m_toast; }
    RulesPage* rulesPage() const { return m_rulesPage; }
    // The open editor, or null.
    RuleEditor* editor() const { return m_editor; }

private slots:
    void editRuleSlot(const corvane::Rule& rule);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void setDark(bool dark);
    void applyAppearance();
    void showTab();
    void syncEditor();
    QRect cardRect() const;

    Model& m_model;
    std::optional<ColorScheme> m_previewScheme;
    VantraPalette m_palette;
    ViewState m_state;
    Sidebar* m_sidebar;
    QWidget* m_card;
    Banners* m_banners;
    QStackedWidget* m_stack;
    std::array<QWidget*, 3> m_pages{};
    RulesPage* m_rulesPage;
    Toast* m_toast;
    QWidget* m_sheet = nullptr;
    RuleEditor* m_editor = nullptr;
};

} // namespace corvane
