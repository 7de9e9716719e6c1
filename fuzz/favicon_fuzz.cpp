// The site-icon parsers read any web page's HTML and any data: link in it.
#include "app/favicon_links.h"
#include "app/icon_image.h"

#include <QGuiApplication>
#include <QImageReader>

#include <cstdint>
#include <cstdlib>

using namespace corvane;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Inline SVG may hold text, and text needs a GUI application's fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "favicon_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    // A data link may declare any image size; keep each input quick.
    QImageReader::setAllocationLimit(16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QUrl& url : FaviconFetcher::parseIconLinks(text, QUrl("https://example.test/dir/page.html")))
        if (!url.isValid() || url.isRelative())
            std::abort();
    for (const char* name : {"rel", "href", "sizes"}) {
        const auto value = FaviconFetcher::attribute(QString::fromLatin1(name), text);
        if (value && !text.contains(*value))
            std::abort();
    }
    if (const auto bytes = FaviconFetcher::decodeDataURL(text))
        if (bytes->isEmpty() || !IconImage::canvas(*bytes))
            std::abort();
    return 0;
}
