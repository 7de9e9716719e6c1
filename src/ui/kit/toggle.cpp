#include "toggle.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QPropertyAnimation>

namespace corvane {

namespace {

// Assistive technology hears the switch's label and "On" or "Off".
class ToggleAccessible : public QAccessibleWidget {
public:
    explicit ToggleAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::CheckBox) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return toggle()->isOn() ? "On" : "Off";
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = toggle()->isOn();
        return s;
    }

private:
    VantraToggle* toggle() const { return static_cast<VantraToggle*>(widget()); }
};

QAccessibleInterface* toggleFactory(const QString& className, QObject* object)
{
    if (className == "corvane::VantraToggle" && object && object->isWidgetType())
        return new ToggleAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

VantraToggle::VantraToggle(const VantraPalette& palette, const QString& label, QWidget* parent)
    : QAbstractButton(parent), m_palette(palette), m_animation(new QPropertyAnimation(this, "knob", this))
{
    static const bool installed = (QAccessible::installFactory(toggleFactory), true);
    Q_UNUSED(installed);
    setCheckable(true);
    setAccessibleName(label);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
    // A short spring: a little overshoot, settled in a quarter second.
    m_animation->setDuration(250);
    QEasingCurve spring(QEasingCurve::OutBack);
    spring.setOvershoot(0.9);
    m_animation->setEasingCurve(spring);
}

void VantraToggle::setOn(bool on)
{
    m_animation->stop();
    const QSignalBlocker block(this);
    setChecked(on);
    m_knob = on ? 1 : 0;
    update();
}

void VantraToggle::setKnob(double position)
{
    m_knob = position;
    update();
}

void VantraToggle::nextCheckState()
{
    QAbstractButton::nextCheckState();
    m_animation->stop();
    m_animation->setStartValue(m_knob);
    m_animation->setEndValue(isChecked() ? 1.0 : 0.0);
    m_animation->start();
    QAccessibleValueChangeEvent event(this, isChecked() ? "On" : "Off");
    QAccessible::updateAccessibility(&event);
}

void VantraToggle::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool on = isChecked();
    const QRectF track(0, 0, 34, 20);
    if (on) {
        p.setPen(Qt::NoPen);
        p.setBrush(m_palette.ink());
        p.drawRoundedRect(track, 10, 10);
    } else {
        p.setPen(QPen(m_palette.hairline(), 1));
        p.setBrush(m_palette.dark ? QColor(42, 42, 42) : QColor(235, 234, 230));
        p.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), 9.5, 9.5);
    }
    const double x = 2 + m_knob * (34 - 4 - 16);
    const QRectF knob(x, 2, 16, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, qRound(0.22 * 255 * 0.6)));
    p.drawEllipse(knob.translated(0, 1).adjusted(-0.5, -0.5, 0.5, 0.5));
    p.setBrush(on && m_palette.dark ? QColor(11, 11, 11) : QColor(255, 255, 255));
    p.drawEllipse(knob);
}

} // namespace corvane
