#include "site_icon.h"

#include "app/favicons.h"
#include "fonts.h"

#include <QPainter>
#include <QPainterPath>

namespace corvane {

SiteIcon::SiteIcon(QString host, const VantraPalette& palette, double size, QWidget* parent)
    : QWidget(parent), m_host(std::move(host)), m_palette(palette), m_size(size)
{
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(&Favicons::shared(), &Favicons::imageChanged, this, [this](const QString& key) {
        if (key == m_host.toLower())
            update();
    });
}

void SiteIcon::setHost(const QString& host)
{
    if (host == m_host)
        return;
    m_host = host;
    if (isVisible())
        Favicons::shared().request(m_host);
    update();
}

void SiteIcon::setOpacity(double opacity)
{
    m_opacity = opacity;
    update();
}

QSize SiteIcon::sizeHint() const
{
    return QSize(qCeil(m_size), qCeil(m_size));
}

QString SiteIcon::letter(const QString& host)
{
    for (const QString& label : host.split('.', Qt::SkipEmptyParts))
        if (label != "www")
            return label.left(1).toUpper();
    return "?";
}

void SiteIcon::paint(QPainter& p, const QRectF& rect, const QString& host, const VantraPalette& palette)
{
    const double size = rect.width();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (const auto image = Favicons::shared().cached(host)) {
        QPainterPath clip;
        clip.addRoundedRect(rect, 0.22 * size, 0.22 * size);
        p.setClipPath(clip);
        // Scaled to fit, keeping its proportions.
        QSizeF fitted = QSizeF(image->size()).scaled(rect.size(), Qt::KeepAspectRatio);
        const QRectF target(rect.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
        p.drawImage(target, *image);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(palette.subtle());
        p.drawRoundedRect(rect, 0.25 * size, 0.25 * size);
        QFont font = UIFont::font(0.5 * size, QFont::DemiBold);
        p.setFont(font);
        p.setPen(palette.dark ? QColor(170, 170, 170) : QColor(111, 108, 100));
        p.drawText(rect, Qt::AlignCenter, letter(host));
    }
    p.restore();
}

void SiteIcon::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setOpacity(m_opacity);
    paint(p, QRectF(0, 0, m_size, m_size), m_host, m_palette);
}

void SiteIcon::showEvent(QShowEvent*)
{
    Favicons::shared().request(m_host);
}

} // namespace corvane
