#include "menu_button.h"

#include "ui/kit/fonts.h"
#include "ui/kit/menu.h"

#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>

namespace corvane {

namespace {

QFont labelFont()
{
    return UIFont::font(13);
}

} // namespace

MenuButton::MenuButton(const QString& text, const VantraPalette& palette, double height, QWidget* parent)
    : QAbstractButton(parent), m_palette(palette), m_height(height)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
    connect(this, &QAbstractButton::clicked, this, &MenuButton::openMenu);
}

QStringList MenuButton::itemTitles() const
{
    QStringList titles;
    for (const Item& item : m_items)
        titles << item.title;
    return titles;
}

QMenu* MenuButton::buildMenu(QWidget* parent)
{
    auto* menu = new VantraMenu(m_palette, parent);
    for (const Item& item : m_items) {
        QAction* action = menu->addAction(item.title);
        // The row may be rebuilt while the menu is open; the action stays safe
        // because it only calls the model.
        connect(action, &QAction::triggered, menu, item.action);
    }
    return menu;
}

void MenuButton::openMenu()
{
    QMenu* menu = buildMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(mapToGlobal(QPoint(0, height() + 2)));
}

QSize MenuButton::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    return QSize(qCeil(metrics.horizontalAdvance(text()) + 26), qCeil(m_height));
}

void MenuButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        p.setOpacity(0.75);
    p.setPen(QPen(m_palette.hairline(), 1));
    p.setBrush(m_palette.card());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.setFont(labelFont());
    p.setPen(isEnabled() ? m_palette.ink() : m_palette.faint());
    p.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace corvane
