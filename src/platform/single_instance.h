#pragma once

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <sys/types.h>
#include <utility>

class QLocalServer;
class QLockFile;
class QLocalSocket;

namespace corvane {

// One Corvane per user. The desktop starts `corvane URL…` for every link; a
// later process hands its links to the running one and exits, before it has
// built any application object:
//
//     SingleInstance intake;
//     if (intake.handOff(links))
//         return 0;
//     QApplication app(argc, argv);
//     intake.listen();
//     // connect linksReceived / reopenRequested
//
// A start-up lock, held from handOff to listen, keeps two processes started
// together from both becoming the first; a socket left behind by a crash is
// replaced; a running process that does not answer within the answer time is
// taken over, so no link is lost.
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
    // process should exit. False: this process is to be the first; it keeps
    // the start-up lock until listen(). Needs no application object. Blocks
    // for at most the answer time plus the wait for another process's
    // start-up.
    bool handOff(const QStringList& links);

    // Becomes the running process, replacing whoever held the socket, and
    // releases the start-up lock. Needs the application object (the event
    // loop delivers the connections). False when no socket could be made:
    // the process then runs on its own.
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
    bool lockStartup();
    void accept();
    void serve(QLocalSocket* socket);

    QString m_folder;
    std::unique_ptr<QLockFile> m_startupLock;
    int m_answerTimeout = 2000;
    QLocalServer* m_server = nullptr;
    std::optional<std::pair<dev_t, ino_t>> m_socketIdentity; // the socket file we created
};

} // namespace corvane
