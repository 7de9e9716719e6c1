#pragma once

#include "palette.h"

#include <QAbstractButton>

namespace corvane {

// How a push button of the interface looks: primary (ink fill) or secondary
// (card fill with a hairline); a disabled button looks secondary with a faint
// label; the whole button at 75 % while pressed.
struct VantraButtonStyle {
    const VantraPalette* palette = nullptr;
    bool primary = false;
    double height = 28;

    QColor fill(bool enabled) const;
    QColor label(bool enabled) const;
    bool bordered(bool enabled) const { return !(primary && enabled); }
    void paint(QPainter& painter, const QRectF& rect, const QString& text, const QString& icon,
               double iconSize, bool enabled, bool pressed) const;
    double width(const QString& text, const QString& icon, double iconSize) const;
};

class VantraButton : public QAbstractButton {
    Q_OBJECT

public:
    VantraButton(const QString& text, const VantraPalette& palette, bool primary, double height,
                 QWidget* parent = nullptr);

    // An icon before the text, 6 points from it.
    void setIconName(const QString& name, double size = 14);
    void setPrimary(bool primary);
    const VantraButtonStyle& style() const { return m_style; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    VantraButtonStyle m_style;
    QString m_iconName;
    double m_iconSize = 14;
};

} // namespace corvane
