#include "panel_placement.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr int gapBelowIcon = 6;
constexpr int screenMargin = 8;
// How far into the free area an icon may reach and still count as sitting in
// the bar along that edge.
constexpr int barTolerance = 4;
// With the icon's place unknown, the pointer marks it: the panel keeps this
// far from the pointer (the gap and half of a large tray icon) when the
// pointer is this close to the edge the panel hangs from.
constexpr int iconClearance = gapBelowIcon + 12;
constexpr int barReach = 64;

// The screen under `point`, else the first one; a common laptop screen when
// there is none at all.
ScreenArea screenAt(const QList<ScreenArea>& screens, QPoint point)
{
    for (const ScreenArea& screen : screens)
        if (screen.frame.contains(point))
            return screen;
    if (!screens.isEmpty())
        return screens.first();
    return {QRect(0, 0, 1440, 900), QRect(0, 0, 1440, 900)};
}

const ScreenArea* screenHolding(const QList<ScreenArea>& screens, const QRect& icon)
{
    for (const ScreenArea& screen : screens)
        if (screen.frame.contains(icon.center()))
            return &screen;
    return nullptr;
}

// Keeps the panel 8 points inside the free area left and right; on a screen
// narrower than the panel the right bound wins.
int clampedX(int centreX, int width, const QRect& vf)
{
    const int right = vf.x() + vf.width() - width - screenMargin;
    return std::min(right, std::max(centreX - width / 2, vf.x() + screenMargin));
}

int clampedY(int centreY, int height, const QRect& vf)
{
    const int bottom = vf.y() + vf.height() - height - screenMargin;
    return std::min(bottom, std::max(centreY - height / 2, vf.y() + screenMargin));
}

// The click was on the icon, so the pointer is where the tray is: the panel
// hangs from the screen edge nearest to it, inside the free area, centred on
// the pointer along that edge and never over the icon.
QPoint hangFromNearestEdge(QSize panel, const ScreenArea& screen, QPoint pointer)
{
    const int w = panel.width();
    const int h = panel.height();
    const QRect& f = screen.frame;
    const QRect& vf = screen.available;
    const int toTop = pointer.y() - f.y();
    const int toBottom = f.y() + f.height() - pointer.y();
    const int toLeft = pointer.x() - f.x();
    const int toRight = f.x() + f.width() - pointer.x();
    const int nearest = std::min({toTop, toBottom, toLeft, toRight});
    if (nearest == toTop) {
        int y = vf.y() + gapBelowIcon;
        if (toTop < barReach)
            y = std::max(y, pointer.y() + iconClearance);
        return {clampedX(pointer.x(), w, vf), y};
    }
    if (nearest == toBottom) {
        int y = vf.y() + vf.height() - h - gapBelowIcon;
        if (toBottom < barReach)
            y = std::min(y, pointer.y() - iconClearance - h);
        return {clampedX(pointer.x(), w, vf), y};
    }
    if (nearest == toLeft) {
        int x = vf.x() + gapBelowIcon;
        if (toLeft < barReach)
            x = std::max(x, pointer.x() + iconClearance);
        return {x, clampedY(pointer.y(), h, vf)};
    }
    int x = vf.x() + vf.width() - w - gapBelowIcon;
    if (toRight < barReach)
        x = std::min(x, pointer.x() - iconClearance - w);
    return {x, clampedY(pointer.y(), h, vf)};
}

} // namespace

QPoint positionUnderIcon(QSize panel, const std::optional<QRect>& icon, const QList<ScreenArea>& screens,
                         QPoint pointer)
{
    const int w = panel.width();
    const int h = panel.height();

    if (!icon) {
        const QRect vf = screenAt(screens, pointer).available;
        return {vf.x() + (vf.width() - w) / 2, vf.y() + (vf.height() - h) / 2};
    }

    if (icon->width() > 0 && icon->height() > 0) {
        if (const ScreenArea* screen = screenHolding(screens, *icon)) {
            const QRect& vf = screen->available;
            const int iconBottom = icon->y() + icon->height();
            const int vfBottom = vf.y() + vf.height();
            const int centreX = icon->x() + icon->width() / 2;
            if (iconBottom <= vf.y() + barTolerance)
                return {clampedX(centreX, w, vf), iconBottom + gapBelowIcon};
            if (icon->y() >= vfBottom - barTolerance)
                return {clampedX(centreX, w, vf), icon->y() - h - gapBelowIcon};
        }
    }

    // The desktop did not say where the icon is (tray hosts that speak
    // StatusNotifierItem never do), or it sits somewhere no panel can hang from.
    return hangFromNearestEdge(panel, screenAt(screens, pointer), pointer);
}

} // namespace corvane
