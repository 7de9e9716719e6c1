#pragma once

#include <QString>

namespace corvane::LinkRouters {

// Other utilities that, like Corvane, take the default-browser role only to
// pass links on to browsers. Holding that role is their purpose, so the window
// does not nag about it. Exact, case-sensitive identifiers: macOS bundle
// identifiers and Linux desktop ids.
bool isKnown(const QString& handlerId);

} // namespace corvane::LinkRouters
