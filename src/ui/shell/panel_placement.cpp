#include "panel_placement.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr int gapBelowIcon = 6;
constexpr int screenMargin = 8;
// How far into the free area an icon may reach and still count as sitting in
// the bar along that edge.
constexpr int barTolerance = 4;

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

    // The desktop did not say where the icon is, or it sits somewhere no
    // panel can hang from: the top-right corner of the free area.
    const QRect vf = screenAt(screens, pointer).available;
    const int anchorX = vf.x() + vf.width() - w / 2 - screenMargin;
    return {clampedX(anchorX, w, vf), vf.y() + gapBelowIcon};
}

} // namespace corvane
