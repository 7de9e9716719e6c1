#include "palette.h"

namespace corvane {

QColor VantraPalette::ink() const
{
    return dark ? QColor(243, 243, 241) : QColor(29, 27, 22);
}

QColor VantraPalette::inkAt(double opacity) const
{
    if (dark)
        return QColor(24, 24, 24);
    QColor c = ink();
    c.setAlphaF(float(opacity));
    return c;
}

QColor VantraPalette::subtle() const
{
    return dark ? QColor(24, 24, 24) : inkAt(0.045);
}

QColor VantraPalette::card() const
{
    return dark ? QColor(11, 11, 11) : QColor(255, 255, 255);
}

QColor VantraPalette::muted() const
{
    return dark ? QColor(170, 170, 170) : QColor(111, 108, 100);
}

QColor VantraPalette::faint() const
{
    return dark ? QColor(135, 135, 135) : QColor(154, 151, 143);
}

QColor VantraPalette::hairline() const
{
    return dark ? QColor(255, 255, 255, qRound(0.10 * 255)) : QColor(40, 45, 55, qRound(0.08 * 255));
}

QColor VantraPalette::rowHover() const
{
    return inkAt(0.03);
}

QPalette VantraPalette::qtPalette() const
{
    QPalette p;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, card());
        p.setColor(group, QPalette::Base, card());
        p.setColor(group, QPalette::AlternateBase, subtle());
        p.setColor(group, QPalette::Button, card());
        p.setColor(group, QPalette::WindowText, ink());
        p.setColor(group, QPalette::Text, ink());
        p.setColor(group, QPalette::ButtonText, ink());
        p.setColor(group, QPalette::PlaceholderText, faint());
        p.setColor(group, QPalette::ToolTipBase, dark ? QColor(38, 38, 38) : QColor(255, 255, 255));
        p.setColor(group, QPalette::ToolTipText, ink());
        p.setColor(group, QPalette::Highlight, blue());
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Mid, hairline());
        p.setColor(group, QPalette::Light, card());
        p.setColor(group, QPalette::Dark, faint());
    }
    p.setColor(QPalette::Disabled, QPalette::Text, faint());
    p.setColor(QPalette::Disabled, QPalette::WindowText, faint());
    p.setColor(QPalette::Disabled, QPalette::ButtonText, faint());
    return p;
}

} // namespace corvane
