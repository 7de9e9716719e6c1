#include "intake_protocol.h"

#include <QtEndian>

namespace corvane::IntakeProtocol {

namespace {

// Far beyond any command line (whose total is bounded by the kernel), small
// enough that a confused peer cannot make us allocate without end.
constexpr quint32 maxLinks = 100000;
constexpr quint32 maxLinkBytes = 4 * 1024 * 1024;

void appendNumber(QByteArray& out, quint32 value)
{
    const quint32 big = qToBigEndian(value);
    out.append(reinterpret_cast<const char*>(&big), sizeof big);
}

std::optional<quint32> numberAt(const QByteArray& buffer, qsizetype offset)
{
    if (buffer.size() - offset < qsizetype(sizeof(quint32)))
        return std::nullopt;
    return qFromBigEndian<quint32>(buffer.constData() + offset);
}

} // namespace

QByteArray greeting()
{
    return QByteArrayLiteral("corvane-intake 1\n");
}

QByteArray acknowledgement()
{
    return QByteArrayLiteral("ok\n");
}

QByteArray encode(const QStringList& links)
{
    QByteArray out;
    appendNumber(out, quint32(links.size()));
    for (const QString& link : links) {
        const QByteArray bytes = link.toUtf8();
        appendNumber(out, quint32(bytes.size()));
        out += bytes;
    }
    return out;
}

Decoded decode(const QByteArray& buffer)
{
    const auto count = numberAt(buffer, 0);
    if (!count)
        return {};
    if (*count > maxLinks)
        return {Status::malformed, {}};
    QStringList links;
    qsizetype offset = sizeof(quint32);
    for (quint32 i = 0; i < *count; ++i) {
        const auto length = numberAt(buffer, offset);
        if (!length)
            return {};
        if (*length > maxLinkBytes)
            return {Status::malformed, {}};
        offset += sizeof(quint32);
        if (buffer.size() - offset < qsizetype(*length))
            return {};
        links << QString::fromUtf8(buffer.constData() + offset, *length);
        offset += *length;
    }
    return {Status::complete, links};
}

} // namespace corvane::IntakeProtocol
