#include "chevron.h"

#include <QPainter>
#include <QPainterPath>

namespace corvane {

Chevron::Chevron(QColor color, QWidget* parent) : QWidget(parent), m_color(color)
{
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Chevron::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void Chevron::paint(QPainter& painter, const QRectF& rect, const QColor& color, double lineWidth)
{
    QPainterPath path(rect.topLeft());
    path.lineTo(rect.center().x(), rect.bottom());
    path.lineTo(rect.topRight());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void Chevron::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF(0, 0, 8, 4.5), m_color);
}

} // namespace corvane
