#include "button_style.h"

#include "fonts.h"
#include "icon.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace corvane {

namespace {
constexpr double padding = 13;
constexpr double iconGap = 6;
constexpr double radius = 8;
} // namespace

QColor VantraButtonStyle::fill(bool enabled) const
{
    return primary && enabled ? palette->ink() : palette->card();
}

QColor VantraButtonStyle::label(bool enabled) const
{
    if (!enabled)
        return palette->faint();
    if (primary)
        return palette->dark ? QColor(17, 17, 17) : QColor(255, 255, 255);
    return palette->ink();
}

double VantraButtonStyle::width(const QString& text, const QString& icon, double iconSize) const
{
    double w = QFontMetricsF(UIFont::font(12, QFont::Medium)).horizontalAdvance(text) + 2 * padding;
    if (!icon.isEmpty())
        w += iconSize + (text.isEmpty() ? 0 : iconGap);
    return std::ceil(w);
}

void VantraButtonStyle::paint(QPainter& p, const QRectF& rect, const QString& text, const QString& icon,
                              double iconSize, bool enabled, bool pressed) const
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (pressed)
        p.setOpacity(0.75);
    const QRectF box = bordered(enabled) ? rect.adjusted(0.5, 0.5, -0.5, -0.5) : rect;
    p.setPen(bordered(enabled) ? QPen(palette->hairline(), 1) : Qt::NoPen);
    p.setBrush(fill(enabled));
    p.drawRoundedRect(box, radius, radius);

    const QFont font = UIFont::font(12, QFont::Medium);
    const double textWidth = QFontMetricsF(font).horizontalAdvance(text);
    double contentWidth = textWidth;
    if (!icon.isEmpty())
        contentWidth += iconSize + (text.isEmpty() ? 0 : iconGap);
    double x = rect.center().x() - contentWidth / 2;
    const QColor color = label(enabled);
    if (!icon.isEmpty()) {
        Icons::paint(p, QRectF(x, rect.center().y() - iconSize / 2, iconSize, iconSize), icon, color);
        x += iconSize + iconGap;
    }
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRectF(x, rect.top(), textWidth + 1, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    p.restore();
}

VantraButton::VantraButton(const QString& text, const VantraPalette& palette, bool primary, double height,
                           QWidget* parent)
    : QAbstractButton(parent), m_style{&palette, primary, height}
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void VantraButton::setIconName(const QString& name, double size)
{
    m_iconName = name;
    m_iconSize = size;
    updateGeometry();
    update();
}

void VantraButton::setPrimary(bool primary)
{
    m_style.primary = primary;
    update();
}

QSize VantraButton::sizeHint() const
{
    return QSize(qCeil(m_style.width(text(), m_iconName, m_iconSize)), qCeil(m_style.height));
}

void VantraButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    m_style.paint(p, QRectF(rect()), text(), m_iconName, m_iconSize, isEnabled(), isDown());
}

} // namespace corvane
