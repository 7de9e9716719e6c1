#include "single_instance.h"

#include "intake/intake_client.h"
#include "intake/intake_folder.h"
#include "intake/intake_server.h"

#include <QMetaObject>

namespace corvane {

namespace {

// Long enough for another process to finish its hand-off or its socket set-up.
constexpr int lockWaitMs = 5000;

std::string bytes(const QString& text)
{
    return text.toUtf8().toStdString();
}

QString text(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), m_folder(folder.isEmpty() ? defaultFolder() : std::move(folder)),
      m_greetingMs(IntakeClient::Times{}.greetingMs), m_answerMs(IntakeClient::Times{}.answerMs)
{
}

// The server's thread is joined before the object goes, so nothing it queued
// can reach a dead object.
SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultFolder()
{
    return text(IntakeFolder::choose());
}

void SingleInstance::setTimes(int greetingMs, int answerMs)
{
    m_greetingMs = greetingMs;
    m_answerMs = answerMs;
}

QString SingleInstance::serverPath() const
{
    return text(IntakeFolder::socketPath(bytes(m_folder)));
}

QString SingleInstance::tabsServerPath() const
{
    return text(IntakeFolder::tabsSocketPath(bytes(m_folder)));
}

bool SingleInstance::isListening() const
{
    return m_server != nullptr;
}

bool SingleInstance::lockStartup()
{
    if (m_startupLock)
        return true;
    const std::string folder = bytes(m_folder);
    // A folder that is already safe is left as it is ($XDG_RUNTIME_DIR may
    // well be 0711).
    if (folder.empty() || serverPath().isEmpty() ||
        !(IntakeFolder::isPrivate(folder) || IntakeFolder::makePrivate(folder)))
        return false;
    m_startupLock = std::make_unique<StartupLock>();
    // Without the lock (its holder is stuck) going on is better than hanging
    // the desktop's link: at worst two processes end up listening.
    m_startupLock->acquire(bytes(m_folder), lockWaitMs);
    return true;
}

bool SingleInstance::handOff(const QStringList& links, const Activation& activation)
{
    m_failure.clear();
    if (m_server || !lockStartup())
        return false;
    IntakeProtocol::Message message{{}, bytes(activation.startupId), bytes(activation.token)};
    // Every link goes over, however long: the router refuses what it cannot
    // open and says so.
    for (const QString& link : links)
        message.links.push_back(bytes(link));
    const std::optional<std::string> encoded = IntakeProtocol::encode(message);
    if (!encoded) {
        m_failure = QStringLiteral("The links are too long to hand to the running Corvane.");
        return true;
    }
    const IntakeClient::Outcome outcome = IntakeClient::handOff(
        bytes(serverPath()), *encoded, {m_greetingMs, m_answerMs}, [this] { m_startupLock->release(); });
    if (outcome == IntakeClient::Outcome::nobody)
        return false;
    m_startupLock.reset();
    m_failure = text(IntakeClient::explain(outcome));
    return true;
}

bool SingleInstance::listen()
{
    if (m_server)
        return true;
    if (!lockStartup())
        return false;
    const std::unique_ptr<StartupLock> lock = std::move(m_startupLock);
    m_server = IntakeServer::start(bytes(serverPath()), [this](IntakeProtocol::Message message) {
        Received received;
        for (const std::string& link : message.links)
            received.links << text(link);
        received.activation = {text(message.startupId), text(message.activationToken)};
        QMetaObject::invokeMethod(
            this, [this, received] { deliver(received); }, Qt::QueuedConnection);
    });
    return m_server != nullptr;
}

void SingleInstance::startDelivering()
{
    if (m_delivering)
        return;
    m_delivering = true;
    const QList<Received> held = std::exchange(m_held, {});
    for (const Received& received : held)
        deliver(received);
}

void SingleInstance::deliver(const Received& received)
{
    if (!m_delivering) {
        m_held << received;
        return;
    }
    if (received.links.isEmpty())
        emit reopenRequested(received.activation);
    else
        emit linksReceived(received.links, received.activation);
}

} // namespace corvane
