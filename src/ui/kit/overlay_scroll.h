#pragma once

#include "palette.h"

#include <QWidget>

class QAbstractScrollArea;
class QScrollBar;
class QTimer;
class QVariantAnimation;

namespace corvane {

// A thin scroll bar drawn over the right edge of a scroll area's content:
// shown while the content scrolls or the pointer is on it, faded out when
// idle; a light knob on dark content.
class OverlayScrollBar : public QWidget {
    Q_OBJECT

public:
    OverlayScrollBar(QAbstractScrollArea* area, const VantraPalette& palette);

    // Shown at all (not fully faded out).
    bool isShowing() const { return m_opacity > 0; }
    // Makes it appear and restarts the idle timer.
    void flash();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QRectF knobRect() const;
    void place();
    void fadeTo(double opacity);

    QAbstractScrollArea* m_area;
    QScrollBar* m_bar;
    const VantraPalette& m_palette;
    QTimer* m_idle;
    QVariantAnimation* m_fade;
    double m_opacity = 0;
    bool m_hovered = false;
    std::optional<double> m_dragOffset;
};

// Hides the area's own scroll bars and lays the overlay bar over it.
OverlayScrollBar* overlayScrollers(QAbstractScrollArea* area, const VantraPalette& palette);

} // namespace corvane
