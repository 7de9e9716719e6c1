#pragma once

#include "palette.h"

#include <QList>
#include <QPair>
#include <QVariant>
#include <QWidget>

class QVariantAnimation;

namespace corvane {

// A row of choices, one of them selected (ink fill). The selection slides to
// a newly chosen segment.
class VantraSegmented : public QWidget {
    Q_OBJECT

public:
    using Options = QList<QPair<QVariant, QString>>;

    VantraSegmented(const VantraPalette& palette, Options options, QVariant selection = {},
                    QWidget* parent = nullptr);

    QVariant selection() const { return m_selection; }
    // Without animating and without emitting selectionChanged().
    void setSelection(const QVariant& value);
    const Options& options() const { return m_options; }
    // The segment's rectangle, for tests and hit testing.
    QRectF segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void selectionChanged(const QVariant& value);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    int indexOf(const QVariant& value) const;
    void choose(int index);

    const VantraPalette& m_palette;
    Options m_options;
    QVariant m_selection;
    QList<double> m_widths;
    QRectF m_pill; // where the selection is drawn now
    QVariantAnimation* m_animation;
};

} // namespace corvane
