// The signature reader: a downloaded .minisig is untrusted text. Parsing must
// never misbehave, and nothing it accepts may verify a file it did not sign
// under a key that signed nothing.
#include "core/minisign.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // A real key whose secret was thrown away after it signed the seed.
    static const auto key =
        Minisign::parsePublicKey("RWT54B4BODLlZXP7+NOJm/rZMwbbzODwairhYG6yxOF3Dv/rASyz67AZ");
    if (!key)
        std::abort();
    Minisign::parsePublicKey(text);
    if (const auto signature = Minisign::parseSignature(text)) {
        Minisign::PublicKey named = *key;
        named.keyId = signature->keyId;
        if (Minisign::verify(Minisign::hash("corvane"), *signature, named))
            std::abort();
    }
    return 0;
}
