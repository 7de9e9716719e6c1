#include "dropdown.h"

#include "chevron.h"
#include "fonts.h"
#include "menu.h"

#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>

namespace corvane {

VantraDropdown::VantraDropdown(const VantraPalette& palette, Options options, QVariant selection,
                               double width, QWidget* parent)
    : QAbstractButton(parent), m_palette(palette), m_options(std::move(options)),
      m_selection(std::move(selection)), m_width(width)
{
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setText(title());
    connect(this, &QAbstractButton::clicked, this, &VantraDropdown::openMenu);
}

QSize VantraDropdown::sizeHint() const
{
    return QSize(qCeil(m_width), 32);
}

QString VantraDropdown::title() const
{
    for (const auto& option : m_options)
        if (option.first == m_selection)
            return option.second;
    return QString();
}

void VantraDropdown::setSelection(const QVariant& value)
{
    m_selection = value;
    setText(title());
    update();
}

void VantraDropdown::setOptions(Options options)
{
    m_options = std::move(options);
    setText(title());
    update();
}

QMenu* VantraDropdown::buildMenu(QWidget* parent)
{
    auto* menu = new VantraMenu(m_palette, parent);
    for (const auto& option : m_options) {
        QAction* action = menu->addChoice(option.second, option.first == m_selection);
        const QVariant value = option.first;
        connect(action, &QAction::triggered, this, [this, value] {
            const bool changed = value != m_selection;
            setSelection(value);
            if (changed)
                emit selectionChanged(value);
        });
    }
    return menu;
}

void VantraDropdown::openMenu()
{
    QMenu* menu = buildMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setMinimumWidth(width());
    menu->popup(mapToGlobal(QPoint(0, height() + 2)));
}

void VantraDropdown::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_palette.hairline(), 1));
    p.setBrush(m_palette.card());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    if (isDown())
        p.setOpacity(0.75);
    const double left = 12, right = 11, chevronWidth = 8, gap = 8;
    const QRectF chevron(width() - right - chevronWidth, height() / 2.0 - 2.25, chevronWidth, 4.5);
    const QFont font = UIFont::font(13);
    p.setFont(font);
    p.setPen(m_palette.ink());
    const QRectF textRect(left, 0, width() - left - right - chevronWidth - gap, height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(font).elidedText(title(), Qt::ElideRight, textRect.width()));
    Chevron::paint(p, chevron, m_palette.faint());
}

} // namespace corvane
