// The whole acceptance of a fetched site icon: any bytes under any declared
// type, from any origin. The answer is a refusal or a small image, and it
// comes within the bounds an image may ask for.
#include "app/icon_image.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

using namespace corvane;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // An SVG may hold text, and text needs a GUI application's fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "icon_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return 0;
}

// The first byte picks the origin and the declared type; the rest are the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const types[] = {"", "image/png", "image/svg+xml", "text/html", "image/x-icon"};
    const IconImage::Origin origins[] = {IconImage::Origin::download, IconImage::Origin::inlineData,
                                         IconImage::Origin::cacheFile};
    const IconImage::Origin origin = origins[data[0] % 3];
    const QString type = QString::fromLatin1(types[(data[0] / 3) % 5]);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const QImage image = IconImage::accept(bytes, type, origin);
    if (image.isNull())
        return 0;
    if (image.width() > IconImage::keptPixels || image.height() > IconImage::keptPixels ||
        image.width() < 1 || image.height() < 1)
        std::abort();
    if (origin == IconImage::Origin::download && (bytes.size() <= 64 || type == "text/html"))
        std::abort();
    return 0;
}
