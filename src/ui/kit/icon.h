#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QPainter;

namespace corvane {

// The named icons and the system symbols, drawn from the SVG files compiled in
// under :/icons/ in one colour, like a template image.
namespace Icons {

// The Lucide file that draws a system symbol ("magnifyingglass" -> "search"),
// or an empty string for a name that is not a known symbol.
QString symbolFile(const QString& symbol);
// The SVG text of a named icon after our two edits (black fill, thinner
// stroke); read and decoded once per process. Empty when there is none.
QByteArray svg(const QString& name);
// True when `name` has no icon of its own and is drawn as a system symbol.
bool isSymbol(const QString& name);
// Draws `name` into `rect` in `color`: the icon of that name, or the system
// symbol of that name at 0.8 times the size. Returns false if neither exists.
// A system symbol stands for a glyph of a weight: `lineWidth` (points, 0 for
// the artwork's own) keeps a small one from thinning to grey.
bool paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color,
           double lineWidth = 0);
// The same, as a pixmap for a device pixel ratio (menus, tool buttons).
QPixmap pixmap(const QString& name, double size, const QColor& color, double dpr = 1.0, double lineWidth = 0);

} // namespace Icons

// A square icon of `size` points in a colour; an optional rotation in degrees
// about its centre (the pin and the refresh button turn).
class Icon : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double rotation READ rotation WRITE setRotation)

public:
    Icon(QString name, double size, QColor color = Qt::black, QWidget* parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString& name);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    double rotation() const { return m_rotation; }
    void setRotation(double degrees);
    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);
    // For a system symbol: the weight of its lines, in points (0: the artwork's).
    void setLineWidth(double points);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_name;
    double m_size;
    QColor m_color;
    double m_rotation = 0;
    double m_opacity = 1;
    double m_lineWidth = 0;
};

} // namespace corvane
