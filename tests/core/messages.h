#pragma once

#include "core/route_error.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::testing {

// The message of the RouteError that `action` throws, or "" when it returns.
template <typename Action> std::string refusal(Action&& action)
{
    try {
        action();
    } catch (const RouteError& error) {
        return error.message();
    }
    return "";
}

} // namespace corvane::testing
