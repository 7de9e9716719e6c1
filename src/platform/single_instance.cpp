#include "single_instance.h"

#include "intake_protocol.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

// Long enough for another process to finish its own start-up, including a
// full answer time spent on a running process that has stopped answering.
constexpr int lockWaitMs = 5000;
// A lock this old belongs to a process stuck in start-up; one of a process
// that died is recognised at once.
constexpr int staleLockMs = 15000;
// A client that connects and then sends nothing is dropped.
constexpr int idleClientMs = 10000;

int remainingMs(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(deadline.remainingTime(), 0));
}

// A folder only this user can change: anyone else could replace our socket
// and receive the links.
bool isPrivateFolder(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool makePrivateFolder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    return (info.st_mode & 077) == 0 || ::chmod(name.constData(), 0700) == 0;
}

std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair{info.st_dev, info.st_ino};
}

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), m_folder(folder.isEmpty() ? defaultFolder() : std::move(folder))
{
}

SingleInstance::~SingleInstance()
{
    // Closing a QLocalServer removes the file at its path. When a later
    // process has taken over, that file is the new owner's socket: leave it,
    // and the listening descriptor, to the end of the process.
    if (m_server && m_socketIdentity && fileIdentity(serverPath()) != m_socketIdentity)
        m_server->setParent(nullptr);
}

QString SingleInstance::defaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime))
        return runtime;
    const QString own = QDir::tempPath() + QStringLiteral("/corvane-") + QString::number(::getuid());
    return makePrivateFolder(own) ? own : QString();
}

QString SingleInstance::serverPath() const
{
    return m_folder.isEmpty() ? QString() : m_folder + QStringLiteral("/corvane.sock");
}

bool SingleInstance::isListening() const
{
    return m_server != nullptr;
}

bool SingleInstance::prepareFolder()
{
    if (m_folder.isEmpty())
        return false;
    if (!QFileInfo::exists(m_folder) && !QDir().mkpath(QFileInfo(m_folder).absolutePath()))
        return false;
    return isPrivateFolder(m_folder) || makePrivateFolder(m_folder);
}

bool SingleInstance::lockStartup()
{
    if (m_startupLock)
        return true;
    if (!prepareFolder())
        return false;
    m_startupLock = std::make_unique<QLockFile>(m_folder + QStringLiteral("/corvane.lock"));
    m_startupLock->setStaleLockTime(staleLockMs);
    // Without the lock (its holder is stuck) going on is better than hanging
    // the desktop's link: at worst two processes end up listening.
    m_startupLock->tryLock(lockWaitMs);
    return true;
}

bool SingleInstance::handOff(const QStringList& links)
{
    if (m_server || !lockStartup())
        return false;
    if (!sendTo(links))
        return false;
    m_startupLock.reset();
    return true;
}

bool SingleInstance::listen()
{
    if (m_server)
        return true;
    if (!lockStartup())
        return false;
    const std::unique_ptr<QLockFile> lock = std::move(m_startupLock);
    auto server = std::make_unique<QLocalServer>(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Whatever is at the path belongs to a process that crashed or stopped
    // answering: handOff found nobody to talk to, under the lock.
    QLocalServer::removeServer(serverPath());
    if (!server->listen(serverPath()))
        return false;
    m_socketIdentity = fileIdentity(serverPath());
    connect(server.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    m_server = server.release();
    return true;
}

bool SingleInstance::sendTo(const QStringList& links)
{
    const QDeadlineTimer deadline(m_answerTimeout, Qt::PreciseTimer);
    QLocalSocket socket;
    socket.connectToServer(serverPath());
    if (!socket.waitForConnected(remainingMs(deadline)))
        return false; // nobody there, or a socket left by a crash

    QByteArray received;
    const auto receiveAtLeast = [&](qsizetype size) {
        while (received.size() < size) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(remainingMs(deadline)))
                return false;
            received += socket.readAll();
        }
        return true;
    };

    const QByteArray greeting = IntakeProtocol::greeting();
    if (!receiveAtLeast(greeting.size()) || !received.startsWith(greeting))
        return false;
    received.remove(0, greeting.size());

    socket.write(IntakeProtocol::encode(links));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return false;
    }
    const QByteArray ack = IntakeProtocol::acknowledgement();
    return receiveAtLeast(ack.size()) && received.startsWith(ack);
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection())
        serve(socket);
}

void SingleInstance::serve(QLocalSocket* socket)
{
    auto buffer = std::make_shared<QByteArray>();
    auto answered = std::make_shared<bool>(false);
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer, answered] {
        if (*answered) {
            socket->readAll();
            return;
        }
        *buffer += socket->readAll();
        const IntakeProtocol::Decoded message = IntakeProtocol::decode(*buffer);
        if (message.status == IntakeProtocol::Status::incomplete)
            return;
        if (message.status == IntakeProtocol::Status::malformed) {
            socket->abort();
            return;
        }
        *answered = true;
        buffer->clear();
        socket->write(IntakeProtocol::acknowledgement());
        socket->flush();
        if (message.links.isEmpty())
            emit reopenRequested();
        else
            emit linksReceived(message.links);
    });
    socket->write(IntakeProtocol::greeting());
    socket->flush();
    idle->start(idleClientMs);
}

} // namespace corvane
