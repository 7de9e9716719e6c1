#pragma once

#include <QByteArray>
#include <QList>

#include <vector>

namespace corvane {

// The command line the QApplication is built from: the program name alone,
// so no link is ever read as one of Qt's own options (-stylesheet,
// -platformpluginpath), plus "-platform xcb" on a Wayland session unless the
// user chose a platform, because only X lets a panel be placed under the tray
// icon or beside the pointer. An argument rather than QT_QPA_PLATFORM keeps
// the choice from reaching the browsers we start.
class QtArguments {
public:
    explicit QtArguments(const char* program);
    int& argc() { return m_argc; }
    char** argv() { return m_pointers.data(); }

private:
    QList<QByteArray> m_storage;
    std::vector<char*> m_pointers;
    int m_argc = 0;
};

} // namespace corvane
