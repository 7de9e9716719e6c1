// The settings reader: decode and validate arbitrary bytes; whatever passes
// must survive a write and read unchanged.
#include "core/config_json.h"
#include "core/route_error.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Configuration config;
    try {
        config = ConfigJson::decode(bytes);
    } catch (const DecodeError&) {
        return 0;
    }
    try {
        config.validate();
    } catch (const RouteError&) {
        return 0;
    }
    if (ConfigJson::decode(ConfigJson::encode(config)) != config)
        std::abort();
    return 0;
}
