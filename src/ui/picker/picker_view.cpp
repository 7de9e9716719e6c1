#include "picker_view.h"

#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/site_icon.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace corvane {

namespace {

constexpr double rowHeight = 30;
constexpr double sidePadding = 10;
constexpr double keycapMinimum = 18;

QSizeF keycapSize(const QString& text)
{
    const QFontMetricsF metrics(UIFont::font(10.5, QFont::Medium));
    return QSizeF(std::max(keycapMinimum, metrics.horizontalAdvance(text) + 10), keycapMinimum);
}

// A small key label with its border drawn inside the rectangle.
void paintKeycap(QPainter& p, const QRectF& rect, const QString& text, const VantraPalette& palette)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(PickerView::dividerColor(palette), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 3.5, 3.5);
    p.setFont(UIFont::font(10.5, QFont::Medium));
    p.setPen(PickerView::iconGrey(palette));
    p.drawText(rect, Qt::AlignCenter, text);
    p.restore();
}

// One line of text, shortened where the Part of it that matters least goes.
class Line : public QWidget {
public:
    Line(QString text, QFont font, QColor color, Qt::TextElideMode elide, QWidget* parent)
        : QWidget(parent), m_text(std::move(text)), m_color(color), m_elide(elide)
    {
        setFont(font);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return QSize(metrics.horizontalAdvance(m_text), metrics.height());
    }
    QSize minimumSizeHint() const override { return QSize(0, QFontMetrics(font()).height()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(m_color);
        const QFontMetricsF metrics(font());
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(m_text, m_elide, width()));
    }

private:
    QString m_text;
    QColor m_color;
    Qt::TextElideMode m_elide;
};

class Divider : public QWidget {
public:
    Divider(QColor color, QWidget* parent) : QWidget(parent), m_color(color) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_color); }

private:
    QColor m_color;
};

class Footer : public QWidget {
public:
    Footer(const VantraPalette& palette, QWidget* parent) : QWidget(parent), m_palette(palette)
    {
        setFixedHeight(6 + int(keycapMinimum) + 4);
        setAccessibleName("Decide later");
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QSizeF cap = keycapSize("esc");
        const QRectF capRect(sidePadding, 6, cap.width(), cap.height());
        paintKeycap(p, capRect, "esc", m_palette);
        p.setFont(UIFont::font(11));
        p.setPen(PickerView::mutedGrey(m_palette));
        const QRectF textRect(capRect.right() + 6, capRect.top(), width() - sidePadding - capRect.right() - 6,
                              cap.height());
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, "Decide later");
    }

private:
    const VantraPalette& m_palette;
};

} // namespace

// A profile row, or the row that leads to the window while no profile is known.
class PickerRow : public QAbstractButton {
public:
    PickerRow(QString icon, QString title, QString key, int index, PickerView* view)
        : QAbstractButton(view), m_icon(std::move(icon)), m_key(std::move(key)), m_index(index), m_view(view)
    {
        setText(std::move(title));
        setAccessibleName(text());
        setProperty("key", m_key);
        setFixedHeight(int(rowHeight));
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
    }

    bool active() const { return m_index >= 0 && m_view->state() && m_view->state()->selected() == m_index; }
    QString key() const { return m_key; }

protected:
    void enterEvent(QEnterEvent*) override
    {
        if (m_index >= 0 && m_view->state())
            m_view->state()->setSelected(m_index);
    }

    void paintEvent(QPaintEvent*) override
    {
        const VantraPalette& palette = m_view->palette();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = QRectF(rect());
        if (active()) {
            p.setPen(Qt::NoPen);
            p.setBrush(palette.subtle());
            p.drawRoundedRect(bounds, 7, 7);
        }
        const double middle = bounds.center().y();
        // The 15-point icon sits in a 16-point column.
        Icons::paint(p, QRectF(sidePadding + 0.5, middle - 7.5, 15, 15), m_icon,
                     PickerView::iconGrey(palette));

        double right = bounds.width() - sidePadding;
        if (!m_key.isEmpty()) {
            const QSizeF cap = keycapSize(m_key);
            const QRectF capRect(right - cap.width(), middle - cap.height() / 2, cap.width(), cap.height());
            paintKeycap(p, capRect, m_key, palette);
            right = capRect.left();
        }
        right -= 8;
        const double left = sidePadding + 16 + 9;
        const QFont font = UIFont::font(13, active() ? QFont::Medium : QFont::Normal);
        p.setFont(font);
        p.setPen(palette.ink());
        const QFontMetricsF metrics(font);
        const QRectF titleRect(left, bounds.top(), std::max(0.0, right - left), bounds.height());
        p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(text(), Qt::ElideRight, titleRect.width()));
    }

private:
    QString m_icon;
    QString m_key;
    int m_index;
    PickerView* m_view;
};

class PickerCheckbox : public QAbstractButton {
public:
    explicit PickerCheckbox(PickerView* view) : QAbstractButton(view), m_view(view)
    {
        setText("Always use for this site");
        setAccessibleName(text());
        setCheckable(true);
        setFixedHeight(int(rowHeight));
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        if (PickerState* state = view->state()) {
            setChecked(state->always());
            connect(this, &QAbstractButton::toggled, state, &PickerState::setAlways);
            connect(state, &PickerState::changed, this, [this, state] {
                const QSignalBlocker block(this);
                setChecked(state->always());
            });
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const VantraPalette& palette = m_view->palette();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double middle = height() / 2.0;
        const QRectF box(sidePadding, middle - 8, 16, 16);
        if (isChecked())
            paintTicked(p, box, palette);
        else
            Icons::paint(p, box, "square", PickerView::mutedGrey(palette));
        p.setFont(UIFont::font(13));
        p.setPen(palette.ink());
        const double left = box.right() + 9;
        p.drawText(QRectF(left, 0, width() - left - sidePadding, height()), Qt::AlignLeft | Qt::AlignVCenter,
                   text());
    }

private:
    // A filled box with the tick cut out of it in the card's colour, the same
    // size as the empty box it replaces.
    static void paintTicked(QPainter& p, const QRectF& frame, const VantraPalette& palette)
    {
        const double symbol = 0.8 * frame.width();
        const double side = 0.8 * symbol;
        const QRectF square(frame.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
        p.setPen(Qt::NoPen);
        p.setBrush(palette.ink());
        p.drawRoundedRect(square.adjusted(-0.75, -0.75, 0.75, 0.75), 2.5, 2.5);
        Icons::paint(p, square.adjusted(-1, -1, 1, 1), "check", PickerView::cardColor(palette));
    }

    PickerView* m_view;
};

PickerView::PickerView(QString host, QStringList profiles, QString browserName, PickerState* state,
                       const VantraPalette& palette, Callbacks callbacks, QWidget* parent)
    : QWidget(parent), m_host(std::move(host)), m_profiles(std::move(profiles)), m_state(state),
      m_palette(palette), m_callbacks(std::move(callbacks))
{
    setFixedWidth(width);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(m_host.isEmpty() ? QString("Open this link in") : m_host);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setFixedHeight(34);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(int(sidePadding), 0, int(sidePadding), 0);
    headerRow->setSpacing(8);
    headerRow->addWidget(new SiteIcon(m_host, m_palette, 16, header), 0, Qt::AlignVCenter);
    headerRow->addWidget(new Line(m_host.isEmpty() ? QString("Open this link in") : m_host,
                                  UIFont::font(13, QFont::DemiBold), m_palette.ink(), Qt::ElideMiddle,
                                  header),
                         1, Qt::AlignVCenter);
    column->addWidget(header);
    column->addWidget(new Divider(dividerColor(m_palette), this));
    column->addSpacing(4);

    if (m_profiles.isEmpty()) {
        auto* row = new PickerRow("link", "Connect to " + browserName + " first", QString(), -1, this);
        connect(row, &QAbstractButton::clicked, this, [this] {
            if (m_callbacks.openApp)
                m_callbacks.openApp();
        });
        m_rows << row;
        column->addWidget(row);
    } else {
        for (int i = 0; i < m_profiles.size(); ++i) {
            auto* row = new PickerRow("circle-user-round", m_profiles[i], keyFor(i), i, this);
            connect(row, &QAbstractButton::clicked, this, [this, i] {
                if (m_callbacks.choose)
                    m_callbacks.choose(i);
            });
            m_rows << row;
            column->addWidget(row);
        }
    }

    if (!m_profiles.isEmpty() && !m_host.isEmpty()) {
        column->addSpacing(4);
        column->addWidget(new Divider(dividerColor(m_palette), this));
        column->addSpacing(4);
        m_checkbox = new PickerCheckbox(this);
        column->addWidget(m_checkbox);
    }
    column->addWidget(new Footer(m_palette, this));

    if (m_state) {
        connect(m_state, &PickerState::changed, this, [this] {
            for (QWidget* row : std::as_const(m_rows))
                row->update();
            if (m_checkbox)
                m_checkbox->update();
        });
    }
}

QList<QWidget*> PickerView::rows() const
{
    return m_rows;
}

QWidget* PickerView::checkbox() const
{
    return m_checkbox;
}

QString PickerView::keyFor(int row)
{
    return row >= 0 && row < 9 ? QString::number(row + 1) : QString();
}

QColor PickerView::cardColor(const VantraPalette& palette)
{
    return palette.card();
}

QColor PickerView::dividerColor(const VantraPalette& palette)
{
    return palette.hairline();
}

QColor PickerView::iconGrey(const VantraPalette& palette)
{
    return palette.muted();
}

QColor PickerView::mutedGrey(const VantraPalette& palette)
{
    return palette.faint();
}

void PickerView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    QPainterPath card;
    card.addRoundedRect(bounds, 12, 12);
    p.fillPath(card, cardColor(m_palette));
    p.setPen(QPen(dividerColor(m_palette), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
}

} // namespace corvane
