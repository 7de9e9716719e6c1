#pragma once

#include "palette.h"

#include <QAbstractButton>

class QPropertyAnimation;

namespace corvane {

// A switch: a 34 by 20 capsule with a 16-point knob that springs across.
// Checked means on; it reports "On" or "Off" to assistive technology.
class VantraToggle : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(double knob READ knob WRITE setKnob)

public:
    VantraToggle(const VantraPalette& palette, const QString& label, QWidget* parent = nullptr);

    bool isOn() const { return isChecked(); }
    // Sets the state without animating and without emitting toggled().
    void setOn(bool on);
    void setLabel(const QString& label) { setAccessibleName(label); }

    double knob() const { return m_knob; }
    void setKnob(double position);

    QSize sizeHint() const override { return QSize(34, 20); }

protected:
    void paintEvent(QPaintEvent*) override;
    void nextCheckState() override;

private:
    const VantraPalette& m_palette;
    double m_knob = 0; // 0 = leading end (off), 1 = trailing end (on)
    QPropertyAnimation* m_animation;
};

} // namespace corvane
