#include "tab_relay.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTimer>

namespace corvane {

TabRelay::TabRelay(QObject* parent) : QObject(parent)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &TabRelay::accept);
}

TabRelay::~TabRelay()
{
    // The sockets go with the server, after our own state: they must not call back.
    for (QLocalSocket* socket : std::as_const(m_order))
        socket->disconnect(this);
    for (const Question& question : std::as_const(m_questions))
        delete question.timer;
}

bool TabRelay::listen(const QString& path)
{
    if (path.isEmpty())
        return false;
    QLocalServer::removeServer(path);
    return m_server.listen(path);
}

QString TabRelay::path() const
{
    return m_server.fullServerName();
}

QStringList TabRelay::connectedProfiles(const QString& browserId) const
{
    QStringList profiles;
    for (QLocalSocket* socket : m_order) {
        const Peer& peer = m_peers[socket];
        if (peer.greeted && peer.browser == browserId && !profiles.contains(peer.profile))
            profiles.append(peer.profile);
    }
    return profiles;
}

bool TabRelay::isConnected(const QString& browserId, const QString& profile) const
{
    return connectedProfiles(browserId).contains(profile);
}

void TabRelay::switchToTab(const QString& browserId, const QString& profile, const QString& url,
                           int timeoutMs, QObject* context, Answer answer)
{
    // The newest connection of that profile: an older one is on its way out.
    QLocalSocket* target = nullptr;
    for (QLocalSocket* socket : m_order) {
        const Peer& peer = m_peers[socket];
        if (peer.greeted && peer.browser == browserId && peer.profile == profile)
            target = socket;
    }
    const int id = m_nextId++;
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] { settle(id, false); });
    m_questions.insert(id, Question{target, context, std::move(answer), timer});
    if (!target) {
        timer->start(0);
        return;
    }
    const QJsonObject find{{"type", "find"}, {"id", id}, {"url", url}, {"within", timeoutMs / 2}};
    target->write(QJsonDocument(find).toJson(QJsonDocument::Compact) + '\n');
    target->flush();
    timer->start(timeoutMs);
}

void TabRelay::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        m_peers.insert(socket, Peer{});
        m_order.append(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void TabRelay::read(QLocalSocket* socket)
{
    if (!m_peers.contains(socket))
        return;
    m_peers[socket].buffer += socket->readAll();
    for (;;) {
        QByteArray& buffer = m_peers[socket].buffer;
        const qsizetype end = buffer.indexOf('\n');
        if (end < 0) {
            if (buffer.size() > maxLineBytes)
                drop(socket);
            return;
        }
        const QByteArray line = buffer.left(end);
        buffer.remove(0, end + 1);
        if (line.size() > maxLineBytes || !handle(socket, line)) {
            drop(socket);
            return;
        }
    }
}

bool TabRelay::handle(QLocalSocket* socket, const QByteArray& line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return false;
    const QJsonObject message = document.object();
    const QString type = message.value("type").toString();
    Peer& peer = m_peers[socket];
    if (!peer.greeted) {
        const QString browser = message.value("browser").toString();
        const QString profile = message.value("profile").toString();
        if (type != "hello" || browser.isEmpty() || profile.isEmpty())
            return false;
        peer.browser = browser;
        peer.profile = profile;
        peer.greeted = true;
        emit connectionsChanged();
        return true;
    }
    if (type != "found" || !message.value("id").isDouble() || !message.value("switched").isBool())
        return false;
    const int id = message.value("id").toInt();
    // Only the connection asked may answer; a late answer finds nobody waiting.
    const auto question = m_questions.constFind(id);
    if (question != m_questions.constEnd() && question->socket == socket)
        settle(id, message.value("switched").toBool());
    return true;
}

void TabRelay::drop(QLocalSocket* socket)
{
    if (!m_peers.contains(socket))
        return;
    const bool greeted = m_peers.take(socket).greeted;
    m_order.removeAll(socket);
    QList<int> waiting;
    for (auto it = m_questions.cbegin(); it != m_questions.cend(); ++it) {
        if (it->socket == socket)
            waiting.append(it.key());
    }
    for (const int id : waiting)
        settle(id, false);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (greeted)
        emit connectionsChanged();
}

void TabRelay::settle(int id, bool switched)
{
    const auto it = m_questions.find(id);
    if (it == m_questions.end())
        return;
    Question question = *it;
    m_questions.erase(it);
    question.timer->deleteLater();
    if (question.context && question.answer)
        question.answer(switched);
}

} // namespace corvane
