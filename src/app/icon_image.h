#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QObject;
class QThreadPool;

// Turning bytes that any web site chose into a small icon. Every site a rule
// or a link names can send them, so nothing here trusts what the bytes claim:
// the canvas is read from the header before anything is decoded, absurd
// canvases are refused, vector images are bounded in the work they ask for,
// and only a small copy scaled to what the interface shows is ever kept.
namespace corvane::IconImage {

// Twice the largest site icon the interface shows (28 points on the Links
// page), so icons stay sharp at two pixels per point.
inline constexpr int keptPixels = 56;
// A raster canvas is decoded whole before it is scaled: this bounds that
// moment to 16 MB. Real icons stay far below it (512 by 512 at most).
inline constexpr int maxRasterEdge = 2048;
// A vector canvas only names the coordinates it draws in; it is drawn at the
// kept size whatever it says, so only nonsense is refused.
inline constexpr int maxVectorEdge = 16384;
inline constexpr qint64 maxSvgBytes = 512 * 1024;
// Elements an SVG may draw, counting every copy that <use> makes.
inline constexpr int maxSvgElements = 4000;

// Downloads keep their size limits and minimum width; inline data links have
// none; cache files are our own, yet read as carefully.
enum class Origin { download, inlineData, cacheFile };

// The canvas the header declares, read without decoding; nothing when the
// bytes are no image a decoder reads or the header says no size.
std::optional<QSize> canvas(const QByteArray& bytes);

// Whether an SVG document stays within the bounds above: small enough, no
// document type, no embedded pictures, no compressed form, and no more
// elements to draw than allowed once every <use> is counted.
bool svgWithinBounds(const QByteArray& bytes);

// The image scaled to fit keptPixels (raster images are never enlarged,
// vector images are drawn at that size), or nothing when it is refused.
// `minimumWidth` applies to the declared canvas.
std::optional<QImage> decode(const QByteArray& bytes, int minimumWidth = 1);

// The whole acceptance of an icon candidate: the size limits and declared
// type of its origin, then decode(). A null image is a refusal.
QImage accept(const QByteArray& bytes, const QString& contentType, Origin origin);

// accept() on a worker thread, so the event loop never waits on an image.
// `done` runs once on the main thread, after this call returns, and not at
// all once `context` is gone.
void acceptLater(QByteArray bytes, QString contentType, Origin origin, QObject* context,
                 std::function<void(const QImage&)> done);

// As acceptLater, for a cache file read on the worker thread as well.
void readLater(QString path, QObject* context, std::function<void(const QImage&)> done);

// The worker threads the two calls above use.
QThreadPool& decoders();

} // namespace corvane::IconImage
