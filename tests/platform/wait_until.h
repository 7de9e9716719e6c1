#pragma once

#include <functional>

namespace corvane::test {

// Runs the event loop until `condition` holds; false when `timeoutMs` passes
// first.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

} // namespace corvane::test
