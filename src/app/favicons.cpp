#include "favicons.h"

#include "favicon_fetcher.h"
#include "icon_image.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace corvane {

namespace {

Favicons* g_installed = nullptr;

QString keyOf(const QString& host)
{
    return host.toLower();
}

// A key names a file inside the folder only when it cannot name a path of its
// own; anything else is kept in memory only.
bool fitsFileName(const QString& key)
{
    return key != QLatin1String(".") && key != QLatin1String("..") && !key.contains(QLatin1Char('/')) &&
           !key.contains(QChar(0));
}

} // namespace

Favicons::Favicons(QString folder, Fetch fetch, bool offline, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_fetch(std::move(fetch)), m_offline(offline)
{
    if (!m_fetch)
        m_fetch = [](const QString& host, QObject* context, std::function<void(const QImage&)> done) {
            FaviconFetcher::fetch(host, context, std::move(done));
        };
}

Favicons& Favicons::shared()
{
    if (g_installed)
        return *g_installed;
    static Favicons* store = new Favicons(standardFolder());
    return *store;
}

void Favicons::install(Favicons* store)
{
    g_installed = store;
}

QString Favicons::standardFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/corvane/icons");
}

std::optional<QImage> Favicons::cached(const QString& host) const
{
    const auto found = m_images.constFind(keyOf(host));
    if (found == m_images.constEnd())
        return std::nullopt;
    return *found;
}

QString Favicons::pathOf(const QString& key) const
{
    return fitsFileName(key) ? m_folder + QLatin1Char('/') + key + QStringLiteral(".icon") : QString();
}

void Favicons::request(const QString& host)
{
    const QString key = keyOf(host);
    if (key.isEmpty() || m_images.contains(key) || m_inFlight.contains(key) || m_missing.contains(key))
        return;

    const QString path = pathOf(key);
    if (m_offline) {
        QFile file(path);
        const QImage image = !path.isEmpty() && file.open(QIODevice::ReadOnly)
                                 ? IconImage::accept(file.read(FaviconFetcher::imageLimit), QString(),
                                                     IconImage::Origin::cacheFile)
                                 : QImage();
        if (image.isNull())
            m_missing.insert(key);
        else
            store(key, image);
        return;
    }

    m_inFlight.insert(key);
    if (path.isEmpty()) {
        m_waiting.push_back(key);
        startFetches();
        return;
    }
    // A file that cannot be read or no longer decodes is fetched again.
    IconImage::readLater(path, this, [this, key](const QImage& image) {
        if (!image.isNull()) {
            m_inFlight.remove(key);
            store(key, image);
            return;
        }
        m_waiting.push_back(key);
        startFetches();
    });
}

void Favicons::store(const QString& key, const QImage& image)
{
    m_images.insert(key, image);
    emit imageChanged(key);
}

void Favicons::startFetches()
{
    while (m_fetching < maxFetches && !m_waiting.empty()) {
        const QString key = m_waiting.front();
        m_waiting.pop_front();
        ++m_fetching;
        m_fetch(key, this, [this, key](const QImage& image) { fetched(key, image); });
    }
}

void Favicons::fetched(const QString& key, const QImage& image)
{
    --m_fetching;
    m_inFlight.remove(key);
    if (image.isNull()) {
        m_missing.insert(key);
    } else {
        // Without the file the icon is only fetched again in a later run, so
        // a folder or write failure changes nothing now. QSaveFile renames a
        // complete file into place: a reader never sees half an icon. The
        // file holds the scaled icon, never what the site sent.
        const QString path = pathOf(key);
        if (!path.isEmpty() && QDir().mkpath(m_folder)) {
            QSaveFile out(path);
            if (out.open(QIODevice::WriteOnly) && image.save(&out, "PNG"))
                out.commit();
        }
        store(key, image);
    }
    startFetches();
}

} // namespace corvane
