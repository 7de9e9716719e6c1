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

// The bytes a "data:" URL holds, base64 or percent-encoded text (inline SVG),
// or nothing when they cannot be read; whether they are an image is not asked.
std::optional<QByteArray> dataURLBytes(const QString& text);

// The image bytes of a "data:" URL, or nothing when they do not decode as an
// image (blocking: for the fuzzer and tests, the fetcher decodes off the
// main thread).
std::optional<QByteArray> decodeDataURL(const QString& text);

} // namespace corvane::FaviconFetcher
