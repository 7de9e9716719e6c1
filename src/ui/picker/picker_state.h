#pragma once

#include <QObject>

namespace corvane {

// What one presentation of the picker remembers: the highlighted row and the
// "Always use for this site" box. Shared by the key handling and the view, and
// made fresh for every new link.
class PickerState : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    int selected() const { return m_selected; }
    void setSelected(int row);
    bool always() const { return m_always; }
    void setAlways(bool on);

signals:
    void changed();

private:
    int m_selected = 0;
    bool m_always = false;
};

} // namespace corvane
