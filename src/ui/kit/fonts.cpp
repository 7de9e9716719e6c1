#include "fonts.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace corvane::UIFont {

bool hasInter()
{
    static const bool has = [] {
        QFont probe("Inter", 12);
        probe.setStyleStrategy(QFont::NoFontMerging);
        return QFontInfo(probe).family().compare("Inter", Qt::CaseInsensitive) == 0;
    }();
    return has;
}

QFont font(double points, QFont::Weight weight)
{
    QFont f = hasInter() ? QFont("Inter") : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // One point is one device-independent pixel.
    f.setPixelSize(qRound(points));
    f.setWeight(weight);
    return f;
}

QFont digits(double points, QFont::Weight weight)
{
    // Inter's figures are proportional unless a font feature asks otherwise,
    // which this Qt cannot; the digits are drawn right-aligned in a fixed
    // column instead, so they still line up.
    return font(points, weight);
}

} // namespace corvane::UIFont
