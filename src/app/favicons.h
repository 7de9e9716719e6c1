#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

namespace corvane {

// The process-wide store of site icons, keyed by the lower-cased host. It
// answers from memory at once, fills itself from the cache folder and, when
// that has nothing, from the network: at most one fetch per host at a time,
// one failed fetch per host per run, and a few hosts fetched at a time. Files
// are read and images decoded off the main thread; memory and the cache
// folder only ever hold the icon scaled to what the interface shows.
class Favicons : public QObject {
    Q_OBJECT

public:
    // Fetches the icon of a host and calls `done` once on this thread, with a
    // null image when nothing was found.
    using Fetch =
        std::function<void(const QString& host, QObject* context, std::function<void(const QImage&)> done)>;

    // A first run with hundreds of rules on screen asks for every host at
    // once; the rest wait their turn.
    static constexpr int maxFetches = 4;

    // `fetch` empty: the network fetcher. `offline`: only the cache folder is
    // read, at once (the preview renderer never touches the network and draws
    // each page once, routing no links).
    explicit Favicons(QString folder, Fetch fetch = {}, bool offline = false, QObject* parent = nullptr);

    // Created on first use over standardFolder(), unless install() gave one.
    static Favicons& shared();
    // Replaces the shared store (tests and previews); not owned.
    static void install(Favicons* store);
    // $XDG_CACHE_HOME/corvane/icons.
    static QString standardFolder();

    QString folder() const { return m_folder; }

    // The image known in memory, or nothing; never starts work.
    std::optional<QImage> cached(const QString& host) const;
    // Makes sure the icon is loaded or being loaded; returns at once.
    void request(const QString& host);

signals:
    // A new image is in memory for this host key.
    void imageChanged(const QString& key);

private:
    QString pathOf(const QString& key) const;
    void store(const QString& key, const QImage& image);
    void startFetches();
    void fetched(const QString& key, const QImage& image);

    QString m_folder;
    Fetch m_fetch;
    bool m_offline = false;
    QHash<QString, QImage> m_images;
    // Being read from the cache, waiting for its fetch, or being fetched.
    QSet<QString> m_inFlight;
    QSet<QString> m_missing;
    std::deque<QString> m_waiting;
    int m_fetching = 0;
};

} // namespace corvane
