#pragma once

// What the tests with real browsers share: a page server on 127.0.0.1 that
// tells which pages were asked for, an X server and a session bus of the
// test's own, and the end of every browser a test started.

#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

namespace corvane::test {

// Records the request line of every HTTP request and answers with a tiny page.
class PageServer {
public:
    PageServer();
    QString url(const QString& path) const;
    qsizetype count(const QString& requestLine) const { return m_requests.count(requestLine); }
    bool waitFor(const QString& requestLine, int ms) const;

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QStringList m_requests;
};

// An X server of our own, so every launch of one test finds the running
// browser on the same display and hands it the link.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    QString display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

// A session bus of our own: a second Firefox hands its link to the running
// one over D-Bus, as on every desktop.
class SessionBus {
public:
    SessionBus();
    ~SessionBus();
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

// Ends every browser whose wrapper wrote its pid into `pidFile`: the helper
// starts each in a session of its own, so its process group holds all of it.
class BrowserReaper {
public:
    explicit BrowserReaper(QString pidFile) : m_pidFile(std::move(pidFile)) {}
    ~BrowserReaper();

private:
    QString m_pidFile;
};

} // namespace corvane::test
