#pragma once

#include "app/records.h"
#include "core/rules.h"

#include <QObject>
#include <QString>

#include <optional>

namespace corvane {

// What the window shows, as opposed to what the model holds: the page, the
// rules search, the profile filter and the rule open in the editor. Survives
// hiding the panel, not a restart.
class ViewState : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    AppTab tab() const { return m_tab; }
    void setTab(AppTab tab);
    const QString& query() const { return m_query; }
    void setQuery(const QString& query);
    const QString& profileFilter() const { return m_profileFilter; }
    void setProfileFilter(const QString& profile);
    const std::optional<Rule>& editing() const { return m_editing; }
    void setEditing(const std::optional<Rule>& rule);

signals:
    void tabChanged();
    void queryChanged();
    void profileFilterChanged();
    void editingChanged();

private:
    AppTab m_tab = AppTab::rules;
    QString m_query;
    QString m_profileFilter;
    std::optional<Rule> m_editing;
};

} // namespace corvane
