#pragma once

#include <QHash>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalSocket;
class QTimer;

namespace corvane {

// Where Corvane's browser extension is connected, and the one question Corvane
// asks it: "switch to a tab that shows this link". Each extension reaches us
// through a host the browser starts (corvane-extension-host), which first
// says which installation and profile it speaks for; then one JSON object per
// line each way:
//   to the extension:   {"type":"find","id":N,"url":URL,"within":MS}
//   from the extension: {"type":"found","id":N,"switched":BOOL}
// A connection that sends anything else, or a line over the bound, is closed.
class TabRelay : public QObject {
    Q_OBJECT
public:
    using Answer = std::function<void(bool switched)>;

    static constexpr qsizetype maxLineBytes = 64 * 1024;

    explicit TabRelay(QObject* parent = nullptr);
    ~TabRelay() override;

    // Listens at `path`, replacing a socket file left by a Corvane that is
    // gone (only the running instance gets this far). False on failure.
    bool listen(const QString& path);
    QString path() const;

    // The profiles of `browserId` whose extension is connected now, in the
    // order they connected.
    QStringList connectedProfiles(const QString& browserId) const;
    bool isConnected(const QString& browserId, const QString& profile) const;

    // Asks the extension in that profile to switch to an open tab showing
    // `url`. `answer` gets true only when it did, false when no extension is
    // connected there, it has no such tab, or it has not answered within
    // `timeoutMs`. The extension itself gives up switching after half of
    // that, so a late yes never follows a no. Called once, from the event
    // loop, unless `context` is destroyed first.
    void switchToTab(const QString& browserId, const QString& profile, const QString& url, int timeoutMs,
                     QObject* context, Answer answer);

signals:
    void connectionsChanged();

private:
    struct Peer {
        QString browser;
        QString profile;
        bool greeted = false;
        QByteArray buffer;
    };
    struct Question {
        QLocalSocket* socket = nullptr;
        QPointer<QObject> context;
        Answer answer;
        QTimer* timer = nullptr;
    };

    void accept();
    void read(QLocalSocket* socket);
    bool handle(QLocalSocket* socket, const QByteArray& line);
    void drop(QLocalSocket* socket);
    void settle(int id, bool switched);

    QLocalServer m_server;
    QHash<QLocalSocket*, Peer> m_peers;
    QList<QLocalSocket*> m_order; // connection order
    QHash<int, Question> m_questions;
    int m_nextId = 1;
};

} // namespace corvane
