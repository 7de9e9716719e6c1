#include "content_view.h"

#include "app/model.h"
#include "banners.h"
#include "platform/platform.h"
#include "sidebar.h"
#include "toast.h"
#include "ui/kit/appearance.h"
#include "ui/kit/preferences.h"
#include "ui/pages/links_page.h"
#include "ui/pages/rule_editor.h"
#include "ui/pages/rules_page.h"
#include "ui/pages/settings_page.h"

#include <QApplication>
#include <QBackingStore>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace corvane {

namespace {

constexpr int sidebarWidth = 216;
constexpr int cardInset = 8;

// The rounded card that holds the banner and the page.
class Card : public QWidget {
public:
    explicit Card(const VantraPalette& palette, QWidget* parent) : QWidget(parent), m_palette(palette) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(m_palette.hairline(), 1));
        p.setBrush(m_palette.card());
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 11, 11);
    }

private:
    const VantraPalette& m_palette;
};

// Dims the whole window and holds the editor over the middle of the card. It
// lies over the sidebar too and takes every click, and Tab goes round the
// sheet's own controls, so nothing behind the sheet can be reached while it
// is up.
class SheetHost : public QWidget {
public:
    SheetHost(QWidget* sheet, QWidget* card, QWidget* window) : QWidget(window), m_sheet(sheet), m_card(card)
    {
        sheet->setParent(this);
        setGeometry(window->rect());
        place();
        window->installEventFilter(this);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 12, 12);
        p.fillPath(path, QColor(0, 0, 0, 56));
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parentWidget() && event->type() == QEvent::Resize) {
            setGeometry(parentWidget()->rect());
            place();
        }
        return QWidget::eventFilter(watched, event);
    }
    void mousePressEvent(QMouseEvent*) override {}
    void mouseReleaseEvent(QMouseEvent*) override {}
    void mouseDoubleClickEvent(QMouseEvent*) override {}
    void wheelEvent(QWheelEvent*) override {}
    bool focusNextPrevChild(bool next) override
    {
        QList<QWidget*> chain;
        for (QWidget* w = m_sheet->nextInFocusChain(); w != m_sheet; w = w->nextInFocusChain())
            if (m_sheet->isAncestorOf(w) && w->isVisibleTo(m_sheet) && w->isEnabled() &&
                (w->focusPolicy() & Qt::TabFocus))
                chain << w;
        if (chain.isEmpty())
            return true;
        const qsizetype at = chain.indexOf(QApplication::focusWidget());
        const qsizetype count = chain.size();
        const qsizetype to = at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
        chain[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }

private:
    void place()
    {
        const QSize size = m_sheet->sizeHint();
        const QRect card = m_card->geometry();
        m_sheet->setGeometry(card.left() + (card.width() - size.width()) / 2,
                             card.top() + std::max(24, (card.height() - size.height()) / 3), size.width(),
                             size.height());
    }
    QWidget* m_sheet;
    QWidget* m_card;
};
} // namespace

ContentView::ContentView(Model& model, std::optional<ColorScheme> previewScheme, QWidget* parent)
    : QWidget(parent), m_model(model), m_previewScheme(previewScheme)
{
    resize(panelSize);
    setWindowTitle("Corvane");
    m_palette.dark = previewScheme ? *previewScheme == ColorScheme::dark : Appearance::shared().dark();
    setPalette(m_palette.qtPalette());

    m_sidebar = new Sidebar(m_model, m_state, this);
    m_card = new Card(m_palette, this);
    auto* column = new QVBoxLayout(m_card);
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);
    // Parented at once: a banner that shows itself must never become a window of its own.
    m_banners = new Banners(m_model, m_palette, previewScheme.has_value(), m_card);
    column->addWidget(m_banners);
    m_stack = new QStackedWidget(m_card);
    column->addWidget(m_stack, 1);

    m_rulesPage = new RulesPage(m_model, m_palette, m_state, m_stack);
    m_stack->addWidget(m_rulesPage);
    m_pages[std::size_t(AppTab::rules)] = m_rulesPage;
    connect(m_rulesPage, &RulesPage::editRule, this, &ContentView::editRule);

    m_toast = new Toast(m_model, m_palette, m_card);

    connect(&m_state, &ViewState::tabChanged, this, &ContentView::showTab);
    connect(&m_state, &ViewState::editingChanged, this, &ContentView::syncEditor);
    connect(&m_model, &Model::attentionCountChanged, this, [this] { m_state.setTab(AppTab::links); });
    connect(&m_model, &Model::requestedTabChanged, this, [this] {
        if (const auto tab = m_model.requestedTab()) {
            m_state.setTab(*tab);
            m_model.setRequestedTab(std::nullopt);
        }
    });
    if (!m_previewScheme) {
        connect(&Preferences::of(m_model), &Preferences::appearanceChanged, this,
                &ContentView::applyAppearance);
        connect(&Appearance::shared(), &Appearance::changed, this,
                [this] { setDark(Appearance::shared().dark()); });
        applyAppearance();
    }
    showTab();
    resizeEvent(nullptr);
}

ContentView::~ContentView() = default;

void ContentView::installPage(AppTab tab, QWidget* page)
{
    QWidget*& slot = m_pages[std::size_t(tab)];
    const int index = slot ? m_stack->indexOf(slot) : -1;
    if (index >= 0) {
        m_stack->removeWidget(slot);
        slot->deleteLater();
    }
    slot = page;
    m_stack->insertWidget(index >= 0 ? index : m_stack->count(), page);
    if (page->metaObject()->indexOfSignal("createRule(corvane::Rule)") >= 0)
        connect(page, SIGNAL(createRule(corvane::Rule)), this, SLOT(editRuleSlot(corvane::Rule)));
    showTab();
}

QWidget* ContentView::page(AppTab tab)
{
    if (!m_pages[std::size_t(tab)]) {
        if (tab == AppTab::links)
            installPage(tab, new LinksPage(m_model, m_palette, m_stack));
        else if (tab == AppTab::settings)
            installPage(tab, new SettingsPage(m_model, m_palette, m_stack));
    }
    return m_pages[std::size_t(tab)];
}

void ContentView::editRuleSlot(const corvane::Rule& rule)
{
    editRule(rule);
}

void ContentView::applyAppearance()
{
    if (m_previewScheme)
        return;
    Appearance::shared().apply(Preferences::of(m_model).appearance());
    setDark(Appearance::shared().dark());
}

void ContentView::setDark(bool dark)
{
    if (dark == m_palette.dark)
        return;
    m_palette.dark = dark;
    setPalette(m_palette.qtPalette());
    // Widgets that keep colours of their own hear about the switch too.
    const QList<QWidget*> widgets = findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        QEvent change(QEvent::PaletteChange);
        QCoreApplication::sendEvent(widget, &change);
        widget->update();
    }
    update();
}

void ContentView::showTab()
{
    if (QWidget* shown = page(m_state.tab()))
        m_stack->setCurrentWidget(shown);
}

void ContentView::editRule(const Rule& rule)
{
    m_state.setEditing(rule);
}

void ContentView::commitRule(const Rule& rule)
{
    Configuration config = m_model.config();
    auto it = std::find_if(config.rules.begin(), config.rules.end(),
                           [&](const Rule& r) { return r.id == rule.id; });
    if (it != config.rules.end())
        *it = rule;
    else
        config.rules.push_back(rule);
    m_model.setConfig(config);
}

void ContentView::syncEditor()
{
    if (m_sheet) {
        m_sheet->hide();
        m_sheet->deleteLater();
        m_sheet = nullptr;
        m_editor = nullptr;
    }
    const auto& editing = m_state.editing();
    if (!editing)
        return;
    m_editor = new RuleEditor(*editing, m_model.profiles(), m_palette, m_model.targetBrowser().displayName);
    connect(m_editor, &RuleEditor::committed, this, [this](const Rule& rule) {
        commitRule(rule);
        m_state.setEditing(std::nullopt);
    });
    connect(m_editor, &RuleEditor::dismissed, this, [this] { m_state.setEditing(std::nullopt); });
    m_sheet = new SheetHost(m_editor, m_card, this);
    m_sheet->show();
    m_sheet->raise();
    m_editor->focusPattern();
}

QRect ContentView::cardRect() const
{
    return QRect(sidebarWidth, cardInset, width() - sidebarWidth - cardInset, height() - 2 * cardInset);
}

void ContentView::resizeEvent(QResizeEvent*)
{
    m_sidebar->setGeometry(0, 0, sidebarWidth, height());
    m_card->setGeometry(cardRect());
    m_toast->place();
}

void ContentView::hideEvent(QHideEvent*)
{
    // A hidden panel keeps the picture it was last drawn into, a buffer the
    // size of the window (2.3 MB on a desktop, shared with the X server), for
    // as long as it stays hidden, which is most of the day. Drawing it anew
    // on the next show costs a few milliseconds; the window resizes the
    // buffer back before it paints.
    QTimer::singleShot(0, this, [this] {
        QWidget* panel = window();
        if (!panel->isVisible() && panel->backingStore() && panel->backingStore()->size() != QSize(1, 1))
            panel->backingStore()->resize(QSize(1, 1));
    });
}

void ContentView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 12, 12);
    p.fillPath(path, VantraPalette::frame());
}

} // namespace corvane
