#include "icon_image.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QPointer>
#include <QThreadPool>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvane::IconImage {

namespace {

// The limits of a download, as the fetcher has always applied them.
constexpr qint64 downloadMinimum = 64;
constexpr qint64 sizeLimit = 2000000;
constexpr int downloadMinimumWidth = 16;
// Deeper nesting than this draws nothing an icon needs, and it would make
// counting the elements recurse as deep.
constexpr int maxSvgDepth = 64;

quint32 littleEndian(const uchar* at, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

quint32 bigEndian32(const uchar* at)
{
    return (quint32(at[0]) << 24) | (quint32(at[1]) << 16) | (quint32(at[2]) << 8) | at[3];
}

// An ICO's directory names sizes of 256 at most, yet an entry may hold a PNG
// of any size, which the decoder reads whole: its own header must pass too.
bool icoEntriesWithinBounds(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size < 6 || data[0] != 0 || data[1] != 0 || (data[2] != 1 && data[2] != 2) || data[3] != 0)
        return true; // no ICO
    static const uchar pngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const quint32 count = littleEndian(data + 4, 2);
    for (quint32 i = 0; i < count && 6 + 16 * qsizetype(i + 1) <= size; ++i) {
        const uchar* entry = data + 6 + 16 * i;
        const qsizetype offset = littleEndian(entry + 12, 4);
        if (offset < 0 || offset + 24 > size || std::memcmp(data + offset, pngMagic, 8) != 0)
            continue;
        if (bigEndian32(data + offset + 16) > quint32(maxRasterEdge) ||
            bigEndian32(data + offset + 20) > quint32(maxRasterEdge))
            return false;
    }
    return true;
}

bool isHref(const QXmlStreamAttribute& attribute)
{
    return attribute.name() == QLatin1String("href");
}

// The work of drawing an SVG, in elements drawn: each element once, and a
// <use> once more for everything it copies. Counts stop just past the limit,
// and a <use> that leads back to itself costs more than any limit.
class SvgCost {
public:
    bool read(const QByteArray& bytes)
    {
        QXmlStreamReader xml(bytes);
        std::vector<int> open;
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
                return false; // entities could make a small file large
            case QXmlStreamReader::StartElement: {
                if (int(m_nodes.size()) >= maxSvgElements || int(open.size()) >= maxSvgDepth)
                    return false;
                const QStringView name = xml.name();
                if (name == QLatin1String("image") || name == QLatin1String("foreignObject"))
                    return false; // an embedded picture is decoded whole, at its own size
                Node node;
                const QXmlStreamAttributes attributes = xml.attributes();
                for (const QXmlStreamAttribute& attribute : attributes) {
                    if (name == QLatin1String("use") && isHref(attribute) &&
                        attribute.value().startsWith(QLatin1Char('#')))
                        node.target = attribute.value().mid(1).toString();
                    if (attribute.qualifiedName() == QLatin1String("id"))
                        m_ids[attribute.value().toString()].push_back(int(m_nodes.size()));
                }
                const int index = int(m_nodes.size());
                if (!open.empty())
                    m_nodes[open.back()].children.push_back(index);
                else
                    m_roots.push_back(index);
                m_nodes.push_back(std::move(node));
                open.push_back(index);
                break;
            }
            case QXmlStreamReader::EndElement:
                if (!open.empty())
                    open.pop_back();
                break;
            default:
                break;
            }
        }
        return !xml.hasError();
    }

    qint64 total()
    {
        m_memo.assign(m_nodes.size(), -1);
        m_visiting.assign(m_nodes.size(), false);
        qint64 sum = 0;
        for (int root : m_roots)
            sum = std::min(sum + cost(root), over);
        return sum;
    }

private:
    static constexpr qint64 over = qint64(maxSvgElements) + 1;

    struct Node {
        std::vector<int> children;
        QString target;
    };

    qint64 cost(int index)
    {
        if (m_memo[index] >= 0)
            return m_memo[index];
        if (m_visiting[index])
            return over;
        m_visiting[index] = true;
        qint64 sum = 1;
        for (int child : m_nodes[index].children) {
            sum = std::min(sum + cost(child), over);
            if (sum >= over)
                break;
        }
        if (!m_nodes[index].target.isEmpty() && sum < over) {
            // With several elements of one id, count the dearest.
            qint64 copied = 0;
            for (int target : m_ids.value(m_nodes[index].target))
                copied = std::max(copied, cost(target));
            sum = std::min(sum + copied, over);
        }
        m_visiting[index] = false;
        m_memo[index] = sum;
        return sum;
    }

    std::vector<Node> m_nodes;
    std::vector<int> m_roots;
    QHash<QString, std::vector<int>> m_ids;
    std::vector<qint64> m_memo;
    std::vector<bool> m_visiting;
};

struct Reader {
    explicit Reader(const QByteArray& bytes)
    {
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setDecideFormatFromContent(true);
    }
    QBuffer buffer;
    QImageReader reader;
};

// Decoding runs here, never on the main thread; two at a time is what the
// machines we run on can spare beside the interface.
QThreadPool& decodersPool()
{
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(2);
    }
    return *pool;
}

void runLater(QObject* context, std::function<QImage()> work, std::function<void(const QImage&)> done)
{
    const bool bound = context != nullptr;
    QPointer<QObject> guard(context);
    decodersPool().start([bound, guard, work = std::move(work), done = std::move(done)]() mutable {
        QImage image = work();
        // The application is gone at shutdown: nobody is left to tell.
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [bound, guard, done = std::move(done), image = std::move(image)] {
                if (!bound || guard)
                    done(image);
            },
            Qt::QueuedConnection);
    });
}

} // namespace

QThreadPool& decoders()
{
    return decodersPool();
}

std::optional<QSize> canvas(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return std::nullopt;
    Reader in(bytes);
    const QSize size = in.reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    return size;
}

bool svgWithinBounds(const QByteArray& bytes)
{
    if (bytes.size() > maxSvgBytes || bytes.startsWith("\x1f\x8b"))
        return false;
    SvgCost cost;
    return cost.read(bytes) && cost.total() <= maxSvgElements;
}

std::optional<QImage> decode(const QByteArray& bytes, int minimumWidth)
{
    if (bytes.isEmpty())
        return std::nullopt;
    Reader in(bytes);
    const QByteArray format = in.reader.format();
    if (format == "svgz")
        return std::nullopt;
    const bool vector = format == "svg";
    if (vector && !svgWithinBounds(bytes))
        return std::nullopt;
    const QSize size = in.reader.size();
    const int edge = vector ? maxVectorEdge : maxRasterEdge;
    if (!size.isValid() || size.isEmpty() || size.width() > edge || size.height() > edge ||
        size.width() < minimumWidth || (!vector && !icoEntriesWithinBounds(bytes)))
        return std::nullopt;

    QSize target = size;
    if (vector || size.width() > keptPixels || size.height() > keptPixels)
        target = size.scaled(keptPixels, keptPixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (target != size)
        in.reader.setScaledSize(target);
    QImage image = in.reader.read();
    if (image.isNull())
        return std::nullopt;
    // A decoder may hand back more than it declared; only the kept size stays.
    if (image.width() > keptPixels || image.height() > keptPixels)
        image = image.scaled(keptPixels, keptPixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage accept(const QByteArray& bytes, const QString& contentType, Origin origin)
{
    switch (origin) {
    case Origin::download:
        if (bytes.size() <= downloadMinimum || bytes.size() >= sizeLimit ||
            contentType.trimmed().toLower().startsWith(QLatin1String("text/html")))
            return {};
        return decode(bytes, downloadMinimumWidth).value_or(QImage());
    case Origin::inlineData:
        return decode(bytes).value_or(QImage());
    case Origin::cacheFile:
        if (bytes.size() >= sizeLimit)
            return {};
        return decode(bytes).value_or(QImage());
    }
    return {};
}

void acceptLater(QByteArray bytes, QString contentType, Origin origin, QObject* context,
                 std::function<void(const QImage&)> done)
{
    runLater(
        context,
        [bytes = std::move(bytes), contentType = std::move(contentType), origin] {
            return accept(bytes, contentType, origin);
        },
        std::move(done));
}

void readLater(QString path, QObject* context, std::function<void(const QImage&)> done)
{
    runLater(
        context,
        [path = std::move(path)] {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly) || file.size() >= sizeLimit)
                return QImage();
            return accept(file.read(sizeLimit), QString(), Origin::cacheFile);
        },
        std::move(done));
}

} // namespace corvane::IconImage
