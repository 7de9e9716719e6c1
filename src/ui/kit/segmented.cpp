#include "segmented.h"

#include "fonts.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

namespace corvane {

namespace {
constexpr double outer = 3;
constexpr double gap = 2;
constexpr double segmentHeight = 26;
constexpr double segmentPadding = 12;
} // namespace

VantraSegmented::VantraSegmented(const VantraPalette& palette, Options options, QVariant selection,
                                 QWidget* parent)
    : QWidget(parent), m_palette(palette), m_options(std::move(options)), m_selection(std::move(selection)),
      m_animation(new QVariantAnimation(this))
{
    const QFontMetricsF metrics(UIFont::font(13, QFont::Medium));
    for (const auto& option : m_options)
        m_widths << std::ceil(metrics.horizontalAdvance(option.second) + 2 * segmentPadding);
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    m_animation->setDuration(150);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_pill = v.toRectF();
        update();
    });
    const int index = indexOf(m_selection);
    if (index >= 0)
        m_pill = segmentRect(index);
}

QSize VantraSegmented::sizeHint() const
{
    double w = 2 * outer;
    for (double width : m_widths)
        w += width;
    w += gap * std::max<qsizetype>(0, m_widths.size() - 1);
    return QSize(qCeil(w), qCeil(segmentHeight + 2 * outer));
}

QRectF VantraSegmented::segmentRect(int index) const
{
    double x = outer;
    for (int i = 0; i < index; ++i)
        x += m_widths[i] + gap;
    return QRectF(x, outer, m_widths.value(index), segmentHeight);
}

int VantraSegmented::indexOf(const QVariant& value) const
{
    for (int i = 0; i < m_options.size(); ++i)
        if (m_options[i].first == value)
            return i;
    return -1;
}

void VantraSegmented::setSelection(const QVariant& value)
{
    m_animation->stop();
    m_selection = value;
    const int index = indexOf(value);
    m_pill = index >= 0 ? segmentRect(index) : QRectF();
    update();
}

void VantraSegmented::choose(int index)
{
    if (index < 0 || index >= m_options.size() || m_options[index].first == m_selection)
        return;
    const QRectF from = m_pill.isNull() ? segmentRect(index) : m_pill;
    m_selection = m_options[index].first;
    m_animation->stop();
    m_animation->setStartValue(from);
    m_animation->setEndValue(segmentRect(index));
    m_animation->start();
    emit selectionChanged(m_selection);
}

void VantraSegmented::mouseReleaseEvent(QMouseEvent* event)
{
    for (int i = 0; i < m_options.size(); ++i)
        if (segmentRect(i).contains(event->position())) {
            choose(i);
            return;
        }
}

void VantraSegmented::keyPressEvent(QKeyEvent* event)
{
    const int index = indexOf(m_selection);
    if (event->key() == Qt::Key_Left)
        choose(index - 1);
    else if (event->key() == Qt::Key_Right)
        choose(index + 1);
    else
        QWidget::keyPressEvent(event);
}

void VantraSegmented::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_palette.hairline(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 11, 11);
    if (!m_pill.isNull()) {
        p.setPen(Qt::NoPen);
        p.setBrush(m_palette.ink());
        p.drawRoundedRect(m_pill, 8, 8);
    }
    p.setFont(UIFont::font(13, QFont::Medium));
    const QColor onInk = m_palette.dark ? QColor(11, 11, 11) : QColor(255, 255, 255);
    for (int i = 0; i < m_options.size(); ++i) {
        const QRectF r = segmentRect(i);
        // The label turns light once the sliding pill covers most of it.
        const bool covered =
            !m_pill.isNull() && std::abs(m_pill.center().x() - r.center().x()) < r.width() / 2;
        p.setPen(covered ? onInk : m_palette.ink());
        p.drawText(r, Qt::AlignCenter, m_options[i].second);
    }
}

} // namespace corvane
