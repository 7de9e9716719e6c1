#pragma once

#include "core/rules.h"
#include "ui/kit/palette.h"

#include <QWidget>

#include <vector>

class QAbstractButton;
class QLineEdit;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace corvane {

class EmptyState;
class Model;
class PageHeader;
class PaletteLabel;
class RuleRow;
class VantraButton;
class ViewState;

// The Rules tab: the header with "Add rule", the search field, and the rules
// that pass the search and the profile filter, or a state for none.
class RulesPage : public QWidget {
    Q_OBJECT

public:
    RulesPage(Model& model, const VantraPalette& palette, ViewState& state, QWidget* parent = nullptr);

    enum class Shown { firstRule, noMatch, rows };
    Shown shown() const;

    PageHeader* header() const { return m_header; }
    VantraButton* addButton() const { return m_add; }
    QLineEdit* searchField() const { return m_search; }
    // "3 of 12", empty while neither a search nor a filter is active.
    QString countText() const;
    QAbstractButton* clearButton() const { return m_clear; }
    VantraButton* firstRuleButton() const { return m_firstRule; }
    EmptyState* noMatchState() const { return m_noMatch; }
    // The rows shown, top to bottom.
    QList<RuleRow*> visibleRows() const;
    QScrollArea* scrollArea() const { return m_scroll; }

signals:
    // Open the editor on this rule (a new one or a copy of a stored one).
    void editRule(const corvane::Rule& rule);

protected:
    void changeEvent(QEvent*) override;

private:
    void rebuild();
    void filter();
    void updateHeader();
    void setRules(std::vector<Rule> rules);
    void applySearchColors();

    Model& m_model;
    const VantraPalette& m_palette;
    ViewState& m_state;
    PageHeader* m_header;
    VantraButton* m_add;
    QWidget* m_searchBox;
    QLineEdit* m_search;
    PaletteLabel* m_count;
    QAbstractButton* m_clear;
    QScrollArea* m_scroll;
    QStackedWidget* m_states;
    QWidget* m_firstRuleState;
    VantraButton* m_firstRule;
    EmptyState* m_noMatch;
    QWidget* m_rowsCard;
    QVBoxLayout* m_rowsLayout;
    QList<RuleRow*> m_rows; // one per rule of the configuration, in order
    int m_visibleCount = 0;
};

} // namespace corvane
