#include "rule_row.h"

#include "app/favicons.h"
#include "rules_logic.h"
#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/menu.h"
#include "ui/kit/site_icon.h"
#include "ui/kit/toggle.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QToolTip>

namespace corvane {

namespace {

constexpr double padX = 14;
constexpr double padY = 12;
constexpr double gap = 12;
constexpr double positionWidth = 18;
constexpr double siteIconSize = 24;
constexpr double chipMax = 150;
constexpr double chipHeight = 24;
constexpr double toggleWidth = 34;
constexpr double actionsSize = 28;
constexpr int rowHeight = 58;

const QFont& patternFont()
{
    static const QFont f = UIFont::font(13, QFont::Medium);
    return f;
}
const QFont& kindFont()
{
    static const QFont f = UIFont::font(11);
    return f;
}
const QFont& chipFont()
{
    static const QFont f = UIFont::font(12);
    return f;
}
const QFont& positionFont()
{
    static const QFont f = UIFont::digits(11, QFont::Medium);
    return f;
}

// The borderless "…" button of a row.
class ActionsButton : public QAbstractButton {
public:
    ActionsButton(const VantraPalette& palette, QWidget* parent) : QAbstractButton(parent), m_palette(palette)
    {
        setFixedSize(int(actionsSize), int(actionsSize));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (isDown())
            p.setOpacity(0.6);
        Icons::paint(p, QRectF(5, 5, 18, 18), "ellipsis", m_palette.muted());
    }

private:
    const VantraPalette& m_palette;
};

} // namespace

RuleRow::RuleRow(const VantraPalette& palette, QWidget* parent)
    : QAbstractButton(parent), m_palette(palette), m_toggle(new VantraToggle(palette, QString(), this)),
      m_actions(new ActionsButton(palette, this))
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(rowHeight);
    connect(this, &QAbstractButton::clicked, this, &RuleRow::edit);
    connect(m_toggle, &QAbstractButton::toggled, this, &RuleRow::toggled);
    connect(m_actions, &QAbstractButton::clicked, this, [this] {
        QMenu* menu = buildMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_actions->mapToGlobal(QPoint(0, m_actions->height())));
    });
}

void RuleRow::setRule(const Rule& rule, int position, bool canMoveEarlier, bool canMoveLater,
                      bool profileMissing)
{
    const bool sameRule = rule == m_rule && position == m_position;
    m_rule = rule;
    m_position = position;
    m_canMoveEarlier = canMoveEarlier;
    m_canMoveLater = canMoveLater;
    m_profileMissing = profileMissing;
    if (!sameRule || m_pattern.isNull()) {
        m_pattern = QString::fromStdString(rule.pattern);
        m_profile = QString::fromStdString(rule.profile);
        m_kind =
            QString::fromUtf8(matchKindLabel(rule.kind).data(), qsizetype(matchKindLabel(rule.kind).size()));
        m_host = RulesLogic::iconHost(rule);
        setAccessibleName(QString("Edit rule %1, %2, %3").arg(position).arg(m_pattern, m_profile));
        m_toggle->setLabel("Enable " + m_pattern);
        m_actions->setAccessibleName("Actions for " + m_pattern);
        if (isVisible())
            Favicons::shared().request(m_host);
    }
    if (m_toggle->isOn() != rule.enabled)
        m_toggle->setOn(rule.enabled);
    update();
}

void RuleRow::setFirst(bool first)
{
    if (first != m_first) {
        m_first = first;
        update();
    }
}

QSize RuleRow::sizeHint() const
{
    return QSize(600, rowHeight);
}

double RuleRow::chipWidth() const
{
    const QString text = m_profile.isEmpty() ? "Choose profile" : m_profile;
    return std::min(chipMax, 9 + 14 + 7 + QFontMetricsF(chipFont()).horizontalAdvance(text) + 10);
}

QRectF RuleRow::chipRect() const
{
    const double right = width() - padX - actionsSize - gap - toggleWidth - gap;
    const double w = chipWidth();
    return QRectF(right - w, (height() - chipHeight) / 2, w, chipHeight);
}

QString RuleRow::chipToolTip() const
{
    return m_profileMissing
               ? m_profile + " was not found in " + m_browser + ". Links for this rule will wait in Pending."
               : QString();
}

QMenu* RuleRow::buildMenu(QWidget* parent)
{
    auto* menu = new VantraMenu(m_palette, parent);
    connect(menu->addAction("Edit rule"), &QAction::triggered, this, &RuleRow::edit);
    menu->addSeparator();
    QAction* up = menu->addSymbolAction("arrow.up", "Move earlier");
    up->setEnabled(m_canMoveEarlier);
    connect(up, &QAction::triggered, this, &RuleRow::earlier);
    QAction* down = menu->addSymbolAction("arrow.down", "Move later");
    down->setEnabled(m_canMoveLater);
    connect(down, &QAction::triggered, this, &RuleRow::later);
    menu->addSeparator();
    connect(menu->addDestructive("Delete rule"), &QAction::triggered, this, &RuleRow::remove);
    return menu;
}

void RuleRow::resizeEvent(QResizeEvent*)
{
    m_actions->move(int(width() - padX - actionsSize), (height() - int(actionsSize)) / 2);
    m_toggle->move(int(width() - padX - actionsSize - gap - toggleWidth), (height() - 20) / 2);
}

void RuleRow::showEvent(QShowEvent*)
{
    // Only rows that are shown ask for their icon.
    Favicons::shared().request(m_host);
}

bool RuleRow::event(QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave)
        update();
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (m_profileMissing && chipRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(), chipToolTip(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractButton::event(event);
}

void RuleRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    // At rest the row shows the card beneath it, so the card's rounded border
    // stays whole.
    if (underMouse())
        p.fillRect(r, m_palette.rowHover());
    if (!m_first)
        p.fillRect(QRectF(0, 0, r.width(), 1), m_palette.hairline());

    double x = padX;
    p.setFont(positionFont());
    p.setPen(m_palette.faint());
    p.drawText(QRectF(x, 0, positionWidth, r.height()), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(m_position));
    x += positionWidth + gap;

    p.save();
    if (!m_rule.enabled)
        p.setOpacity(0.45);
    SiteIcon::paint(p, QRectF(x, (r.height() - siteIconSize) / 2, siteIconSize, siteIconSize), m_host,
                    m_palette);
    p.restore();
    x += siteIconSize + gap;

    const QRectF chip = chipRect();
    const double textWidth = chip.left() - gap - x;
    const QFontMetricsF patternMetrics(patternFont());
    const QFontMetricsF kindMetrics(kindFont());
    const double columnHeight = patternMetrics.height() + 3 + kindMetrics.height();
    const double top = (r.height() - columnHeight) / 2;
    p.setFont(patternFont());
    p.setPen(m_palette.ink());
    p.drawText(
        QRectF(x, top, textWidth, patternMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        patternMetrics.elidedText(m_pattern.isEmpty() ? "New rule" : m_pattern, Qt::ElideRight, textWidth));
    p.setFont(kindFont());
    p.setPen(m_palette.faint());
    p.drawText(QRectF(x, top + patternMetrics.height() + 3, textWidth, kindMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter, m_kind);

    // The profile chip.
    p.setPen(Qt::NoPen);
    p.setBrush(m_palette.subtle());
    p.drawRoundedRect(chip, chipHeight / 2, chipHeight / 2);
    const QRectF icon(chip.left() + 9, chip.center().y() - 7, 14, 14);
    if (m_profileMissing)
        Icons::paint(p, icon, "exclamationmark.triangle", VantraPalette::orange());
    else
        Icons::paint(p, icon, "circle-user-round", m_palette.muted());
    const QRectF label(icon.right() + 7, chip.top(), chip.right() - 10 - icon.right() - 7, chip.height());
    p.setFont(chipFont());
    p.setPen(m_profile.isEmpty() ? m_palette.muted() : m_palette.ink());
    p.drawText(
        label, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetricsF(chipFont())
            .elidedText(m_profile.isEmpty() ? "Choose profile" : m_profile, Qt::ElideRight, label.width()));
}

} // namespace corvane
