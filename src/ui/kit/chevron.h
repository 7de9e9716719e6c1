#pragma once

#include <QColor>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace corvane {

// A "V" pointing down: top-left corner, middle of the bottom edge, top-right.
class Chevron : public QWidget {
    Q_OBJECT

public:
    explicit Chevron(QColor color, QWidget* parent = nullptr);
    void setColor(const QColor& color);
    QSize sizeHint() const override { return QSize(8, 5); }

    static void paint(QPainter& painter, const QRectF& rect, const QColor& color, double lineWidth = 1.4);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_color;
};

} // namespace corvane
