#pragma once

#include "app/presenters.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace corvane::testing {

// Files over HTTP on 127.0.0.1: each path answers with its status and body,
// anything else with 404. Counts the requests per path.
class FileServer {
public:
    FileServer();
    void route(const QString& path, int status, const QByteArray& body = {});
    // Answers 200 with a length of a megabyte and then sends one byte every
    // 50 ms, as a server that drips.
    void drip(const QString& path) { m_drips.insert(path); }
    void remove(const QString& path) { m_routes.remove(path); }
    QString url(const QString& path) const;
    int hits(const QString& path) const { return m_hits.value(path); }
    int totalHits() const;

private:
    QTcpServer m_server;
    QHash<QString, std::pair<int, QByteArray>> m_routes;
    QHash<QString, int> m_hits;
    QSet<QString> m_drips;
};

// One entry of a zip archive written for a test.
struct ZipEntry {
    enum Kind { file, folder, link };
    QString name;
    Kind kind = file;
    QByteArray content; // a file's bytes or a link's target
    int mode = 0644;
};

// Writes a zip archive with exactly these entries, names as given.
void writeZip(const QString& path, const std::vector<ZipEntry>& entries);
// The entries of an application folder "<root>" with this version and a
// bin/corvane that prints `marker`.
std::vector<ZipEntry> applicationEntries(const QString& version, const QString& root = "Corvane.app",
                                         const QByteArray& marker = "new");

// Key pairs made by the minisign tool in a folder of its own.
class SigningKeys {
public:
    SigningKeys(); // makes "trusted" and "foreign"
    QString publicKey(const QString& name = "trusted") const;
    // The .minisig text for a file, or empty when minisign failed. A release
    // names itself in the trusted comment; empty: minisign's own comment.
    QByteArray sign(const QString& file, const QString& name = "trusted",
                    const QString& comment = "Corvane 2.0") const;
    bool ok() const { return m_ok; }

private:
    QTemporaryDir m_dir;
    bool m_ok = true;
};

// Alerts answered at once: with the next queued response, or else the last
// button (the safe one), and recorded.
class FakeAlerts : public AlertPresenter {
public:
    QList<Alert> shown;
    QList<int> answers;
    void run(const Alert& alert, std::function<void(int)> done) override;
};

// A Corvane.app folder on disk with a version and a marker in bin/corvane.
void writeApplication(const QString& folder, const QString& version, const QByteArray& marker);
QString markerOf(const QString& application);

} // namespace corvane::testing
