// The update feed reader: arbitrary bytes from the network. Whatever it
// accepts carries a version without surrounding "v"s and an absolute page
// address, and the version order stays antisymmetric.
#include "core/update_feed.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto entry = UpdateFeed::parse(bytes)) {
        if (UpdateFeed::trimVersion(entry->version) != entry->version || entry->page.empty())
            std::abort();
    }
    // The same bytes as two versions, split in the middle.
    const std::string_view a = bytes.substr(0, size / 2);
    const std::string_view b = bytes.substr(size / 2);
    if (UpdateFeed::compareVersions(a, b) != -UpdateFeed::compareVersions(b, a) ||
        UpdateFeed::compareVersions(a, a) != 0)
        std::abort();
    return 0;
}
