#include "nav_row.h"

#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/palette.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QPainter>

namespace corvane {

NavRow::NavRow(QString icon, const QString& title, QWidget* parent) : QAbstractButton(parent), m_icon(icon)
{
    setText(title);
    setFixedHeight(28);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    // Assistive technology reads the selected row as checked.
    setCheckable(true);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (on != m_selected)
            setChecked(m_selected);
    });
}

void NavRow::setIcon(const QString& icon)
{
    m_icon = icon;
    update();
}

void NavRow::setCount(int count)
{
    if (count == m_count)
        return;
    m_count = count;
    update();
}

void NavRow::setHighlight(bool highlight)
{
    if (highlight == m_highlight)
        return;
    m_highlight = highlight;
    update();
}

void NavRow::setSelected(bool selected)
{
    m_selected = selected;
    const QSignalBlocker block(this);
    setChecked(selected);
    update();
}

void NavRow::enterEvent(QEnterEvent*)
{
    m_hovered = true;
    update();
}

void NavRow::leaveEvent(QEvent*)
{
    m_hovered = false;
    update();
}

void NavRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    if (m_selected || m_hovered) {
        p.setPen(Qt::NoPen);
        p.setBrush(m_selected ? VantraPalette::navPill() : VantraPalette::navHover());
        p.drawRoundedRect(r, 6, 6);
    }
    const double padding = 10;
    const QColor iconColor = m_selected ? QColor(Qt::white) : VantraPalette::navIcon();
    const QColor textColor = m_selected ? QColor(Qt::white) : VantraPalette::navText();
    // The icon in an 18-point square. A system symbol (the missing-profile
    // badge) is set at 0.8 times the size it is given, so it is given more to
    // come out as large as the icons beside it.
    const double size = Icons::isSymbol(m_icon) ? 15 / 0.8 : 15;
    Icons::paint(p, QRectF(padding + 9 - size / 2, (r.height() - size) / 2, size, size), m_icon, iconColor);

    double right = r.width() - padding;
    if (m_count > 0) {
        const QFont font = UIFont::digits(11, m_highlight ? QFont::DemiBold : QFont::Normal);
        const QString number = QString::number(m_count);
        const double w = std::max(17.0, QFontMetricsF(font).horizontalAdvance(number) + 12);
        const QRectF badge(right - w, (r.height() - 17) / 2, w, 17);
        if (m_highlight) {
            p.setPen(Qt::NoPen);
            p.setBrush(VantraPalette::blue());
            p.drawRoundedRect(badge, 8.5, 8.5);
        }
        p.setFont(font);
        p.setPen(m_highlight ? QColor(Qt::white) : VantraPalette::navFaint());
        p.drawText(badge, Qt::AlignCenter, number);
        right = badge.left() - 6;
    }
    const QFont font = UIFont::font(13, m_selected ? QFont::DemiBold : QFont::Normal);
    p.setFont(font);
    p.setPen(textColor);
    const double x = padding + 18 + 9;
    const QRectF textRect(x, 0, right - x, r.height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(font).elidedText(text(), Qt::ElideRight, textRect.width()));
}

} // namespace corvane
