#pragma once

#include <QString>
#include <QStringList>

namespace corvane::RunningProcesses {

// True when one of this user's processes runs a program called one of
// `names` (the file name of its executable or of its argv[0]) or an
// executable that lies directly in one of `folders`. Browsers are started
// through wrapper scripts that exec a binary of another name from their own
// installation folder, hence both tests.
bool any(const QStringList& names, const QStringList& folders);

} // namespace corvane::RunningProcesses
