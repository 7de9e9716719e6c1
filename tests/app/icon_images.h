#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace corvane::testing {

// Image files made at test time, padded with zeros after their end (which the
// decoders ignore) to reach an exact size.
inline QByteArray encoded(int width, int height, const char* format, qsizetype padTo = 0)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(30, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    if (padTo > bytes.size())
        bytes.append(padTo - bytes.size(), '\0');
    return bytes;
}

inline QByteArray png(int width, int height, qsizetype padTo = 0)
{
    return encoded(width, height, "PNG", padTo);
}

// A two-colour GIF whose image data holds one pixel: 35 bytes whatever its size.
inline QByteArray gif(quint8 width, quint8 height, qsizetype padTo = 0)
{
    QByteArray bytes("GIF89a");
    bytes += QByteArray::fromRawData("\0\0\0\0\x80\0\0", 7);
    bytes[6] = char(width);
    bytes[8] = char(height);
    bytes += QByteArray("\0\0\0\xff\xff\xff", 6);
    bytes += QByteArray("\x2c\0\0\0\0\0\0\0\0\0", 10);
    bytes[13 + 6 + 5] = char(width);
    bytes[13 + 6 + 7] = char(height);
    bytes += QByteArray("\x02\x02\x44\x01\x00\x3b", 6);
    if (padTo > bytes.size())
        bytes.append(padTo - bytes.size(), '\0');
    return bytes;
}

inline QByteArray svg(int width)
{
    return "<svg xmlns='http://www.w3.org/2000/svg' width='" + QByteArray::number(width) + "' height='" +
           QByteArray::number(width) + "'><rect width='100%' height='100%' fill='#36c'/></svg>";
}

} // namespace corvane::testing
