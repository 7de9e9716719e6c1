#include "toast.h"

#include "app/model.h"
#include "ui/kit/fonts.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPropertyAnimation>

namespace corvane {

namespace {
constexpr double maxWidth = 520;
constexpr double bottomGap = 18;
constexpr double shadowRoom = 10;
constexpr double slide = 24;
} // namespace

Toast::Toast(Model& model, const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_model(model), m_palette(palette),
      m_animation(new QPropertyAnimation(this, "progress", this))
{
    setCursor(Qt::PointingHandCursor);
    // A spring of response 0.35 s that barely overshoots.
    m_animation->setDuration(350);
    QEasingCurve spring(QEasingCurve::OutBack);
    spring.setOvershoot(0.6);
    m_animation->setEasingCurve(spring);
    connect(m_animation, &QPropertyAnimation::finished, this, [this] {
        if (m_progress <= 0)
            hide();
    });
    parent->installEventFilter(this);
    connect(&m_model, &Model::toastChanged, this, &Toast::sync);
    hide();
    sync();
}

void Toast::sync()
{
    const QString next = m_model.toast().value_or(QString());
    m_animation->stop();
    if (next.isEmpty()) {
        m_animation->setEasingCurve(QEasingCurve::InOutQuad);
        m_animation->setStartValue(m_progress);
        m_animation->setEndValue(0.0);
        m_animation->start();
        return;
    }
    m_message = next;
    place();
    show();
    raise();
    QEasingCurve spring(QEasingCurve::OutBack);
    spring.setOvershoot(0.6);
    m_animation->setEasingCurve(spring);
    m_animation->setStartValue(m_progress > 0 ? m_progress * 0.6 : 0.0);
    m_animation->setEndValue(1.0);
    m_animation->start();
}

void Toast::setProgress(double progress)
{
    m_progress = progress;
    update();
}

QSizeF Toast::pillSize() const
{
    const QFontMetricsF metrics(UIFont::font(12, QFont::Medium));
    const double text = std::min(metrics.horizontalAdvance(m_message), maxWidth - 32);
    return QSizeF(std::ceil(text + 32), std::ceil(metrics.height() + 16));
}

void Toast::place()
{
    const QSizeF pill = pillSize();
    const QSize size(qCeil(pill.width() + 2 * shadowRoom), qCeil(pill.height() + 2 * shadowRoom + slide));
    const QWidget* card = parentWidget();
    // At rest the pill's bottom edge is 18 points above the card's.
    const int top = card->height() - qRound(bottomGap) - qCeil(pill.height()) - qRound(shadowRoom);
    setGeometry((card->width() - size.width()) / 2, top, size.width(), size.height());
}

bool Toast::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        place();
    return QWidget::eventFilter(watched, event);
}

void Toast::paintEvent(QPaintEvent*)
{
    if (m_progress <= 0)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(std::clamp(m_progress, 0.0, 1.0));
    const QSizeF pill = pillSize();
    // At rest the pill sits at the top of this widget's slide room.
    const double y = shadowRoom + (1 - m_progress) * slide;
    const QRectF r(shadowRoom, y, pill.width(), pill.height());
    // Shadow: black at 18 %, radius 12, 4 points down.
    for (int i = 6; i >= 1; --i) {
        QColor shadow(0, 0, 0, qRound(0.18 * 255 / 6));
        p.setPen(Qt::NoPen);
        p.setBrush(shadow);
        const double grow = i * 1.2;
        p.drawRoundedRect(r.translated(0, 4).adjusted(-grow, -grow, grow, grow), r.height() / 2 + grow,
                          r.height() / 2 + grow);
    }
    p.setBrush(m_palette.dark ? QColor(38, 38, 38) : VantraPalette::frame());
    p.setPen(QPen(QColor(255, 255, 255, qRound(0.08 * 255)), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), r.height() / 2, r.height() / 2);
    const QFont font = UIFont::font(12, QFont::Medium);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, qRound(0.94 * 255)));
    const QRectF text = r.adjusted(16, 0, -16, 0);
    p.drawText(text, Qt::AlignCenter,
               QFontMetricsF(font).elidedText(m_message, Qt::ElideRight, text.width()));
}

void Toast::mouseReleaseEvent(QMouseEvent*)
{
    m_model.flash(QString());
}

} // namespace corvane
