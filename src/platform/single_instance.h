#pragma once

#include <QObject>
#include <QStringList>

#include <optional>
#include <sys/types.h>
#include <utility>

class QLocalServer;
class QLocalSocket;

namespace corvane {

// One Corvane per user. The desktop starts `corvane URL…` for every link; a
// later process hands its links to the running one and exits, before it has
// built any window:
//
//     SingleInstance intake;
//     if (intake.handOff(links))
//         return 0;
//     // first (and now listening): connect linksReceived / reopenRequested
//
// A start-up lock keeps two processes started together from both becoming
// the first; a socket left behind by a crash is replaced; a running process
// that does not answer within the answer time is taken over, so no link is
// lost.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` holds the socket and the start-up lock; empty: defaultFolder().
    explicit SingleInstance(QString folder = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR, else a folder of this user's own in the temporary
    // folder; empty when no safe folder can be had.
    static QString defaultFolder();

    void setAnswerTimeout(int milliseconds) { m_answerTimeout = milliseconds; }

    // True: a running process acknowledged `links` (none: a reopen) and this
    // process should exit. False: this process is the first and listens, if
    // it could (see isListening). Blocks for at most the answer time plus the
    // wait for another process's start-up.
    bool handOff(const QStringList& links);

    // Becomes the running process unconditionally, replacing whoever held
    // the socket. handOff does this itself when nobody answers.
    bool listen();
    bool isListening() const;

    QString serverPath() const;

signals:
    // The links a later process was started with, in its order.
    void linksReceived(const QStringList& links);
    // A later process was started without links.
    void reopenRequested();

private:
    bool prepareFolder();
    bool sendTo(const QStringList& links);
    bool listenLocked();
    void accept();
    void serve(QLocalSocket* socket);

    QString m_folder;
    int m_answerTimeout = 2000;
    QLocalServer* m_server = nullptr;
    std::optional<std::pair<dev_t, ino_t>> m_socketIdentity; // the socket file we created
};

} // namespace corvane
