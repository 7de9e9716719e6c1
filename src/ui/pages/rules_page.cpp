#include "rules_page.h"

#include "app/favicons.h"
#include "app/model.h"
#include "platform/platform.h"
#include "rule_row.h"
#include "rules_logic.h"
#include "ui/kit/button_style.h"
#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/overlay_scroll.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/toggle.h"
#include "ui/kit/view_state.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace corvane {

namespace {

// A rounded box in one fill, optionally with a hairline border.
class Box : public QWidget {
public:
    Box(const VantraPalette& palette, bool filled, double radius)
        : m_palette(palette), m_filled(filled), m_radius(radius)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (m_filled) {
            p.setPen(Qt::NoPen);
            p.setBrush(m_palette.subtle());
            p.drawRoundedRect(QRectF(rect()), m_radius, m_radius);
        } else {
            p.setPen(QPen(m_palette.hairline(), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
        }
    }

private:
    const VantraPalette& m_palette;
    bool m_filled;
    double m_radius;
};

// The card around the rows: a hairline border, the rows one point inside it.
class RowsCard : public QWidget {
public:
    explicit RowsCard(const VantraPalette& palette) : m_palette(palette) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(m_palette.hairline(), 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }

private:
    const VantraPalette& m_palette;
};

class IconButton : public QAbstractButton {
public:
    IconButton(const QString& icon, double size, const VantraPalette& palette)
        : m_icon(icon), m_size(size), m_palette(palette)
    {
        setFixedSize(qCeil(size) + 4, qCeil(size) + 4);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (isDown())
            p.setOpacity(0.6);
        Icons::paint(p, QRectF(2, 2, m_size, m_size), m_icon, m_palette.faint());
    }

private:
    QString m_icon;
    double m_size;
    const VantraPalette& m_palette;
};

} // namespace

RulesPage::RulesPage(Model& model, const VantraPalette& palette, ViewState& state, QWidget* parent)
    : QWidget(parent), m_model(model), m_palette(palette), m_state(state)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_add = new VantraButton("Add rule", palette, true, 32);
    m_add->setIconName("plus", 14);
    m_header = pageHeader(QString(), QString(), m_add, palette);
    column->addWidget(m_header);

    // The search field.
    m_searchBox = new Box(palette, true, 8);
    m_searchBox->setFixedHeight(34);
    auto* search = new QHBoxLayout(m_searchBox);
    search->setContentsMargins(12, 0, 12, 0);
    search->setSpacing(8);
    search->addWidget(new Icon("search", 14, palette.faint()));
    m_search = new QLineEdit;
    m_search->setFrame(false);
    m_search->setPlaceholderText("Search domains or profiles");
    m_search->setAccessibleName("Search domains or profiles");
    m_search->setFont(UIFont::font(13));
    m_search->setAttribute(Qt::WA_MacShowFocusRect, false);
    search->addWidget(m_search, 1);
    m_count = new PaletteLabel(QString(), palette, 12, QFont::Normal, PaletteLabel::Tone::faint);
    search->addWidget(m_count);
    m_clear = new IconButton("circle-x", 14, palette);
    m_clear->setAccessibleName("Clear search");
    search->addWidget(m_clear);
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(28, 0, 28, 18);
    searchRow->addWidget(m_searchBox);
    column->addLayout(searchRow);
    applySearchColors();

    // The list, or a state for no rules at all or none matching.
    m_scroll = new QScrollArea;
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    overlayScrollers(m_scroll, palette);
    m_states = new QStackedWidget;

    m_firstRuleState = new QWidget;
    auto* first = new QVBoxLayout(m_firstRuleState);
    first->setContentsMargins(0, 0, 0, 0);
    first->addWidget(emptyState("arrow.triangle.branch", "No rules yet", QString(), palette));
    m_firstRule = new VantraButton("Add your first rule", palette, true, 32);
    first->addWidget(m_firstRule, 0, Qt::AlignHCenter);
    first->addStretch();

    auto* noMatchPage = new QWidget;
    auto* noMatch = new QVBoxLayout(noMatchPage);
    noMatch->setContentsMargins(0, 0, 0, 0);
    m_noMatch = emptyState("magnifyingglass", "No matching rules", QString(), palette);
    noMatch->addWidget(m_noMatch);
    noMatch->addStretch();

    auto* rowsPage = new QWidget;
    auto* rowsOuter = new QVBoxLayout(rowsPage);
    rowsOuter->setContentsMargins(28, 0, 28, 28);
    m_rowsCard = new RowsCard(palette);
    m_rowsLayout = new QVBoxLayout(m_rowsCard);
    m_rowsLayout->setContentsMargins(1, 1, 1, 1);
    m_rowsLayout->setSpacing(0);
    rowsOuter->addWidget(m_rowsCard);
    rowsOuter->addStretch();

    m_states->addWidget(m_firstRuleState);
    m_states->addWidget(noMatchPage);
    m_states->addWidget(rowsPage);
    m_scroll->setWidget(m_states);
    // The scroll area fills its content by default, in a square that would
    // cover the card's rounded bottom corners; the card shows through instead.
    m_scroll->viewport()->setAutoFillBackground(false);
    m_states->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);

    connect(m_add, &QAbstractButton::clicked, this, [this] {
        QString profile = m_state.profileFilter();
        if (profile.isEmpty() && !m_model.profiles().isEmpty())
            profile = m_model.profiles().first();
        emit editRule(RulesLogic::newRule(profile));
    });
    connect(m_firstRule, &QAbstractButton::clicked, this,
            [this] { emit editRule(RulesLogic::newRule(m_model.profiles().value(0))); });
    connect(m_search, &QLineEdit::textEdited, &m_state, &ViewState::setQuery);
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_state.setQuery(QString()); });
    connect(&m_state, &ViewState::queryChanged, this, [this] {
        if (m_search->text() != m_state.query())
            m_search->setText(m_state.query());
        filter();
    });
    connect(&m_state, &ViewState::profileFilterChanged, this, [this] {
        filter();
        m_scroll->verticalScrollBar()->setValue(0);
    });
    connect(&m_model, &Model::configChanged, this, &RulesPage::rebuild);
    connect(&m_model, &Model::profilesChanged, this, &RulesPage::rebuild);
    connect(&m_model, &Model::targetBrowserChanged, this, &RulesPage::rebuild);
    connect(&Favicons::shared(), &Favicons::imageChanged, this, [this](const QString& key) {
        for (RuleRow* row : std::as_const(m_rows))
            if (row->host().compare(key, Qt::CaseInsensitive) == 0)
                row->update();
    });
    rebuild();
}

void RulesPage::rebuild()
{
    const std::vector<Rule>& rules = m_model.config().rules;
    const int count = int(rules.size());
    // Rows are kept and refilled, so a toggle or a move does not rebuild the list.
    while (m_rows.size() > count) {
        // The row may be the one whose menu is still handling the action that
        // removed its rule ("Delete rule" on the last row): it goes once that
        // action has returned, never from under it.
        RuleRow* row = m_rows.takeLast();
        disconnect(row, nullptr, this, nullptr);
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    while (m_rows.size() < count) {
        auto* row = new RuleRow(m_palette);
        row->hide();
        connect(row, &RuleRow::edit, this, [this, row] { emit editRule(row->rule()); });
        connect(row, &RuleRow::toggled, this, [this, row](bool enabled) {
            Configuration config = m_model.config();
            for (Rule& rule : config.rules)
                if (rule.id == row->rule().id)
                    rule.enabled = enabled;
            m_model.setConfig(config);
        });
        const auto moveBy = [this, row](int offset) {
            if (auto moved = RulesLogic::move(m_model.config().rules, row->rule().id, offset)) {
                Configuration config = m_model.config();
                config.rules = std::move(*moved);
                m_model.setConfig(config);
            }
        };
        connect(row, &RuleRow::earlier, this, [moveBy] { moveBy(-1); });
        connect(row, &RuleRow::later, this, [moveBy] { moveBy(+1); });
        connect(row, &RuleRow::remove, this, [this, row] {
            Configuration config = m_model.config();
            const Uuid id = row->rule().id;
            std::erase_if(config.rules, [&](const Rule& rule) { return rule.id == id; });
            m_model.setConfig(config);
        });
        m_rowsLayout->addWidget(row);
        m_rows << row;
    }
    const QStringList& reported = m_model.profiles();
    const QString browser = m_model.targetBrowser().displayName;
    for (int i = 0; i < count; ++i) {
        const Rule& rule = rules[std::size_t(i)];
        m_rows[i]->setBrowserName(browser);
        const bool missing = !reported.isEmpty() && !reported.contains(QString::fromStdString(rule.profile));
        m_rows[i]->setRule(rule, i + 1, i > 0, i < count - 1, missing);
    }
    filter();
}

void RulesPage::filter()
{
    const QString& profileFilter = m_state.profileFilter();
    const QString& query = m_state.query();
    const std::vector<Rule>& rules = m_model.config().rules;
    m_visibleCount = 0;
    for (int i = 0; i < m_rows.size(); ++i) {
        const bool visible = RulesLogic::isVisible(rules[std::size_t(i)], profileFilter, query);
        if (visible)
            m_rows[i]->setFirst(m_visibleCount == 0);
        m_rows[i]->setVisible(visible);
        m_visibleCount += visible;
    }

    const bool filtered = !query.isEmpty() || !profileFilter.isEmpty();
    m_count->setText(filtered ? QString("%1 of %2").arg(m_visibleCount).arg(rules.size()) : QString());
    m_count->setVisible(filtered);
    m_clear->setVisible(!query.isEmpty());
    if (rules.empty())
        m_states->setCurrentIndex(0);
    else if (m_visibleCount == 0)
        m_states->setCurrentIndex(1);
    else
        m_states->setCurrentIndex(2);
    updateHeader();
}

void RulesPage::updateHeader()
{
    const QString& profile = m_state.profileFilter();
    const QString browser = m_model.targetBrowser().displayName;
    m_header->setTitle(profile.isEmpty() ? "Routing rules" : profile);
    m_header->setDetail(profile.isEmpty()
                            ? "Links you click in other apps open in the profile of the first rule "
                              "that matches, from the top down."
                            : "Rules that open in " + profile + ", in their overall order.");
    auto* firstState = m_firstRuleState->findChild<EmptyState*>();
    firstState->setContent("arrow.triangle.branch", "No rules yet",
                           "Add a domain and the " + browser + " profile it should open in.");
    m_noMatch->setContent("magnifyingglass", "No matching rules",
                          profile.isEmpty() ? "Try another domain or profile."
                                            : "No rules open in " + profile + " yet.");
}

RulesPage::Shown RulesPage::shown() const
{
    return Shown(m_states->currentIndex());
}

QString RulesPage::countText() const
{
    return m_count->isVisibleTo(m_searchBox) ? m_count->text() : QString();
}

QList<RuleRow*> RulesPage::visibleRows() const
{
    QList<RuleRow*> rows;
    for (RuleRow* row : m_rows)
        if (row->isVisibleTo(m_rowsCard))
            rows << row;
    return rows;
}

void RulesPage::applySearchColors()
{
    QPalette p = m_search->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::Text, m_palette.ink());
    p.setColor(QPalette::PlaceholderText, m_palette.faint());
    m_search->setPalette(p);
    for (Icon* icon : m_searchBox->findChildren<Icon*>())
        icon->setColor(m_palette.faint());
}

void RulesPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        applySearchColors();
    QWidget::changeEvent(event);
}

} // namespace corvane
