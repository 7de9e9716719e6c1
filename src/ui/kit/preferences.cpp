#include "preferences.h"

#include "app/model.h"

#include <QSettings>

namespace corvane {

Preferences::Preferences(Model& model) : QObject(&model), m_store(model.userDefaults()) {}

Preferences& Preferences::of(Model& model)
{
    if (auto* found = model.findChild<Preferences*>(QString(), Qt::FindDirectChildrenOnly))
        return *found;
    return *new Preferences(model);
}

QString Preferences::appearance() const
{
    return m_store.value("colorScheme", "system").toString();
}

void Preferences::setAppearance(const QString& value)
{
    m_store.setValue("colorScheme", value);
    emit appearanceChanged();
}

bool Preferences::reuseOpenTabs() const
{
    return m_store.value("reuseOpenTabs", true).toBool();
}

void Preferences::setReuseOpenTabs(bool value)
{
    m_store.setValue("reuseOpenTabs", value);
    emit reuseOpenTabsChanged();
}

bool Preferences::showInMenuBar() const
{
    return m_store.value("showInMenuBar", true).toBool();
}

void Preferences::setShowInMenuBar(bool value)
{
    m_store.setValue("showInMenuBar", value);
    emit showInMenuBarChanged();
}

bool Preferences::pinWindow() const
{
    return m_store.value("pinWindow", false).toBool();
}

void Preferences::setPinWindow(bool value)
{
    m_store.setValue("pinWindow", value);
    emit pinWindowChanged();
}

} // namespace corvane
