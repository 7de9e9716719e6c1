#include "view_state.h"

namespace corvane {

void ViewState::setTab(AppTab tab)
{
    if (tab == m_tab)
        return;
    m_tab = tab;
    emit tabChanged();
}

void ViewState::setQuery(const QString& query)
{
    if (query == m_query)
        return;
    m_query = query;
    emit queryChanged();
}

void ViewState::setProfileFilter(const QString& profile)
{
    if (profile == m_profileFilter)
        return;
    m_profileFilter = profile;
    emit profileFilterChanged();
}

void ViewState::setEditing(const std::optional<Rule>& rule)
{
    m_editing = rule;
    emit editingChanged();
}

} // namespace corvane
