#include "tray_artwork.h"

#include "ui/kit/icon.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace corvane::TrayArtwork {

namespace {

// Panels differ in colour from desktop to desktop; a faint halo of the
// opposite tone keeps the glyph readable on one that is not as dark or as
// light as the desktop's colour scheme suggests.
QPixmap tinted(const QImage& mask, bool darkPanel)
{
    QImage glyph = mask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&glyph);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(glyph.rect(), inkFor(darkPanel));
    }
    QImage halo = mask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&halo);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QColor opposite = inkFor(!darkPanel);
        opposite.setAlphaF(0.35);
        p.fillRect(halo.rect(), opposite);
    }
    QImage out(mask.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    const int step = std::max(1, mask.width() / 18);
    for (const QPoint offset : {QPoint(-step, 0), QPoint(step, 0), QPoint(0, -step), QPoint(0, step)})
        p.drawImage(offset, halo);
    p.drawImage(0, 0, glyph);
    p.end();
    return QPixmap::fromImage(out);
}

} // namespace

QColor inkFor(bool darkPanel)
{
    return darkPanel ? QColor(236, 236, 236) : QColor(30, 30, 30);
}

std::optional<QIcon> brand(bool darkPanel, const QString& folder)
{
    const QDir dir(folder);
    const QImage small(dir.filePath(QStringLiteral("MenuBarIcon.png")));
    const QImage large(dir.filePath(QStringLiteral("MenuBarIcon@2x.png")));
    if (small.isNull() || large.isNull())
        return std::nullopt;
    QIcon icon;
    icon.addPixmap(tinted(small, darkPanel));
    icon.addPixmap(tinted(large, darkPanel));
    return icon;
}

QIcon icon(bool darkPanel, const QString& folder)
{
    if (std::optional<QIcon> artwork = brand(darkPanel, folder))
        return *artwork;
    QIcon symbol;
    symbol.addPixmap(Icons::pixmap(QStringLiteral("arrow.triangle.branch"), 18, inkFor(darkPanel)));
    symbol.addPixmap(Icons::pixmap(QStringLiteral("arrow.triangle.branch"), 36, inkFor(darkPanel)));
    return symbol;
}

} // namespace corvane::TrayArtwork
