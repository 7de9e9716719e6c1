#include "qt_arguments.h"

#include <QtGlobal>

namespace corvane {

QtArguments::QtArguments(const char* program)
{
    m_storage << QByteArray(program);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        m_storage << QByteArray("-platform") << QByteArray("xcb");
    for (QByteArray& argument : m_storage)
        m_pointers.push_back(argument.data());
    m_argc = int(m_pointers.size());
    m_pointers.push_back(nullptr);
}

} // namespace corvane
