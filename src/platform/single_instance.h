#pragma once

#include "activation.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>

namespace corvane {

class IntakeServer;
class StartupLock;

// One Corvane per user. The desktop starts `corvane URL…` for every link; a
// later process hands its links to the running one and exits, before it has
// built any application object:
//
//     SingleInstance intake;
//     if (intake.handOff(links, activation))
//         return intake.failure().isEmpty() ? 0 : 1;
//     QApplication app(argc, argv);
//     intake.listen();          // at once: later processes are served from now on
//     // build the state, connect linksReceived / reopenRequested
//     intake.startDelivering(); // what arrived meanwhile, in order
//
// A start-up lock, held from handOff to listen, keeps two processes started
// together from both becoming the first; a socket left behind by a crash is
// replaced, and so is a running process that accepts a connection and never
// greets. One that has greeted is alive: it is waited for and never replaced.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` holds the socket and the start-up lock; empty: defaultFolder().
    explicit SingleInstance(QString folder = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The folder the launcher uses too; empty when no safe folder can be had.
    static QString defaultFolder();

    // How long a running process has to greet, and then to acknowledge.
    void setTimes(int greetingMs, int answerMs);

    // True: this process is done, because a running process acknowledged
    // `links` (none: a reopen), or because one is alive and did not take them
    // (failure() says why). False: this process is to be the first; it keeps
    // the start-up lock until listen(). Needs no application object.
    bool handOff(const QStringList& links, const Activation& activation = {});
    QString failure() const { return m_failure; }

    // Becomes the running process, replacing whoever held the socket, and
    // releases the start-up lock. Later processes are acknowledged from now
    // on, on a thread of their own; what they send is held until
    // startDelivering(). False when no socket could be made: the process then
    // runs on its own.
    bool listen();
    bool isListening() const;
    // Emits what was held, in order of arrival, and from then on what arrives.
    // Needs the event loop of the application object.
    void startDelivering();

    QString serverPath() const;
    // Where the browser extension's host reaches this instance.
    QString tabsServerPath() const;

signals:
    // The links a later process was started with, in its order.
    void linksReceived(const QStringList& links, const corvane::Activation& activation);
    // A later process was started without links.
    void reopenRequested(const corvane::Activation& activation);

private:
    struct Received {
        QStringList links;
        Activation activation;
    };
    bool lockStartup();
    void deliver(const Received& received);

    QString m_folder;
    std::unique_ptr<StartupLock> m_startupLock;
    std::unique_ptr<IntakeServer> m_server;
    int m_greetingMs;
    int m_answerMs;
    QString m_failure;
    bool m_delivering = false;
    QList<Received> m_held;
};

} // namespace corvane
