#pragma once

#include "palette.h"

#include <QWidget>

class QPainter;

namespace corvane {

// A host's site icon, rounded, or a lettered placeholder while there is none.
// It asks the shared icon store for the icon when it is shown and repaints
// when the icon arrives.
class SiteIcon : public QWidget {
    Q_OBJECT

public:
    SiteIcon(QString host, const VantraPalette& palette, double size, QWidget* parent = nullptr);

    QString host() const { return m_host; }
    void setHost(const QString& host);
    void setOpacity(double opacity);
    QSize sizeHint() const override;

    // The placeholder's letter: the first character, upper-cased, of the first
    // label that is not "www"; "?" when there is none.
    static QString letter(const QString& host);
    // Draws what the widget shows, for lists that paint their rows themselves.
    static void paint(QPainter& painter, const QRectF& rect, const QString& host,
                      const VantraPalette& palette);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    QString m_host;
    const VantraPalette& m_palette;
    double m_size;
    double m_opacity = 1;
};

} // namespace corvane
