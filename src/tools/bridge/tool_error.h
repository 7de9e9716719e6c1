#pragma once

#include <stdexcept>

namespace corvane::BridgeTool {

// A refusal of the helper; what() is the one sentence the user gets to read.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace corvane::BridgeTool
