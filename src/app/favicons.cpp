#include "favicons.h"

#include "favicon_fetcher.h"

#include <QDir>
#include <QFile>
#include <QPointer>
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
        m_fetch = [](const QString& host, QObject* context, std::function<void(const QByteArray&)> done) {
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

void Favicons::request(const QString& host)
{
    const QString key = keyOf(host);
    if (key.isEmpty() || m_images.contains(key) || m_inFlight.contains(key) || m_missing.contains(key))
        return;

    const QString path =
        fitsFileName(key) ? m_folder + QLatin1Char('/') + key + QStringLiteral(".icon") : QString();
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const QImage image = QImage::fromData(file.readAll());
        if (!image.isNull()) {
            m_images.insert(key, image);
            emit imageChanged(key);
            return;
        }
    }
    if (m_offline) {
        m_missing.insert(key);
        return;
    }

    m_inFlight.insert(key);
    m_fetch(key, this, [this, key, path](const QByteArray& bytes) {
        m_inFlight.remove(key);
        const QImage image = bytes.isEmpty() ? QImage() : QImage::fromData(bytes);
        if (image.isNull()) {
            m_missing.insert(key);
            return;
        }
        // Without the file the icon is only fetched again in a later run, so
        // a folder or write failure changes nothing now. QSaveFile renames a
        // complete file into place: a reader never sees half an icon.
        if (!path.isEmpty() && QDir().mkpath(m_folder)) {
            QSaveFile out(path);
            if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size())
                out.commit();
        }
        m_images.insert(key, image);
        emit imageChanged(key);
    });
}

} // namespace corvane
