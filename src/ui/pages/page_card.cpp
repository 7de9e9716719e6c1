#include "page_card.h"

#include "ui/kit/fonts.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace corvane {

PageCard::PageCard(const VantraPalette& palette, double radius, QWidget* parent)
    : QWidget(parent), m_palette(palette), m_radius(radius), m_rows(new QVBoxLayout(this))
{
    // Room for the border, so rows never paint over it.
    m_rows->setContentsMargins(1, 1, 1, 1);
    m_rows->setSpacing(0);
}

void PageCard::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_palette.hairline(), 1));
    p.setBrush(m_palette.card());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
}

ToneIcon::ToneIcon(const QString& name, double size, const VantraPalette& palette, Tone tone, QWidget* parent)
    : Icon(name, size, tone(palette), parent), m_palette(palette), m_tone(std::move(tone))
{
}

void ToneIcon::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        setColor(m_tone(m_palette));
    Icon::changeEvent(event);
}

CountBadge::CountBadge(int count, QWidget* parent) : QWidget(parent), m_count(count)
{
    setFixedSize(sizeHint());
    setAccessibleName(QString::number(count));
}

QSize CountBadge::sizeHint() const
{
    const QFontMetricsF metrics(UIFont::digits(11, QFont::DemiBold));
    const double width = metrics.horizontalAdvance(QString::number(m_count)) + 12;
    return QSize(qMax(17, qCeil(width)), 17);
}

void CountBadge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(VantraPalette::blue());
    const QRectF r = rect();
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setPen(Qt::white);
    p.setFont(UIFont::digits(11, QFont::DemiBold));
    p.drawText(r, Qt::AlignCenter, QString::number(m_count));
}

IconButton::IconButton(const QString& icon, double size, const VantraPalette& palette, QWidget* parent)
    : QAbstractButton(parent), m_icon(icon), m_size(size), m_palette(palette)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
}

QSize IconButton::sizeHint() const
{
    return QSize(qCeil(m_size) + 4, qCeil(m_size) + 4);
}

void IconButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        p.setOpacity(0.6);
    const QRectF r((width() - m_size) / 2, (height() - m_size) / 2, m_size, m_size);
    Icons::paint(p, r, m_icon, m_palette.faint());
}

} // namespace corvane

#include "ui/kit/page_pieces.h"

namespace corvane {

LinkLine::LinkLine(const QString& text, const VantraPalette& palette, double points, QFont::Weight weight,
                   QWidget* parent)
    : PaletteLabel(text, palette, points, weight, Tone::ink, parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setMinimumWidth(1);
    setWordWrap(false);
    setToolTip(text);
    setCursor(Qt::IBeamCursor);
}

void LinkLine::enterEvent(QEnterEvent* event)
{
    if (!(textInteractionFlags() & Qt::TextSelectableByMouse))
        setTextInteractionFlags(Qt::TextSelectableByMouse);
    PaletteLabel::enterEvent(event);
}

} // namespace corvane
