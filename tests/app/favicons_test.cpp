#include "app/favicons.h"

#include "https_server.h"
#include "icon_images.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The network fetcher against the test's server, counting the fetches that
// start and end.
struct CountingFetch {
    int started = 0;
    int ended = 0;

    Favicons::Fetch over(const HttpsServer& server)
    {
        return [this, options = server.options()](const QString& host, QObject* context,
                                                  std::function<void(const QImage&)> done) {
            ++started;
            FaviconFetcher::fetch(
                host, context,
                [this, done](const QImage& image) {
                    ++ended;
                    done(image);
                },
                options);
        };
    }
};

class FaviconsTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.filePath("icons"); }
    QString iconFile(const QString& name) const { return folder() + "/" + name; }

    QTemporaryDir m_dir;
    HttpsServer server;
    CountingFetch fetches;
    const QByteArray icon = png(32, 32);
};

} // namespace

TEST_F(FaviconsTest, OneFetchPerHostWhateverItsCaseThenServedFromTheFile)
{
    server.route("example.test/apple-touch-icon.png", {200, "image/png", icon});
    {
        Favicons store(folder(), fetches.over(server));
        QSignalSpy changed(&store, &Favicons::imageChanged);
        store.request("example.test");
        store.request("example.test");
        store.request("Example.TEST");
        EXPECT_FALSE(store.cached("example.test"));
        ASSERT_TRUE(changed.wait(20000));
        QTest::qWait(50);
        EXPECT_EQ(fetches.started, 1);
        EXPECT_EQ(server.requests, QStringList{"example.test/apple-touch-icon.png"});
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(changed.front().front().toString(), "example.test");
        ASSERT_TRUE(store.cached("EXAMPLE.test"));
        EXPECT_EQ(store.cached("EXAMPLE.test")->width(), 32);
        EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{"example.test.icon"});
        EXPECT_EQ(QImage::fromData(readFile(iconFile("example.test.icon"))).size(), QSize(32, 32));
    }

    // The next run reads the file, off the main thread, and never asks the network.
    Favicons store(folder(), fetches.over(server));
    QSignalSpy changed(&store, &Favicons::imageChanged);
    store.request("EXAMPLE.test");
    store.request("example.test");
    ASSERT_TRUE(changed.wait(20000));
    ASSERT_TRUE(store.cached("example.test"));
    EXPECT_EQ(store.cached("example.test")->size(), QSize(32, 32));
    EXPECT_EQ(fetches.started, 1);
}

TEST_F(FaviconsTest, AFailedFetchIsNotRepeatedInTheSameRun)
{
    {
        Favicons store(folder(), fetches.over(server));
        store.request("other.test");
        ASSERT_TRUE(QTest::qWaitFor([&] { return fetches.ended == 1; }, 30000));
        const qsizetype requests = server.requests.size();
        EXPECT_EQ(requests, 6); // two candidate hosts, three locations each
        store.request("other.test");
        store.request("OTHER.test");
        QTest::qWait(50);
        EXPECT_EQ(fetches.started, 1);
        EXPECT_EQ(server.requests.size(), requests);
        EXPECT_FALSE(store.cached("other.test"));
        EXPECT_FALSE(QFile::exists(iconFile("other.test.icon")));
    }
    // A new run tries again.
    Favicons store(folder(), fetches.over(server));
    store.request("other.test");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fetches.started == 2; }, 20000));
}

TEST_F(FaviconsTest, ACacheFileThatNoLongerDecodesIsFetchedAgainAndOverwritten)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    writeFile(iconFile("example.test.icon"), "not an image any more");
    server.route("example.test/favicon.ico", {200, "image/x-icon", icon});
    Favicons store(folder(), fetches.over(server));
    QSignalSpy changed(&store, &Favicons::imageChanged);
    store.request("example.test");
    ASSERT_TRUE(changed.wait(20000));
    EXPECT_EQ(fetches.started, 1);
    EXPECT_EQ(QImage::fromData(readFile(iconFile("example.test.icon"))).size(), QSize(32, 32));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{"example.test.icon"});
}

TEST_F(FaviconsTest, AnIconIsShownEvenWhenItsFileCannotBeWritten)
{
    // The folder cannot be made: a file stands where its parent should be.
    writeFile(m_dir.filePath("blocked"), "");
    server.route("example.test/apple-touch-icon.png", {200, "image/png", icon});
    Favicons store(m_dir.filePath("blocked/icons"), fetches.over(server));
    QSignalSpy changed(&store, &Favicons::imageChanged);
    store.request("example.test");
    ASSERT_TRUE(changed.wait(20000));
    EXPECT_TRUE(store.cached("example.test"));
}

TEST_F(FaviconsTest, AHostThatIsNoFileNameStaysInMemory)
{
    Favicons store(folder(),
                   [this](const QString&, QObject* context, std::function<void(const QImage&)> done) {
                       QTimer::singleShot(0, context, [this, done] { done(QImage::fromData(icon)); });
                   });
    QSignalSpy changed(&store, &Favicons::imageChanged);
    store.request("../escape");
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE(store.cached("../escape"));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("escape.icon")));
    EXPECT_TRUE(QDir(folder()).entryList(QDir::Files).isEmpty());
}

TEST_F(FaviconsTest, AFewHostsAreFetchedAtATimeAndTheRestWaitTheirTurn)
{
    std::vector<std::function<void(const QImage&)>> held;
    QStringList asked;
    Favicons store(folder(), [&](const QString& host, QObject*, std::function<void(const QImage&)> done) {
        asked << host;
        held.push_back(std::move(done));
    });
    QSignalSpy changed(&store, &Favicons::imageChanged);
    QStringList hosts;
    for (int i = 0; i < 30; ++i) {
        hosts << QString("host%1.test").arg(i);
        store.request(hosts.back());
    }
    // The empty cache is looked at first, off the main thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.size() == Favicons::maxFetches; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(asked.size(), Favicons::maxFetches);

    const QImage image = QImage::fromData(icon);
    for (int answered = 0; answered < hosts.size(); ++answered) {
        ASSERT_LT(std::size_t(answered), held.size());
        held[answered](answered % 2 ? image : QImage());
        EXPECT_LE(asked.size() - (answered + 1), Favicons::maxFetches);
    }
    asked.sort();
    hosts.sort();
    EXPECT_EQ(asked, hosts);
    EXPECT_EQ(changed.count(), 15);
}
