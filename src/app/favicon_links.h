#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// The parts of the site-icon fetcher that only read text and bytes: they need
// no network and no event loop, and they see any web page's HTML.
namespace corvane::FaviconFetcher {

// The icon URLs that the <link> tags of a page declare, best first: an
// apple-touch icon before a large declared size before an SVG; equal scores
// keep document order. Mask icons are never returned.
QList<QUrl> parseIconLinks(const QString& html, const QUrl& base);

// The value of attribute `name` in the text of one tag (double-quoted,
// single-quoted or bare), or nothing.
std::optional<QString> attribute(const QString& name, const QString& tag);

// The image bytes of a "data:" URL, base64 or percent-encoded text (inline
// SVG), or nothing when they do not decode as an image.
std::optional<QByteArray> decodeDataURL(const QString& text);

// The width of the decoded image in pixels (one pixel per point), or nothing
// when the bytes are no image the decoders read.
std::optional<int> decodedWidth(const QByteArray& bytes);

} // namespace corvane::FaviconFetcher
