#include "app/icon_image.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

// What a large but legitimate site icon costs to accept: the whole path from
// fetched bytes to the kept image, on one decoding thread. The memory figures,
// in KB: the image kept, and the canvas a full-size decode holds for a moment
// (a raster's; an SVG is drawn at the kept size and holds none).

namespace corvane {
namespace {

// A photograph-like 512 by 512 PNG: noise compresses as badly as photos do,
// so it is about as large as the fetcher lets an icon be.
QByteArray largePng()
{
    QImage image(512, 512, QImage::Format_ARGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y,
                           qRgba((x + random.bounded(64)) & 0xff, (y + random.bounded(64)) & 0xff,
                                 random.bounded(256), 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A detailed logo: three thousand curved paths, within the bounds.
QByteArray largeSvg()
{
    QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 1000 1000'>";
    QRandomGenerator random(5);
    for (int i = 0; i < 3000; ++i) {
        const auto n = [&] { return QByteArray::number(random.bounded(1000)); };
        svg += "<path fill='#" + QByteArray::number(0x100000 + random.bounded(0xefffff), 16) + "' d='M" +
               n() + " " + n() + " C" + n() + " " + n() + " " + n() + " " + n() + " " + n() + " " + n() +
               "Z'/>";
    }
    return svg + "</svg>";
}

void accept(benchmark::State& state, const QByteArray& bytes)
{
    QImage kept;
    for (auto _ : state) {
        kept = IconImage::accept(bytes, "image/whatever", IconImage::Origin::download);
        if (kept.isNull())
            state.SkipWithError("the icon was refused");
        benchmark::DoNotOptimize(kept);
    }
    state.counters["input_KB"] = double(bytes.size()) / 1024;
    state.counters["kept_KB"] = double(kept.sizeInBytes()) / 1024;
    const QSize canvas = IconImage::canvas(bytes).value_or(QSize());
    const bool vector = bytes.startsWith("<svg");
    state.counters["canvas_KB"] = vector ? 0.0 : double(canvas.width()) * canvas.height() * 4 / 1024;
}

void BM_AcceptLargePng(benchmark::State& state)
{
    static const QByteArray bytes = largePng();
    accept(state, bytes);
}
BENCHMARK(BM_AcceptLargePng)->Unit(benchmark::kMillisecond);

void BM_AcceptLargeSvg(benchmark::State& state)
{
    static const QByteArray bytes = largeSvg();
    accept(state, bytes);
}
BENCHMARK(BM_AcceptLargeSvg)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace corvane
