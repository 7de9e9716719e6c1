#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace corvane {

// One screen as the placement rules see it: its whole area and the part
// that panels and docks leave free.
struct ScreenArea {
    QRect frame;
    QRect available;
    bool operator==(const ScreenArea&) const = default;
};

// Where the dropdown panel's top-left corner goes, in screen coordinates
// (y grows downwards).
//
// `icon` is the tray icon's geometry: nullopt when there is no tray icon at
// all (the panel is centred on the screen under the pointer), an empty
// rectangle when the desktop does not say where the icon is (the panel hangs
// from the edge of the screen nearest the pointer, which is on the icon at a
// click, inside the free area and clear of the icon). An icon in a bar along
// the top edge gets the panel 6 points below
// it, one in a bar along the bottom edge gets it 6 points above; either way
// the panel is centred on the icon and kept 8 points inside the free area
// left and right.
QPoint positionUnderIcon(QSize panel, const std::optional<QRect>& icon, const QList<ScreenArea>& screens,
                         QPoint pointer);

} // namespace corvane
