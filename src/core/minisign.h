#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Signatures in the format of the minisign tool (Ed25519 over the BLAKE2b-512
// hash of the file, with a signed "trusted comment"), checked with libsodium.
// Updates are accepted only with such a signature made by the developer's key.
namespace corvane::Minisign {

using KeyId = std::array<std::uint8_t, 8>;

struct PublicKey {
    KeyId keyId{};
    std::array<std::uint8_t, 32> key{};
    bool operator==(const PublicKey&) const = default;
};

struct Signature {
    KeyId keyId{};
    std::array<std::uint8_t, 64> signature{};       // over the file's hash
    std::string trustedComment;                     // without its "trusted comment: " prefix
    std::array<std::uint8_t, 64> globalSignature{}; // over the signature and the trusted comment
    bool operator==(const Signature&) const = default;
};

using FileHash = std::array<std::uint8_t, 64>;

// The base64 key line ("RW..."), alone or inside a whole .pub file with its
// comment line. Absent when it is not an Ed25519 key of that format.
std::optional<PublicKey> parsePublicKey(std::string_view text);

// A .minisig file. Only the prehashed form that minisign writes by default is
// accepted; the legacy form would need the whole file in memory.
std::optional<Signature> parseSignature(std::string_view text);

// BLAKE2b-512 fed in blocks, for a file read through a handle of the
// caller's (so the bytes hashed are the bytes the caller goes on to use).
class Hasher {
public:
    Hasher();
    void update(const void* bytes, std::size_t size);
    FileHash final();

private:
    alignas(64) unsigned char m_state[384];
};

// BLAKE2b-512 of a file, read in blocks; absent when it cannot be read.
std::optional<FileHash> hashFile(const std::filesystem::path& file);
FileHash hash(std::string_view bytes);

// Both signatures valid, and made by `key`.
bool verify(const FileHash& fileHash, const Signature& signature, const PublicKey& key);

// The whole check: `signatureText` parses, names `key` and signs `file`.
bool verifyFile(const std::filesystem::path& file, std::string_view signatureText, const PublicKey& key);

} // namespace corvane::Minisign
