#include "app/icon_image.h"

#include "icon_images.h"

#include <QBuffer>
#include <QProcess>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

using IconImage::Origin;

// A one-bit image compresses to almost nothing whatever its canvas: the
// cheapest way for a site to declare a huge one.
QByteArray monoPng(int width, int height)
{
    QImage image(width, height, QImage::Format_Mono);
    image.fill(0);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// An ICO whose directory names a 16-pixel icon and whose one entry is `png`.
QByteArray icoHolding(const QByteArray& png)
{
    QByteArray ico("\0\0\1\0\1\0", 6);
    QByteArray entry(16, '\0');
    entry[0] = 16;
    entry[1] = 16;
    entry[4] = 1;
    entry[6] = 32;
    const quint32 length = quint32(png.size());
    const quint32 offset = 6 + 16;
    for (int i = 0; i < 4; ++i) {
        entry[8 + i] = char((length >> (8 * i)) & 0xff);
        entry[12 + i] = char((offset >> (8 * i)) & 0xff);
    }
    return ico + entry + png;
}

QByteArray svgDocument(const QByteArray& body, const QByteArray& prolog = {})
{
    return prolog +
           "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
           "width='64' height='64'>" +
           body + "</svg>";
}

// Each level draws the one below ten times: 10^depth copies of one shape.
QByteArray useFanOut(int depth)
{
    QByteArray body = "<defs><rect id='l0' width='64' height='64'/>";
    for (int level = 1; level <= depth; ++level) {
        body += "<g id='l" + QByteArray::number(level) + "'>";
        for (int i = 0; i < 10; ++i)
            body += "<use xlink:href='#l" + QByteArray::number(level - 1) + "'/>";
        body += "</g>";
    }
    return svgDocument(body + "</defs><use xlink:href='#l" + QByteArray::number(depth) + "'/>");
}

QByteArray gzipped(const QByteArray& bytes)
{
    QProcess gzip;
    gzip.start("gzip", {"-c"});
    gzip.write(bytes);
    gzip.closeWriteChannel();
    EXPECT_TRUE(gzip.waitForFinished(10000));
    return gzip.readAllStandardOutput();
}

} // namespace

TEST(IconImage, BombsAreRefusedOrKeptSmall)
{
    QByteArray shapes;
    for (int i = 0; i < 30000; ++i)
        shapes += "<rect width='100%' height='100%' fill='#" + QByteArray::number(i % 4096, 16) + "'/>";
    QByteArray nested;
    for (int i = 0; i < 200; ++i)
        nested += "<g>";
    nested += "<rect width='9' height='9'/>";
    for (int i = 0; i < 200; ++i)
        nested += "</g>";
    const struct {
        const char* name;
        QByteArray bytes;
        QSize kept; // empty: refused
    } cases[] = {
        {"a 118-byte SVG declaring 5600 by 5600", svg(5600), {56, 56}},
        {"thirty thousand full-canvas shapes", svgDocument(shapes), {}},
        {"a thousand shapes", svgDocument(shapes.left(shapes.indexOf("<rect", 60000))), {56, 56}},
        {"<use> copying a shape ten to the ninth times", useFanOut(9), {}},
        {"<use> copying a shape a hundred times", useFanOut(2), {56, 56}},
        {"<use> that leads back to itself",
         svgDocument("<g id='a'><use xlink:href='#b'/></g><g id='b'><use href='#a'/></g>"),
         {}},
        {"a document type with entities",
         svgDocument("<text>&a;</text>", "<!DOCTYPE svg [<!ENTITY a 'aaaaaaaaaaaaaaaa'>]>"),
         {}},
        {"an embedded picture",
         svgDocument("<image width='64' height='64' xlink:href='data:image/png;base64," +
                     monoPng(5600, 5600).toBase64() + "'/>"),
         {}},
        {"a compressed SVG", gzipped(svg(64)), {}},
        {"nested two hundred deep", svgDocument(nested), {}},
        {"a PNG of 5600 by 5600 pixels", monoPng(5600, 5600), {}},
        {"a PNG one pixel high and 20000 wide", monoPng(20000, 1), {}},
        {"a 16-pixel ICO entry holding a PNG of 5000 by 5000", icoHolding(monoPng(5000, 5000)), {}},
        {"an ICO entry holding a PNG of 32 by 32", icoHolding(png(32, 32)), {32, 32}},
        {"a PNG of 2048 by 2048, the largest canvas", monoPng(2048, 2048), {56, 56}},
        {"a PNG of 300 by 200", png(300, 200), {56, 37}},
        {"a PNG of 32 by 32 stays as it is", png(32, 32), {32, 32}},
    };
    for (const auto& c : cases) {
        const QImage image = IconImage::accept(c.bytes, "image/whatever", Origin::download);
        EXPECT_EQ(image.isNull() ? QSize() : image.size(), c.kept) << c.name;
    }
}

TEST(IconImage, EachOriginKeepsItsLimits)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QString type;
        Origin origin;
        bool accepted;
    } cases[] = {
        {"a 35-byte GIF download", gif(16, 16), "image/gif", Origin::download, false},
        {"the same inline", gif(16, 16), "", Origin::inlineData, true},
        {"15 pixels wide, downloaded", gif(15, 16, 200), "image/gif", Origin::download, false},
        {"15 pixels wide, inline", gif(15, 16, 200), "", Origin::inlineData, true},
        {"served as HTML", png(32, 32), "Text/HTML; charset=utf-8", Origin::download, false},
        {"2000000 bytes", png(32, 32, 2000000), "image/png", Origin::download, false},
        {"a cache file of 2000000 bytes", png(32, 32, 2000000), "", Origin::cacheFile, false},
        {"a cache file", png(32, 32), "", Origin::cacheFile, true},
        {"no image", QByteArray(500, 'x'), "image/png", Origin::download, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!IconImage::accept(c.bytes, c.type, c.origin).isNull(), c.accepted) << c.name;
}
