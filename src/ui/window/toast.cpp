#include "toast.h"

#include "app/model.h"
#include "ui/kit/fonts.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTextLayout>

namespace corvane {

namespace {
constexpr double maxWidth = 520;
constexpr double padX = 16;
constexpr double padY = 8;
// A routing error with its advice takes two or three lines; anything longer
// is cut at the end of the last one.
constexpr int maxLines = 3;
constexpr double bottomGap = 18;
constexpr double shadowRoom = 10;
constexpr double slide = 24;

QFont messageFont()
{
    return UIFont::font(12, QFont::Medium);
}

// The message broken into lines within `width`, at most maxLines of them.
QStringList wrapped(const QString& message, double width)
{
    QTextLayout layout(message, messageFont());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            const QString rest = message.mid(line.textStart()).simplified();
            lines << QFontMetricsF(messageFont()).elidedText(rest, Qt::ElideRight, width);
            break;
        }
        lines << message.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}
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

QStringList Toast::lines() const
{
    return wrapped(m_message, maxWidth - 2 * padX);
}

QSizeF Toast::pillSize() const
{
    const QFontMetricsF metrics(messageFont());
    double text = 0;
    const QStringList shown = lines();
    for (const QString& line : shown)
        text = std::max(text, metrics.horizontalAdvance(line));
    text = std::min(text, maxWidth - 2 * padX);
    const double height = metrics.lineSpacing() * double(std::max<qsizetype>(1, shown.size())) -
                          (metrics.lineSpacing() - metrics.height());
    return QSizeF(std::ceil(text + 2 * padX), std::ceil(height + 2 * padY));
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
    // A capsule on one line; on several, the ends stay as round as one line's.
    const double radius = std::min(r.height() / 2, (QFontMetricsF(messageFont()).height() + 2 * padY) / 2);
    // Shadow: black at 18 %, radius 12, 4 points down.
    for (int i = 6; i >= 1; --i) {
        QColor shadow(0, 0, 0, qRound(0.18 * 255 / 6));
        p.setPen(Qt::NoPen);
        p.setBrush(shadow);
        const double grow = i * 1.2;
        p.drawRoundedRect(r.translated(0, 4).adjusted(-grow, -grow, grow, grow), radius + grow,
                          radius + grow);
    }
    p.setBrush(m_palette.dark ? QColor(38, 38, 38) : VantraPalette::frame());
    p.setPen(QPen(QColor(255, 255, 255, qRound(0.08 * 255)), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    const QFont font = messageFont();
    const QFontMetricsF metrics(font);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, qRound(0.94 * 255)));
    double top = r.top() + padY;
    for (const QString& line : lines()) {
        p.drawText(QRectF(r.left() + padX, top, r.width() - 2 * padX, metrics.height()), Qt::AlignCenter,
                   line);
        top += metrics.lineSpacing();
    }
}

void Toast::mouseReleaseEvent(QMouseEvent*)
{
    m_model.flash(QString());
}

} // namespace corvane
