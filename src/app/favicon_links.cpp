#include "favicon_links.h"

#include "icon_image.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <vector>

namespace corvane::FaviconFetcher {

namespace {

// Like the pattern engines of browsers' own tooling, word boundaries and white
// space follow Unicode, not only ASCII.
constexpr auto patternOptions =
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption;

QRegularExpression attributePattern(const QString& name)
{
    return QRegularExpression(QStringLiteral("\\b") + QRegularExpression::escape(name) +
                                  QString::fromLatin1(R"re(\s*=\s*("([^"]*)"|'([^']*)'|([^\s>]+)))re"),
                              patternOptions);
}

// The three names the parser asks for are compiled once.
const QRegularExpression* knownPattern(const QString& name)
{
    static const QRegularExpression rel = attributePattern(QStringLiteral("rel"));
    static const QRegularExpression href = attributePattern(QStringLiteral("href"));
    static const QRegularExpression sizes = attributePattern(QStringLiteral("sizes"));
    if (name == QLatin1String("rel"))
        return &rel;
    if (name == QLatin1String("href"))
        return &href;
    if (name == QLatin1String("sizes"))
        return &sizes;
    return nullptr;
}

// The first width of a "sizes" attribute ("180x180", "16x16 32x32"); 0 when
// it is missing or not a decimal integer ("any").
qint64 declaredSize(const QString& tag)
{
    const auto sizes = attribute(QStringLiteral("sizes"), tag);
    if (!sizes)
        return 0;
    const QStringList pieces = sizes->toLower().split(QLatin1Char('x'), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return 0;
    const QString& first = pieces.front();
    const qsizetype digitsFrom = (first.startsWith(QLatin1Char('+')) || first.startsWith(QLatin1Char('-')));
    if (first.size() == digitsFrom)
        return 0;
    for (qsizetype i = digitsFrom; i < first.size(); ++i)
        if (first[i] < QLatin1Char('0') || first[i] > QLatin1Char('9'))
            return 0;
    bool ok = false;
    const qint64 size = first.toLongLong(&ok);
    // A page may declare any number; keep the sum of the score far from overflow.
    constexpr qint64 bound = qint64(1) << 40;
    return ok ? std::clamp(size, -bound, bound) : 0;
}

std::optional<QUrl> iconUrl(const QString& href, const QUrl& base)
{
    if (href.isEmpty())
        return std::nullopt;
    if (href.startsWith(QLatin1String("data:"))) {
        const QUrl url(QString(href).replace(QLatin1Char(' '), QLatin1String("%20")));
        if (!url.isValid() || url.isRelative())
            return std::nullopt;
        return url;
    }
    const QUrl reference(href);
    if (!reference.isValid())
        return std::nullopt;
    const QUrl url = base.resolved(reference);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

// Percent-decoding that fails on a malformed escape or on bytes that are not
// UTF-8, so the caller can fall back to the text as written.
std::optional<QString> percentDecoded(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes += utf8[i];
            continue;
        }
        if (i + 2 >= utf8.size() || !isxdigit(uchar(utf8[i + 1])) || !isxdigit(uchar(utf8[i + 2])))
            return std::nullopt;
        bytes += char(QByteArray::fromHex(utf8.mid(i + 1, 2)).at(0));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

// Base64 exactly as written: whole groups of four, the standard alphabet,
// padding only at the end, no white space.
std::optional<QByteArray> strictBase64(const QString& text)
{
    const qsizetype n = text.size();
    if (n % 4 != 0)
        return std::nullopt;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const bool alphabet = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                              (c >= u'0' && c <= u'9') || c == u'+' || c == u'/';
        const bool padding = c == u'=' && (i == n - 1 || (i == n - 2 && text[n - 1] == u'='));
        if (!alphabet && !padding)
            return std::nullopt;
    }
    return QByteArray::fromBase64(text.toLatin1());
}

} // namespace

std::optional<QString> attribute(const QString& name, const QString& tag)
{
    const QRegularExpression* known = knownPattern(name);
    const QRegularExpressionMatch match = known ? known->match(tag) : attributePattern(name).match(tag);
    if (!match.hasMatch())
        return std::nullopt;
    for (int group : {2, 3, 4})
        if (match.hasCaptured(group))
            return match.captured(group);
    return std::nullopt;
}

QList<QUrl> parseIconLinks(const QString& html, const QUrl& base)
{
    static const QRegularExpression linkTag(QString::fromLatin1(R"(<link\b[^>]*>)"), patternOptions);
    struct Candidate {
        qint64 score;
        QUrl url;
    };
    std::vector<Candidate> candidates;
    for (auto it = linkTag.globalMatch(html); it.hasNext();) {
        const QString tag = it.next().captured();
        const QString rel = attribute(QStringLiteral("rel"), tag).value_or(QString()).toLower();
        if (!rel.contains(QLatin1String("icon")) || rel.contains(QLatin1String("mask-icon")))
            continue;
        const auto href = attribute(QStringLiteral("href"), tag);
        if (!href)
            continue;
        const auto url = iconUrl(*href, base);
        if (!url)
            continue;
        qint64 score = declaredSize(tag);
        if (rel.contains(QLatin1String("apple-touch-icon")))
            score += 1000;
        if (href->toLower().contains(QLatin1String(".svg")) ||
            href->startsWith(QLatin1String("data:image/svg")))
            score += 300;
        candidates.push_back({score, *url});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    QList<QUrl> urls;
    urls.reserve(qsizetype(candidates.size()));
    for (const Candidate& candidate : candidates)
        urls.append(candidate.url);
    return urls;
}

std::optional<QByteArray> dataURLBytes(const QString& text)
{
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    const QString header = text.left(comma);
    const QString payload = text.mid(comma + 1);
    const QString decoded = percentDecoded(payload).value_or(payload);
    if (!header.contains(QLatin1String(";base64")))
        return decoded.toUtf8();
    return strictBase64(decoded);
}

std::optional<QByteArray> decodeDataURL(const QString& text)
{
    auto bytes = dataURLBytes(text);
    if (!bytes || IconImage::accept(*bytes, QString(), IconImage::Origin::inlineData).isNull())
        return std::nullopt;
    return bytes;
}

} // namespace corvane::FaviconFetcher
