#include "picker_state.h"

namespace corvane {

void PickerState::setSelected(int row)
{
    if (row == m_selected)
        return;
    m_selected = row;
    emit changed();
}

void PickerState::setAlways(bool on)
{
    if (on == m_always)
        return;
    m_always = on;
    emit changed();
}

} // namespace corvane
