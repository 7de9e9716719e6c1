#include "intake_child.h"
#include "platform/intake_protocol.h"
#include "platform/single_instance.h"
#include "wait_until.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
    QSignalSpy links(&first, &SingleInstance::linksReceived);
    QSignalSpy reopen(&first, &SingleInstance::reopenRequested);

    const QStringList batch{
        QStringLiteral("https://example.org/"),
        QStringLiteral("https://b.example/päth?q=a b#x"),
        QStringLiteral("mailto:someone@example.org"),
        QStringLiteral("file:///tmp/a%20b.html"),
        QStringLiteral("https://long.example/?") + QString(60000, u'x'),
        QStringLiteral("https://example.org/"), // repeats are kept
    };
    expectHandedTo(*startIntakeChild(folder(), batch));
    expectHandedTo(*startIntakeChild(folder(), {}));

    ASSERT_EQ(links.count(), 1);
    EXPECT_EQ(links.at(0).at(0).toStringList(), batch);
    EXPECT_EQ(reopen.count(), 1);
}

TEST_F(Intake, MessageInPiecesIsReassembledAndGarbageIsDropped)
{
    SingleInstance first(folder());
    ASSERT_TRUE(first.listen());
    QSignalSpy links(&first, &SingleInstance::linksReceived);

    QLocalSocket client;
    client.connectToServer(first.serverPath());
    ASSERT_TRUE(client.waitForConnected(5000));
    const QStringList sent{QStringLiteral("https://a.example/"), QStringLiteral("https://b.example/")};
    for (const char byte : IntakeProtocol::encode(sent)) {
        client.write(&byte, 1);
        client.flush();
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitUntil([&] { return links.count() == 1; }));
    EXPECT_EQ(links.at(0).at(0).toStringList(), sent);
    const QByteArray expected = IntakeProtocol::greeting() + IntakeProtocol::acknowledgement();
    EXPECT_TRUE(waitUntil([&] { return client.bytesAvailable() >= expected.size(); }));
    EXPECT_EQ(client.readAll(), expected);

    QLocalSocket garbage;
    garbage.connectToServer(first.serverPath());
    ASSERT_TRUE(garbage.waitForConnected(5000));
    garbage.write(QByteArray("\xff\xff\xff\xff", 4)); // four billion links
    QSignalSpy dropped(&garbage, &QLocalSocket::disconnected);
    EXPECT_TRUE(dropped.wait(5000));
    EXPECT_EQ(links.count(), 1);
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
