#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace corvane::BridgeTool {

// corvane-bridge [--browser ID] REQUEST_JSON
// The answer goes to `out`; a failure to `err` as one sentence, with status 1.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace corvane::BridgeTool
