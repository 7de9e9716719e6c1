#include "overlay_scroll.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QVariantAnimation>

namespace corvane {

namespace {
constexpr int trackWidth = 11;
constexpr double knobWidth = 6;
constexpr double inset = 2;
constexpr int idleMs = 900;
} // namespace

OverlayScrollBar::OverlayScrollBar(QAbstractScrollArea* area, const VantraPalette& palette)
    : QWidget(area), m_area(area), m_bar(area->verticalScrollBar()), m_palette(palette),
      m_idle(new QTimer(this)), m_fade(new QVariantAnimation(this))
{
    m_idle->setSingleShot(true);
    m_idle->setInterval(idleMs);
    connect(m_idle, &QTimer::timeout, this, [this] {
        if (!m_hovered && !m_dragOffset)
            fadeTo(0);
    });
    m_fade->setDuration(200);
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_opacity = v.toDouble();
        setAttribute(Qt::WA_TransparentForMouseEvents, m_opacity == 0);
        update();
    });
    connect(m_bar, &QScrollBar::valueChanged, this, [this] { flash(); });
    connect(m_bar, &QScrollBar::rangeChanged, this, [this] { update(); });
    setAttribute(Qt::WA_TransparentForMouseEvents);
    area->installEventFilter(this);
    place();
    raise();
}

void OverlayScrollBar::flash()
{
    if (m_bar->maximum() <= m_bar->minimum())
        return;
    raise();
    fadeTo(1);
    m_idle->start();
}

void OverlayScrollBar::fadeTo(double opacity)
{
    if (m_fade->endValue().toDouble() == opacity && m_fade->state() == QAbstractAnimation::Running)
        return;
    if (m_opacity == opacity)
        return;
    m_fade->stop();
    m_fade->setStartValue(m_opacity);
    m_fade->setEndValue(opacity);
    m_fade->start();
}

void OverlayScrollBar::place()
{
    const QRect content = m_area->viewport()->geometry();
    setGeometry(content.right() + 1 - trackWidth, content.top(), trackWidth, content.height());
}

bool OverlayScrollBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_area && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        place();
    return QWidget::eventFilter(watched, event);
}

QRectF OverlayScrollBar::knobRect() const
{
    const double range = m_bar->maximum() - m_bar->minimum();
    const double page = m_bar->pageStep();
    const double track = height() - 2 * inset;
    const double length = std::max(24.0, track * page / (range + page));
    const double y = inset + (range > 0 ? (track - length) * (m_bar->value() - m_bar->minimum()) / range : 0);
    const double w = m_hovered || m_dragOffset ? knobWidth + 2 : knobWidth;
    return QRectF(width() - inset - w, y, w, length);
}

void OverlayScrollBar::paintEvent(QPaintEvent*)
{
    if (m_opacity <= 0 || m_bar->maximum() <= m_bar->minimum())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_opacity);
    p.setPen(Qt::NoPen);
    p.setBrush(m_palette.dark ? QColor(255, 255, 255, 110) : QColor(0, 0, 0, 90));
    const QRectF knob = knobRect();
    p.drawRoundedRect(knob, knob.width() / 2, knob.width() / 2);
}

void OverlayScrollBar::mousePressEvent(QMouseEvent* event)
{
    const QRectF knob = knobRect();
    if (knob.contains(QPointF(knob.center().x(), event->position().y())))
        m_dragOffset = event->position().y() - knob.top();
    else
        m_bar->setValue(m_bar->value() + (event->position().y() < knob.top() ? -1 : 1) * m_bar->pageStep());
}

void OverlayScrollBar::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragOffset)
        return;
    const double range = m_bar->maximum() - m_bar->minimum();
    const double travel = height() - 2 * inset - knobRect().height();
    if (travel <= 0)
        return;
    const double top = event->position().y() - *m_dragOffset - inset;
    m_bar->setValue(m_bar->minimum() + qRound(std::clamp(top / travel, 0.0, 1.0) * range));
}

void OverlayScrollBar::mouseReleaseEvent(QMouseEvent*)
{
    m_dragOffset.reset();
    m_idle->start();
    update();
}

void OverlayScrollBar::enterEvent(QEnterEvent*)
{
    m_hovered = true;
    flash();
}

void OverlayScrollBar::leaveEvent(QEvent*)
{
    m_hovered = false;
    m_idle->start();
    update();
}

OverlayScrollBar* overlayScrollers(QAbstractScrollArea* area, const VantraPalette& palette)
{
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return new OverlayScrollBar(area, palette);
}

} // namespace corvane
