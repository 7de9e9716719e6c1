#include "intake_child.h"
#include "platform/intake/intake_protocol.h"
#include "platform/intake/intake_server.h"
#include "platform/single_instance.h"
#include "wait_until.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <signal.h>

using namespace corvane;
using namespace corvane::test;

namespace {

class Intake : public ::testing::Test {
protected:
    QString folder(const QString& name = QStringLiteral("run")) const { return m_dir.path() + u'/' + name; }

    static void expectHanded(QProcess& child)
    {
        EXPECT_EQ(nextLine(child), QStringLiteral("handed"));
        ASSERT_TRUE(child.state() == QProcess::NotRunning || child.waitForFinished(10000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0);
    }

    // Lets the event loop of this process serve while `child` hands off.
    static void expectHandedTo(QProcess& child)
    {
        QSignalSpy finished(&child, &QProcess::finished);
        ASSERT_TRUE(finished.wait(10000)) << nextLine(child, 0).toStdString();
        expectHanded(child);
    }

    QTemporaryDir m_dir;
};

TEST_F(Intake, LaterProcessHandsItsLinksInOrderOrAReopen)
{
    SingleInstance first(folder());
    ASSERT_FALSE(first.handOff({}));
    ASSERT_TRUE(first.listen());
    first.startDelivering();
    QSignalSpy links(&first, &SingleInstance::linksReceived);
    QSignalSpy reopen(&first, &SingleInstance::reopenRequested);

    const QStringList batch{
        QStringLiteral("https://example.org/"),
        QStringLiteral("https://b.example/päth?q=a b#x"),
        QStringLiteral("mailto:someone@example.org"),
        QStringLiteral("file:///tmp/a%20b.html"),
        QStringLiteral("https://long.example/?") + QString(32000, u'x'),
        QStringLiteral("https://example.org/"), // repeats are kept
    };
    expectHandedTo(*startIntakeChild(folder(), batch));
    expectHandedTo(*startIntakeChild(folder(), {}));

    ASSERT_EQ(links.count(), 1);
    EXPECT_EQ(links.at(0).at(0).toStringList(), batch);
    EXPECT_EQ(reopen.count(), 1);
}

QByteArray encoded(const IntakeProtocol::Message& message)
{
    const std::optional<std::string> bytes = IntakeProtocol::encode(message);
    return bytes ? QByteArray::fromStdString(*bytes) : QByteArray();
}

QByteArray fromView(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

TEST_F(Intake, MessageInPiecesIsReassembledAndGarbageIsDropped)
{
    SingleInstance first(folder());
    ASSERT_TRUE(first.listen());
    first.startDelivering();
    QSignalSpy links(&first, &SingleInstance::linksReceived);

    QLocalSocket client;
    client.connectToServer(first.serverPath());
    ASSERT_TRUE(client.waitForConnected(5000));
    const IntakeProtocol::Message sent{{"https://a.example/", "https://b.example/"}, "startup-1", "token-1"};
    for (const char byte : encoded(sent)) {
        client.write(&byte, 1);
        client.flush();
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitUntil([&] { return links.count() == 1; }));
    EXPECT_EQ(links.at(0).at(0).toStringList(),
              (QStringList{QStringLiteral("https://a.example/"), QStringLiteral("https://b.example/")}));
    EXPECT_EQ(links.at(0).at(1).value<Activation>(),
              (Activation{QStringLiteral("startup-1"), QStringLiteral("token-1")}));
    const QByteArray expected =
        fromView(IntakeProtocol::greeting()) + fromView(IntakeProtocol::acknowledgement());
    EXPECT_TRUE(waitUntil([&] { return client.bytesAvailable() >= expected.size(); }));
    EXPECT_EQ(client.readAll(), expected);

    QLocalSocket garbage;
    garbage.connectToServer(first.serverPath());
    ASSERT_TRUE(garbage.waitForConnected(5000));
    garbage.write(QByteArray("\xff\xff\xff\xff", 4)); // a message of four gigabytes
    QSignalSpy dropped(&garbage, &QLocalSocket::disconnected);
    EXPECT_TRUE(dropped.wait(5000));
    EXPECT_EQ(links.count(), 1);
}

// Messages that are all ready when the server next looks go on in the order
// their connections came in, never last first. The first message holds the
// server's thread while the three others arrive, so they are read together.
TEST_F(Intake, MessagesReadyTogetherGoOnInArrivalOrder)
{
    std::mutex mutex;
    std::vector<std::string> order;
    std::atomic<bool> holding = false;
    const auto server =
        IntakeServer::start(folder("order.sock").toStdString(), [&](IntakeProtocol::Message m) {
            {
                const std::lock_guard lock(mutex);
                order.push_back(m.links.at(0));
            }
            if (m.links.at(0) == "hold") {
                holding = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
        });
    ASSERT_TRUE(server);
    const auto greeted = [&](QLocalSocket& socket) {
        socket.connectToServer(folder("order.sock"));
        return socket.waitForConnected(5000) && socket.waitForReadyRead(5000) && socket.readAll().size() > 0;
    };
    for (int round = 0; round < 5; ++round) {
        {
            const std::lock_guard lock(mutex);
            order.clear();
        }
        holding = false;
        QLocalSocket hold, first, second, third;
        for (QLocalSocket* socket : {&hold, &first, &second, &third})
            ASSERT_TRUE(greeted(*socket)) << "round " << round;
        hold.write(encoded({{"hold"}, "", ""}));
        hold.waitForBytesWritten(5000);
        ASSERT_TRUE(waitUntil([&] { return holding.load(); }));
        int n = 1;
        for (QLocalSocket* socket : {&first, &second, &third}) {
            socket->write(encoded({{"link " + std::to_string(n++)}, "", ""}));
            socket->waitForBytesWritten(5000);
        }
        ASSERT_TRUE(waitUntil([&] {
            const std::lock_guard lock(mutex);
            return order.size() == 4;
        }));
        const std::lock_guard lock(mutex);
        EXPECT_EQ(order, (std::vector<std::string>{"hold", "link 1", "link 2", "link 3"}))
            << "round " << round;
    }
}

// A message over the limit, or a connection beyond the few a real
// launch burst needs, is closed unanswered; the others are served as ever.
TEST_F(Intake, ConnectionsBeyondTheLimitsAreClosed)
{
    SingleInstance first(folder());
    ASSERT_TRUE(first.listen());
    first.startDelivering();
    QSignalSpy links(&first, &SingleInstance::linksReceived);

    QLocalSocket tooLong;
    tooLong.connectToServer(first.serverPath());
    ASSERT_TRUE(tooLong.waitForConnected(5000));
    const auto number = [](quint32 value) {
        QByteArray bytes;
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char((value >> shift) & 0xff));
        return bytes;
    };
    // Declares a message over the limit: closed before the body is read.
    tooLong.write(number(quint32(IntakeProtocol::maxMessageBytes + 1)) + QByteArray(4096, 'x'));
    QSignalSpy closed(&tooLong, &QLocalSocket::disconnected);
    EXPECT_TRUE(closed.wait(5000));
    EXPECT_FALSE(tooLong.readAll().contains(fromView(IntakeProtocol::acknowledgement())));

    std::vector<std::unique_ptr<QLocalSocket>> idle;
    const auto greeted = [](QLocalSocket& socket) {
        return waitUntil(
            [&] { return socket.bytesAvailable() > 0 || socket.state() != QLocalSocket::ConnectedState; });
    };
    for (int i = 0; i < 32; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(first.serverPath());
        ASSERT_TRUE(idle.back()->waitForConnected(5000));
        ASSERT_TRUE(greeted(*idle.back()));
        ASSERT_EQ(idle.back()->state(), QLocalSocket::ConnectedState) << "connection " << i;
    }
    QLocalSocket beyond;
    beyond.connectToServer(first.serverPath());
    ASSERT_TRUE(greeted(beyond));
    EXPECT_EQ(beyond.bytesAvailable(), 0);
    EXPECT_TRUE(waitUntil([&] { return beyond.state() != QLocalSocket::ConnectedState; }));

    idle.clear();
    expectHandedTo(*startIntakeChild(folder(), {QStringLiteral("https://after.example/")}));
    ASSERT_EQ(links.count(), 1);
    EXPECT_EQ(links.at(0).at(0).toStringList(), QStringList{QStringLiteral("https://after.example/")});
}

// Once a running process has greeted it is alive, however long it takes to
// confirm: a later one waits, never takes over, and the links arrive once.
TEST_F(Intake, GreetedButSlowRunningProcessIsWaitedForAndNeverReplaced)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QLocalServer slow;
    ASSERT_TRUE(slow.listen(SingleInstance(folder()).serverPath()));
    QList<IntakeProtocol::Message> received;
    QObject::connect(&slow, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = slow.nextPendingConnection();
        socket->write(fromView(IntakeProtocol::greeting()));
        auto buffer = std::make_shared<std::string>();
        QObject::connect(socket, &QLocalSocket::readyRead, [&, socket, buffer] {
            *buffer += socket->readAll().toStdString();
            const IntakeProtocol::Decoded decoded = IntakeProtocol::decode(*buffer);
            if (decoded.status != IntakeProtocol::Status::complete)
                return;
            received << decoded.message;
            // Far beyond the time a silent process gets to greet.
            QTimer::singleShot(4000, socket,
                               [socket] { socket->write(fromView(IntakeProtocol::acknowledgement())); });
        });
    });

    const QStringList links{QStringLiteral("https://a.example/"), QStringLiteral("https://b.example/")};
    auto later = startIntakeChild(folder(), links);
    QSignalSpy finished(later.get(), &QProcess::finished);
    ASSERT_TRUE(finished.wait(20000)) << "it waits for the answer, with a bound";
    EXPECT_EQ(nextLine(*later), QStringLiteral("handed")) << "it never becomes the running process";
    EXPECT_EQ(later->exitCode(), 0);
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.at(0).links, (std::vector<std::string>{"https://a.example/", "https://b.example/"}));
}

// A first process that takes long to build its state listens before it does:
// a burst of later processes is acknowledged meanwhile, none becomes a second
// running process, and their links are delivered, in order, once it is ready.
TEST_F(Intake, SlowFirstStartLetsABurstInWithoutASecondRunningProcess)
{
    auto first = startIntakeChild(folder(), {}, 6000);
    ASSERT_EQ(nextLine(*first), QStringLiteral("listening"));
    std::vector<std::unique_ptr<IntakeChild>> burst;
    QStringList sent;
    for (int i = 0; i < 6; ++i) {
        sent << QStringLiteral("https://example.org/%1").arg(i);
        burst.push_back(startIntakeChild(folder(), {sent.last()}));
    }
    for (auto& later : burst)
        expectHanded(*later);
    EXPECT_EQ(first->state(), QProcess::Running);
    ASSERT_EQ(nextLine(*first, 15000), QStringLiteral("first []"));
    QStringList delivered;
    for (int i = 0; i < 6; ++i)
        delivered += linksOf(nextLine(*first));
    delivered.sort();
    EXPECT_EQ(delivered, sent);
}

TEST_F(Intake, ProcessesStartedTogetherElectOneFirst)
{
    for (int round = 0; round < 3; ++round) {
        const QString run = folder(QStringLiteral("round%1").arg(round));
        std::vector<std::unique_ptr<QProcess>> children;
        QStringList all;
        for (int i = 0; i < 3; ++i) {
            all << QStringLiteral("https://example.org/%1/%2").arg(round).arg(i);
            children.push_back(startIntakeChild(run, {all.last()}));
        }
        QProcess* first = nullptr;
        QStringList received;
        for (auto& child : children) {
            const QString line = nextLine(*child);
            if (line.startsWith(QLatin1String("first "))) {
                EXPECT_EQ(first, nullptr) << "two processes became the first";
                first = child.get();
                received += linksOf(line);
            } else {
                EXPECT_EQ(line, QStringLiteral("handed"));
            }
        }
        ASSERT_NE(first, nullptr);
        for (int i = 0; i < 2; ++i)
            received += linksOf(nextLine(*first));
        received.sort();
        EXPECT_EQ(received, all) << "round " << round;
    }
}

TEST_F(Intake, SocketOfAKilledFirstIsReplaced)
{
    auto crashed = startIntakeChild(folder(), {});
    ASSERT_EQ(nextLine(*crashed), QStringLiteral("first []"));
    crashed->kill();
    crashed->waitForFinished();
    SingleInstance probe(folder());
    ASSERT_TRUE(QFileInfo::exists(probe.serverPath())) << "the crash should leave its socket behind";

    const QString link = QStringLiteral("https://example.org/");
    auto second = startIntakeChild(folder(), {link});
    EXPECT_EQ(linksOf(nextLine(*second)), QStringList{link}) << "it keeps its own link as the first";

    auto third = startIntakeChild(folder(), {QStringLiteral("https://c.example/")});
    expectHanded(*third);
    EXPECT_EQ(nextLine(*second), QStringLiteral("links [\"https://c.example/\"]"));
}

TEST_F(Intake, FirstThatNeverAnswersIsTakenOverWithoutLosingLinks)
{
    auto stuck = startIntakeChild(folder(), {});
    ASSERT_EQ(nextLine(*stuck), QStringLiteral("first []"));
    ::kill(pid_t(stuck->processId()), SIGSTOP);

    const QStringList links{QStringLiteral("https://a.example/"), QStringLiteral("https://b.example/")};
    auto second = startIntakeChild(folder(), links);
    const QString line = nextLine(*second, 20000);
    EXPECT_TRUE(line.startsWith(QLatin1String("first "))) << line.toStdString();
    EXPECT_EQ(linksOf(line), links);

    auto third = startIntakeChild(folder(), {});
    expectHanded(*third);
    EXPECT_EQ(nextLine(*second), QStringLiteral("reopen"));

    ::kill(pid_t(stuck->processId()), SIGKILL);
    stuck->waitForFinished();
}

TEST_F(Intake, FirstThatWasTakenOverLeavesTheNewSocketAlone)
{
    auto old = std::make_unique<SingleInstance>(folder());
    ASSERT_TRUE(old->listen());
    SingleInstance current(folder());
    ASSERT_TRUE(current.listen());
    current.startDelivering();
    old.reset();

    QSignalSpy reopen(&current, &SingleInstance::reopenRequested);
    expectHandedTo(*startIntakeChild(folder(), {}));
    EXPECT_EQ(reopen.count(), 1);
}

TEST_F(Intake, SocketAndFolderAreUserOnly)
{
    SingleInstance first(folder());
    ASSERT_TRUE(first.listen());
    EXPECT_EQ(QFileInfo(folder()).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                                   QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
    EXPECT_EQ(QFileInfo(first.serverPath()).permissions() & (QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
}

} // namespace
