#include "page_pieces.h"

#include "fonts.h"
#include "icon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace corvane {

namespace {

class Hairline : public QWidget {
public:
    explicit Hairline(const VantraPalette& palette) : m_palette(palette)
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), m_palette.hairline());
    }

private:
    const VantraPalette& m_palette;
};

} // namespace

PaletteLabel::PaletteLabel(const QString& text, const VantraPalette& palette, double points,
                           QFont::Weight weight, Tone tone, QWidget* parent)
    : QLabel(text, parent), m_palette(palette), m_tone(tone)
{
    setFont(UIFont::font(points, weight));
    setTextFormat(Qt::PlainText);
    applyColor();
}

void PaletteLabel::setTone(Tone tone)
{
    m_tone = tone;
    applyColor();
}

void PaletteLabel::setCustomColor(const QColor& color)
{
    m_tone = Tone::custom;
    m_custom = color;
    applyColor();
}

void PaletteLabel::changeEvent(QEvent* event)
{
    // The window sends this to every widget when the colour scheme switches.
    if (event->type() == QEvent::PaletteChange && !m_applying) {
        m_applying = true;
        applyColor();
        m_applying = false;
    }
    QLabel::changeEvent(event);
}

void PaletteLabel::applyColor()
{
    QColor color;
    switch (m_tone) {
    case Tone::ink:
        color = m_palette.ink();
        break;
    case Tone::muted:
        color = m_palette.muted();
        break;
    case Tone::faint:
        color = m_palette.faint();
        break;
    case Tone::navText:
        color = VantraPalette::navText();
        break;
    case Tone::navFaint:
        color = VantraPalette::navFaint();
        break;
    case Tone::custom:
        color = m_custom;
        break;
    }
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    setPalette(palette);
}

PageHeader::PageHeader(const QString& title, const QString& detail, QWidget* trailing,
                       const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_title(new PaletteLabel(title, palette, 22, QFont::DemiBold)),
      m_detail(new PaletteLabel(detail, palette, 13, QFont::Normal, PaletteLabel::Tone::muted))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(28, 26, 28, 20);
    row->setSpacing(16);
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    m_detail->setWordWrap(true);
    // The detail keeps 4 points below the title whatever its length. A
    // wrapping label may be given the height of more lines than it shows (its
    // height is reckoned at another width than it gets) and would centre its
    // text in it; set at the top, the room is left below.
    m_title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_detail->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_detail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    column->addWidget(m_title);
    column->addWidget(m_detail);
    column->addStretch(1);
    row->addLayout(column, 1);
    if (trailing)
        row->addWidget(trailing, 0, Qt::AlignVCenter);
}

void PageHeader::setTitle(const QString& title)
{
    m_title->setText(title);
}

void PageHeader::setDetail(const QString& detail)
{
    m_detail->setText(detail);
}

QString PageHeader::title() const
{
    return m_title->text();
}

QString PageHeader::detail() const
{
    return m_detail->text();
}

EmptyState::EmptyState(const QString& icon, const QString& title, const QString& detail,
                       const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_palette(palette), m_icon(new Icon(icon, 22, palette.faint())),
      m_title(new PaletteLabel(title, palette, 15, QFont::DemiBold)),
      m_detail(new PaletteLabel(detail, palette, 13, QFont::Normal, PaletteLabel::Tone::muted))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(28, 48, 28, 48);
    column->setSpacing(8);
    column->addWidget(m_icon, 0, Qt::AlignHCenter);
    column->addSpacing(2);
    m_title->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_title);
    m_detail->setAlignment(Qt::AlignHCenter);
    m_detail->setWordWrap(true);
    column->addWidget(m_detail);
}

void EmptyState::setContent(const QString& icon, const QString& title, const QString& detail)
{
    m_icon->setName(icon);
    m_title->setText(title);
    m_detail->setText(detail);
}

QString EmptyState::title() const
{
    return m_title->text();
}

QString EmptyState::detail() const
{
    return m_detail->text();
}

QString EmptyState::icon() const
{
    return m_icon->name();
}

void EmptyState::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        m_icon->setColor(m_palette.faint());
    QWidget::changeEvent(event);
}

PageHeader* pageHeader(const QString& title, const QString& detail, QWidget* trailing,
                       const VantraPalette& palette)
{
    return new PageHeader(title, detail, trailing, palette);
}

EmptyState* emptyState(const QString& icon, const QString& title, const QString& detail,
                       const VantraPalette& palette)
{
    return new EmptyState(icon, title, detail, palette);
}

QWidget* sectionDivider(const VantraPalette& palette)
{
    return new Hairline(palette);
}

} // namespace corvane
