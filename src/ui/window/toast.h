#pragma once

#include "ui/kit/palette.h"

#include <QWidget>

class QParallelAnimationGroup;
class QPropertyAnimation;

namespace corvane {

class Model;

// The pill over the bottom of the card that shows the model's toast; it
// slides up and fades in, and a click clears it.
class Toast : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double progress READ progress WRITE setProgress)

public:
    Toast(Model& model, const VantraPalette& palette, QWidget* parent);

    QString message() const { return m_message; }
    // The message as the pill shows it: wrapped within its width, a few
    // lines at most.
    QStringList lines() const;
    // 0 = gone below the edge, 1 = fully shown.
    double progress() const { return m_progress; }
    void setProgress(double progress);
    // Lays itself over the bottom centre of its parent.
    void place();

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sync();
    QSizeF pillSize() const;

    Model& m_model;
    const VantraPalette& m_palette;
    QString m_message;
    double m_progress = 0;
    QPropertyAnimation* m_animation;
};

} // namespace corvane
