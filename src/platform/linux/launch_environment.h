#pragma once

#include <string>
#include <vector>

// The environment a program started for the user gets. Corvane keeps the
// environment of whatever first started it: a packaged or sandboxed launcher
// may have set loader and toolkit paths that break another program, and the
// startup tokens of that first start are long used up.
namespace corvane::LaunchEnvironment {

// Whether `name` is one of the loader or packaging variables that never reach
// a program we start.
bool isForeign(const std::string& name);
// Whether `name` carries a startup-notification or activation token.
bool isToken(const std::string& name);

// `entries` ("NAME=value") without the foreign variables, and without the
// tokens unless `keepTokens`. The user's own session variables stay.
std::vector<std::string> clean(const std::vector<std::string>& entries, bool keepTokens);

} // namespace corvane::LaunchEnvironment
