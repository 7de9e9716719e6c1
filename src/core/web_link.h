#pragma once

#include "url.h"

#include <optional>
#include <string_view>

namespace corvane {

// The web-link check without exceptions, for callers that only need a yes or
// no (unwrapping runs it over many candidate links). `message` is set exactly
// when `url` is absent.
struct WebLinkCheck {
    std::optional<Url> url;
    const char* message = nullptr;
};

WebLinkCheck checkWebLink(std::string_view text);

} // namespace corvane
