#include "icon.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <memory>

namespace corvane {

namespace Icons {

namespace {

// The system symbols the interface names, and the Lucide drawing that shows
// the same thing.
const QHash<QString, QString>& symbolTable()
{
    static const QHash<QString, QString> table{
        {"arrow.triangle.branch", "git-branch"},
        {"arrow.up", "arrow-up"},
        {"arrow.down", "arrow-down"},
        {"checkmark", "check"},
        {"checkmark.circle", "circle-check"},
        {"checkmark.square.fill", "square-check"},
        {"square", "square"},
        {"ellipsis", "ellipsis"},
        {"exclamationmark.circle", "circle-alert"},
        {"exclamationmark.triangle", "triangle-alert"},
        {"exclamationmark.triangle.fill", "triangle-alert"},
        {"lock", "lock"},
        {"magnifyingglass", "search"},
        {"person.crop.circle.badge.questionmark", "circle-question-mark"},
        {"xmark", "x"},
    };
    return table;
}

struct Entry {
    QByteArray bytes;
    std::shared_ptr<QSvgRenderer> renderer;
};

// Every icon is read and decoded once per process (once per line width it is
// asked for); a miss is remembered too. `stroke` is in the artwork's units.
Entry& entry(const QString& name, const QString& stroke = QStringLiteral("1.75"))
{
    static QHash<QString, Entry> cache;
    const QString key = stroke == QLatin1String("1.75") ? name : name + '@' + stroke;
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    Entry e;
    QFile file(":/icons/" + name + ".svg");
    if (!name.isEmpty() && !name.contains('/') && file.open(QIODevice::ReadOnly)) {
        QString text = QString::fromUtf8(file.readAll());
        text.replace("currentColor", "#000");
        text.replace("stroke-width=\"2\"", "stroke-width=\"" + stroke + "\"");
        e.bytes = text.toUtf8();
        auto renderer = std::make_shared<QSvgRenderer>(e.bytes);
        if (renderer->isValid())
            e.renderer = renderer;
        else
            e.bytes.clear();
    }
    return *cache.insert(key, e);
}

// Draws the black artwork, then keeps only its coverage, in `color`. Lists
// draw the same few icons hundreds of times, so the tinted bitmaps are kept.
void paintTinted(QPainter& painter, const QRectF& rect, const QString& name, QSvgRenderer& renderer,
                 const QColor& color)
{
    static QHash<QString, QImage> tinted;
    const double dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (rect.size() * dpr).toSize().expandedTo(QSize(1, 1));
    const QString key = QString("%1|%2x%3|%4|%5")
                            .arg(name)
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(color.rgba(), 0, 16)
                            .arg(dpr);
    QImage image = tinted.value(key);
    if (image.isNull()) {
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(image.rect(), color);
        }
        image.setDevicePixelRatio(dpr);
        if (tinted.size() > 2000)
            tinted.clear();
        tinted.insert(key, image);
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect, image);
    painter.restore();
}

} // namespace

QString symbolFile(const QString& symbol)
{
    return symbolTable().value(symbol);
}

QByteArray svg(const QString& name)
{
    return entry(name).bytes;
}

bool isSymbol(const QString& name)
{
    return !entry(name).renderer && !symbolFile(name).isEmpty();
}

bool paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color, double lineWidth)
{
    if (!isSymbol(name)) {
        Entry& e = entry(name);
        if (!e.renderer)
            return false;
        paintTinted(painter, rect, name, *e.renderer, color);
        return true;
    }
    // A system symbol is set at 0.8 times the icon's size, centred in it.
    const QSizeF size = rect.size() * 0.8;
    const QRectF inner(rect.center() - QPointF(size.width() / 2, size.height() / 2), size);
    const QString file = symbolFile(name);
    // The artwork is drawn on a 24-unit grid.
    const QString stroke =
        lineWidth > 0 ? QString::number(lineWidth * 24 / size.width(), 'f', 2) : QStringLiteral("1.75");
    Entry& e = entry(file, stroke);
    if (!e.renderer)
        return false;
    paintTinted(painter, inner, file + '@' + stroke, *e.renderer, color);
    return true;
}

QPixmap pixmap(const QString& name, double size, const QColor& color, double dpr, double lineWidth)
{
    QPixmap pm(QSize(qCeil(size * dpr), qCeil(size * dpr)));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paint(p, QRectF(0, 0, size, size), name, color, lineWidth);
    return pm;
}

} // namespace Icons

Icon::Icon(QString name, double size, QColor color, QWidget* parent)
    : QWidget(parent), m_name(std::move(name)), m_size(size), m_color(color)
{
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Icon::setName(const QString& name)
{
    if (name != m_name) {
        m_name = name;
        update();
    }
}

void Icon::setColor(const QColor& color)
{
    if (color != m_color) {
        m_color = color;
        update();
    }
}

void Icon::setRotation(double degrees)
{
    m_rotation = degrees;
    update();
}

void Icon::setLineWidth(double points)
{
    m_lineWidth = points;
    update();
}

void Icon::setOpacity(double opacity)
{
    m_opacity = opacity;
    update();
}

QSize Icon::sizeHint() const
{
    return QSize(qCeil(m_size), qCeil(m_size));
}

void Icon::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setOpacity(m_opacity);
    const QRectF r(0, 0, m_size, m_size);
    if (m_rotation != 0) {
        p.translate(r.center());
        p.rotate(m_rotation);
        p.translate(-r.center());
    }
    Icons::paint(p, r, m_name, m_color, m_lineWidth);
}

} // namespace corvane
