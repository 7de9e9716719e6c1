// "Reuse open tabs" through the extension: the model asks the extension of the
// target profile before it starts the browser. The extension's host is played
// by a socket of the test, speaking the host's side of the relay.

#include "app/tab_relay.h"
#include "model_fixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace corvane::testing {
namespace {

// One connected extension, as its host presents it to Corvane.
class FakeHost {
public:
    FakeHost(const QString& server, const QByteArray& hello)
    {
        m_socket.connectToServer(server);
        EXPECT_TRUE(m_socket.waitForConnected(2000));
        send(hello);
    }
    void send(const QByteArray& line)
    {
        m_socket.write(line + "\n");
        m_socket.flush();
    }
    // The next question Corvane asks, or an empty object when none comes.
    QJsonObject question(int ms = 2000)
    {
        if (!QTest::qWaitFor([&] { return m_socket.canReadLine(); }, ms))
            return {};
        return QJsonDocument::fromJson(m_socket.readLine()).object();
    }
    void answer(const QJsonObject& question, bool switched)
    {
        send(QJsonDocument(QJsonObject{{"type", "found"}, {"id", question.value("id")}, {"switched", switched}})
                 .toJson(QJsonDocument::Compact));
    }
    bool closedByCorvane(int ms = 2000)
    {
        return QTest::qWaitFor([&] { return m_socket.state() == QLocalSocket::UnconnectedState; }, ms);
    }

private:
    QLocalSocket m_socket;
};

class TabReuseTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        ASSERT_TRUE(relay.listen(path("corvane-tabs.sock")));
        env.tabs = &relay;
        env.tabReuseTimeoutMs = 300;
        useRunner(openedAnswer);
        env.settingsPath = path("settings.json");
    }

    std::unique_ptr<Model> routingModel()
    {
        auto model = makeModel();
        model->setConfig(withDefault("Work"));
        return model;
    }

    std::unique_ptr<FakeHost> connect(const QString& browser, const QString& profile)
    {
        QSignalSpy changed(&relay, &TabRelay::connectionsChanged);
        auto host = std::make_unique<FakeHost>(
            relay.path(), QJsonDocument(QJsonObject{{"type", "hello"}, {"browser", browser}, {"profile", profile}})
                              .toJson(QJsonDocument::Compact));
        EXPECT_TRUE(changed.wait(2000));
        return host;
    }

    TabRelay relay;
};

TEST_F(TabReuseTest, AnOpenTabInTheTargetProfileIsShownAndTheBrowserIsNotStarted)
{
    auto model = routingModel();
    auto work = connect("chromium", "Work");
    model->receive({"https://docs.example/page#intro"});

    const QJsonObject asked = work->question();
    EXPECT_EQ(asked.value("type").toString(), "find");
    EXPECT_EQ(asked.value("url").toString(), "https://docs.example/page#intro");
    // The extension stops looking well before Corvane stops waiting.
    EXPECT_EQ(asked.value("within").toInt(), 150);
    work->answer(asked, true);

    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->status(), "Switched to the open tab in Work.");
    ASSERT_EQ(model->recent().size(), 1);
    EXPECT_TRUE(model->recent().first().reused);
    EXPECT_TRUE(model->pending().isEmpty());
    EXPECT_TRUE(routedUrls().isEmpty()) << "the browser helper never ran";
}

// Whatever keeps the extension from switching, the link opens as it would
// without it, exactly once.
TEST_F(TabReuseTest, WithoutASwitchTheLinkOpensInTheBrowser)
{
    struct Case {
        const char* name;
        QString connectedProfile; // empty: no extension at all
        bool reuseOn;
        std::function<void(FakeHost&)> extension;
        bool asked;
    };
    const std::vector<Case> cases{
        {"no tab shows it", "Work", true, [](FakeHost& h) { h.answer(h.question(), false); }, true},
        {"no answer in time", "Work", true, [](FakeHost&) {}, true},
        {"the host goes away", "Work", true, [](FakeHost& h) { h.send("not json"); }, true},
        {"another profile's extension", "Personal", true, [](FakeHost&) {}, false},
        {"reuse switched off", "Work", false, [](FakeHost&) {}, false},
        {"no extension connected", "", true, [](FakeHost&) {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = routingModel();
        model->userDefaults().setValue("reuseOpenTabs", c.reuseOn);
        std::unique_ptr<FakeHost> host;
        if (!c.connectedProfile.isEmpty())
            host = connect("chromium", c.connectedProfile);
        const int before = routedUrls().size();
        model->receive({"https://docs.example/" + QString::fromUtf8(c.name).replace(' ', '-')});
        if (host) {
            c.extension(*host);
            if (!c.asked) {
                EXPECT_TRUE(host->question(400).isEmpty()) << "nobody asks an extension that cannot help";
            }
        }
        ASSERT_TRUE(waitIdle(*model));
        EXPECT_EQ(model->status(), "Opened in Work.");
        EXPECT_EQ(routedUrls().size(), before + 1);
        ASSERT_FALSE(model->recent().isEmpty());
        EXPECT_FALSE(model->recent().first().reused);
    }
}

TEST_F(TabReuseTest, ALateYesIsIgnoredAndAnAnswerOnlyCountsFromTheConnectionAsked)
{
    auto model = routingModel();
    auto work = connect("chromium", "Work");
    auto other = connect("chromium", "Personal");
    model->receive({"https://late.example/"});
    const QJsonObject asked = work->question();
    other->answer(asked, true); // not its question
    QTest::qWait(450);
    work->answer(asked, true); // past the deadline
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->status(), "Opened in Work.");
    EXPECT_EQ(routedUrls(), QStringList{"https://late.example/"});
    EXPECT_FALSE(other->closedByCorvane(300)) << "a stray answer is not a broken connection";
}

TEST_F(TabReuseTest, TheRelayKnowsWhoIsConnectedAndClosesWhatBreaksItsRules)
{
    auto model = routingModel();
    QSignalSpy reuseChanged(model.get(), &Model::tabReuseChanged);
    auto work = connect("chromium", "Work");
    auto personal = connect("chromium", "Personal");
    auto firefox = connect("firefox", "default-release");
    EXPECT_EQ(relay.connectedProfiles("chromium"), (QStringList{"Work", "Personal"}));
    EXPECT_EQ(model->tabReuseProfiles(), (QStringList{"Work", "Personal"})) << "the target browser's only";
    EXPECT_EQ(reuseChanged.size(), 3);

    personal.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return relay.connectedProfiles("chromium") == QStringList{"Work"}; }, 2000));

    const struct {
        const char* name;
        QByteArray first;
        QByteArray then;
    } broken[] = {
        {"no greeting first", R"({"type":"found","id":1,"switched":true})", {}},
        {"a greeting without its profile", R"({"type":"hello","browser":"chromium"})", {}},
        {"not JSON", "{nope", {}},
        {"an answer of the wrong shape", R"({"type":"hello","browser":"chromium","profile":"Play"})",
         R"({"type":"found","id":"1","switched":"yes"})"},
        {"a line over the bound", R"({"type":"hello","browser":"chromium","profile":"Play"})",
         QByteArray(TabRelay::maxLineBytes + 10, 'x')},
    };
    for (const auto& c : broken) {
        SCOPED_TRACE(c.name);
        FakeHost host(relay.path(), c.first);
        if (!c.then.isEmpty())
            host.send(c.then);
        EXPECT_TRUE(host.closedByCorvane());
        EXPECT_FALSE(relay.connectedProfiles("chromium").contains("Play"));
    }
    EXPECT_EQ(relay.connectedProfiles("chromium"), QStringList{"Work"});
}

} // namespace
} // namespace corvane::testing
