#include "intake_protocol.h"

#include <cstdint>

namespace corvane::IntakeProtocol {

namespace {

constexpr std::size_t numberBytes = 4;

void appendNumber(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

std::uint32_t numberAt(std::string_view bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < numberBytes; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

// Reads the body front to back; any overrun or limit breaks it.
class BodyReader {
public:
    explicit BodyReader(std::string_view body) : m_body(body) {}

    std::optional<std::uint32_t> number()
    {
        if (m_body.size() - m_offset < numberBytes)
            return std::nullopt;
        const std::uint32_t value = numberAt(m_body, m_offset);
        m_offset += numberBytes;
        return value;
    }

    std::optional<std::string> text(std::size_t limit)
    {
        const auto length = number();
        if (!length || *length > limit || m_body.size() - m_offset < *length)
            return std::nullopt;
        std::string value(m_body.substr(m_offset, *length));
        m_offset += *length;
        return value;
    }

    bool atEnd() const { return m_offset == m_body.size(); }

private:
    std::string_view m_body;
    std::size_t m_offset = 0;
};

} // namespace

std::string_view greeting()
{
    return "corvane-intake 2\n";
}

std::string_view acknowledgement()
{
    return "ok\n";
}

std::optional<std::string> encode(const Message& message)
{
    if (message.startupId.size() > maxTokenBytes || message.activationToken.size() > maxTokenBytes)
        return std::nullopt;
    std::string body;
    appendNumber(body, static_cast<std::uint32_t>(message.links.size()));
    for (const std::string& link : message.links) {
        appendNumber(body, static_cast<std::uint32_t>(link.size()));
        body += link;
        if (body.size() > maxMessageBytes)
            return std::nullopt;
    }
    for (const std::string* token : {&message.startupId, &message.activationToken}) {
        appendNumber(body, static_cast<std::uint32_t>(token->size()));
        body += *token;
    }
    if (body.size() > maxMessageBytes)
        return std::nullopt;
    std::string out;
    out.reserve(numberBytes + body.size());
    appendNumber(out, static_cast<std::uint32_t>(body.size()));
    return out + body;
}

Decoded decode(std::string_view buffer)
{
    if (buffer.size() < numberBytes)
        return {};
    const std::uint32_t length = numberAt(buffer, 0);
    // Smaller than an empty message, or larger than any message may be.
    if (length < 3 * numberBytes || length > maxMessageBytes)
        return {Status::malformed, {}, 0};
    if (buffer.size() - numberBytes < length)
        return {};

    BodyReader body(buffer.substr(numberBytes, length));
    const auto count = body.number();
    // Every link takes at least its length: a count beyond that is a lie.
    if (!count || *count > length / numberBytes)
        return {Status::malformed, {}, 0};
    Message message;
    message.links.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        auto link = body.text(maxMessageBytes);
        if (!link)
            return {Status::malformed, {}, 0};
        message.links.push_back(std::move(*link));
    }
    auto startupId = body.text(maxTokenBytes);
    auto activationToken = body.text(maxTokenBytes);
    if (!startupId || !activationToken || !body.atEnd())
        return {Status::malformed, {}, 0};
    message.startupId = std::move(*startupId);
    message.activationToken = std::move(*activationToken);
    return {Status::complete, std::move(message), numberBytes + length};
}

} // namespace corvane::IntakeProtocol
