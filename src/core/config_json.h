#pragma once

#include "rules.h"

#include <string>
#include <string_view>

namespace corvane::ConfigJson {

// Pretty-printed, keys sorted, every "/" written as "\/", no "defaultProfile"
// key without a default. Does not validate.
std::string encode(const Configuration& config);

// Strict: a missing key, a wrong JSON type, an unknown kind or a bad UUID
// throws DecodeError. Unknown extra keys are ignored. Does not validate.
Configuration decode(std::string_view bytes);

} // namespace corvane::ConfigJson
