#pragma once

#include <string>

// The X11 startup-notification protocol, the little of it we need: ending a
// startup sequence that no window of ours or of the browser will end.
namespace corvane::StartupNotification {

// "remove: ID=<id>" with its terminating NUL, the id quoted when it holds a
// space, a quote or a backslash.
std::string removeMessage(const std::string& id);

// Broadcasts the remove message for `id` on `display` (empty: $DISPLAY).
// False when no X display can be reached.
bool sendRemove(const std::string& id, const std::string& display);

} // namespace corvane::StartupNotification
