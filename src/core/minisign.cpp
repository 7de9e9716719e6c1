#include "minisign.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace corvane::Minisign {

namespace {

constexpr std::string_view untrustedPrefix = "untrusted comment:";
constexpr std::string_view trustedPrefix = "trusted comment: ";
// Longer lines than minisign itself writes or reads are not ours.
constexpr std::size_t maxLine = 8192;

bool ready()
{
    return sodium_init() >= 0;
}

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text, std::size_t expected)
{
    std::vector<std::uint8_t> bytes(expected + 1);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || length != expected)
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

// Lines without their "\n" or "\r\n"; a final line break is optional.
std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        result.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return result;
}

template <std::size_t N> void copyTo(std::array<std::uint8_t, N>& out, const std::uint8_t* from)
{
    std::memcpy(out.data(), from, N);
}

} // namespace

std::optional<PublicKey> parsePublicKey(std::string_view text)
{
    if (!ready() || text.size() > 4 * maxLine)
        return std::nullopt;
    std::string_view keyLine;
    for (std::string_view line : lines(text)) {
        if (line.empty() || line.starts_with(untrustedPrefix))
            continue;
        if (!keyLine.empty())
            return std::nullopt; // one key only
        keyLine = line;
    }
    const auto bytes = decodeBase64(keyLine, 2 + 8 + 32);
    if (!bytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd')
        return std::nullopt;
    PublicKey key;
    copyTo(key.keyId, bytes->data() + 2);
    copyTo(key.key, bytes->data() + 10);
    return key;
}

std::optional<Signature> parseSignature(std::string_view text)
{
    if (!ready() || text.size() > 4 * maxLine)
        return std::nullopt;
    const std::vector<std::string_view> all = lines(text);
    if (all.size() < 4 || !all[0].starts_with(untrustedPrefix) || !all[2].starts_with(trustedPrefix))
        return std::nullopt;
    for (std::size_t i = 4; i < all.size(); ++i) {
        if (!all[i].empty())
            return std::nullopt;
    }
    const auto main = decodeBase64(all[1], 2 + 8 + 64);
    const auto global = decodeBase64(all[3], 64);
    if (!main || !global || (*main)[0] != 'E' || (*main)[1] != 'D')
        return std::nullopt;
    Signature signature;
    copyTo(signature.keyId, main->data() + 2);
    copyTo(signature.signature, main->data() + 10);
    signature.trustedComment = std::string(all[2].substr(trustedPrefix.size()));
    copyTo(signature.globalSignature, global->data());
    return signature;
}

static_assert(sizeof(crypto_generichash_state) <= 384, "Hasher keeps the state inline");

Hasher::Hasher()
{
    if (ready())
        crypto_generichash_init(reinterpret_cast<crypto_generichash_state*>(m_state), nullptr, 0,
                                crypto_generichash_BYTES_MAX);
}

void Hasher::update(const void* bytes, std::size_t size)
{
    crypto_generichash_update(reinterpret_cast<crypto_generichash_state*>(m_state),
                              static_cast<const unsigned char*>(bytes),
                              static_cast<unsigned long long>(size));
}

FileHash Hasher::final()
{
    FileHash result{};
    crypto_generichash_final(reinterpret_cast<crypto_generichash_state*>(m_state), result.data(),
                             result.size());
    return result;
}

std::optional<FileHash> hashFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in || !ready())
        return std::nullopt;
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const std::streamsize got = in.gcount();
        if (got > 0)
            crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(block.data()),
                                      static_cast<unsigned long long>(got));
    }
    if (in.bad())
        return std::nullopt;
    FileHash result;
    crypto_generichash_final(&state, result.data(), result.size());
    return result;
}

FileHash hash(std::string_view bytes)
{
    FileHash result{};
    if (ready())
        crypto_generichash(result.data(), result.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size(), nullptr, 0);
    return result;
}

bool verify(const FileHash& fileHash, const Signature& signature, const PublicKey& key)
{
    if (!ready() || signature.keyId != key.keyId)
        return false;
    if (crypto_sign_verify_detached(signature.signature.data(), fileHash.data(), fileHash.size(),
                                    key.key.data()) != 0)
        return false;
    // The trusted comment is signed together with the signature, so neither
    // can be swapped for another one.
    std::vector<std::uint8_t> global(signature.signature.begin(), signature.signature.end());
    global.insert(global.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    return crypto_sign_verify_detached(signature.globalSignature.data(), global.data(), global.size(),
                                       key.key.data()) == 0;
}

bool verifyFile(const std::filesystem::path& file, std::string_view signatureText, const PublicKey& key)
{
    const auto signature = parseSignature(signatureText);
    if (!signature || signature->keyId != key.keyId)
        return false;
    const auto fileHash = hashFile(file);
    return fileHash && verify(*fileHash, *signature, key);
}

} // namespace corvane::Minisign
