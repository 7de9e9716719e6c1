#include "menu.h"

#include "fonts.h"
#include "icon.h"

#include <QStyleOptionMenuItem>

namespace corvane {

namespace {

constexpr auto destructiveKey = "corvaneDestructive";
constexpr double symbolSize = 14;
// Symbols in menus stand beside 13-point text: lines of a medium weight.
constexpr double symbolLine = 1.4;

} // namespace

VantraMenu::VantraMenu(const VantraPalette& palette, QWidget* parent) : QMenu(parent), m_palette(palette)
{
    setFont(UIFont::font(13));
    applyPalette();
}

QAction* VantraMenu::addChoice(const QString& text, bool checked)
{
    QAction* action = addAction(text);
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

QAction* VantraMenu::addDestructive(const QString& text)
{
    QAction* action = addAction(text);
    action->setProperty(destructiveKey, true);
    return action;
}

QAction* VantraMenu::addSymbolAction(const QString& name, const QString& text)
{
    return addAction(symbol(name), text);
}

bool VantraMenu::isDestructive(const QAction* action)
{
    return action && action->property(destructiveKey).toBool();
}

QIcon VantraMenu::symbol(const QString& name) const
{
    const double dpr = devicePixelRatioF();
    QIcon icon;
    icon.addPixmap(Icons::pixmap(name, symbolSize, m_palette.ink(), dpr, symbolLine), QIcon::Normal);
    icon.addPixmap(Icons::pixmap(name, symbolSize, Qt::white, dpr, symbolLine), QIcon::Active);
    icon.addPixmap(Icons::pixmap(name, symbolSize, Qt::white, dpr, symbolLine), QIcon::Selected);
    icon.addPixmap(Icons::pixmap(name, symbolSize, m_palette.faint(), dpr, symbolLine), QIcon::Disabled);
    return icon;
}

void VantraMenu::applyPalette()
{
    setPalette(m_palette.qtPalette());
}

void VantraMenu::showEvent(QShowEvent* event)
{
    // The view may have switched between light and dark since the menu was made.
    applyPalette();
    QMenu::showEvent(event);
}

void VantraMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const
{
    QMenu::initStyleOption(option, action);
    if (option->checkType != QStyleOptionMenuItem::NotCheckable) {
        // The style's own indicator is a box on every option; we draw the mark
        // on the chosen one only, where the box would have been.
        const bool checked = option->checked;
        option->checkType = QStyleOptionMenuItem::NotCheckable;
        option->checked = false;
        if (checked)
            option->icon = symbol("checkmark");
    }
    if (isDestructive(action)) {
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            option->palette.setColor(group, QPalette::Text, VantraPalette::red());
            option->palette.setColor(group, QPalette::WindowText, VantraPalette::red());
            option->palette.setColor(group, QPalette::ButtonText, VantraPalette::red());
        }
    }
}

} // namespace corvane
