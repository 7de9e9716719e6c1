#pragma once

#include <QColor>
#include <QPalette>

namespace corvane {

// The light and dark colour sets every view is drawn with. Static colours are
// the same in both modes; the others follow `dark`.
struct VantraPalette {
    bool dark = false;

    static QColor frame() { return QColor(21, 21, 21); }
    static QColor blue() { return QColor(59, 130, 246); }
    static QColor navText() { return QColor(236, 236, 236); }
    static QColor navIcon() { return QColor(230, 230, 230); }
    static QColor navMuted() { return QColor(185, 185, 185); }
    static QColor navFaint() { return QColor(128, 128, 128); }
    static QColor navHover() { return QColor(255, 255, 255, qRound(0.07 * 255)); }
    static QColor navPill() { return QColor(51, 51, 51); }
    static QColor orange() { return QColor(255, 149, 0); }
    static QColor red() { return QColor(255, 59, 48); }

    QColor ink() const;
    // `ink` at an opacity in light mode; solid (24, 24, 24) in dark mode.
    QColor inkAt(double opacity) const;
    QColor subtle() const;
    QColor card() const;
    QColor muted() const;
    QColor faint() const;
    QColor hairline() const;
    // The hovered rule row.
    QColor rowHover() const;

    // The same colours for Qt's own drawing (text fields, menus, tool tips):
    // setting it on the root view repaints every widget below it.
    QPalette qtPalette() const;

    bool operator==(const VantraPalette&) const = default;
};

} // namespace corvane
