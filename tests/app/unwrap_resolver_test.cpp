#include "app/unwrap_resolver.h"
#include "core/unwrap.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <optional>

using namespace corvane;

namespace {

// The whole web of a test, on 127.0.0.1: the session goes through it as an
// HTTP proxy, so made-up tracker and destination hosts need no name lookup.
// Routes map "host/path" (or "METHOD host/path", which wins) to an answer:
// "302 <location>", "405", "200", "silent" (never answers), "endless"
// (headers, then a body that never ends), or any of them after "late "
// (a quarter of a second later). Every answer sets a cookie.
class Web {
public:
    explicit Web(std::map<QString, QString> routes) : m_routes(std::move(routes))
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        Unwrap::session().setProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", m_server.serverPort()));
    }

    ~Web() { Unwrap::session().setProxy(QNetworkProxy::NoProxy); }

    QStringList requests; // "HEAD http://host/path"
    QStringList agents;
    QStringList cookies; // the Cookie header of each request, empty when none

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = pending.left(end).split('\n');
        pending.clear();
        const QList<QByteArray> requestLine = lines.front().trimmed().split(' ');
        const QString method = QString::fromLatin1(requestLine.value(0));
        const QString target = QString::fromLatin1(requestLine.value(1));
        requests << method + " " + target;
        QString cookie;
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("user-agent:"))
                agents << QString::fromLatin1(line.mid(11).trimmed());
            if (line.toLower().startsWith("cookie:"))
                cookie = QString::fromLatin1(line.mid(7).trimmed());
        }
        cookies << cookie;
        const QString key = QString(target).remove("http://");
        const auto route = m_routes.count(method + " " + key)
                               ? m_routes.at(method + " " + key)
                               : (m_routes.count(key) ? m_routes.at(key) : "404");
        answer(socket, route);
    }

    static void answer(QTcpSocket* socket, const QString& route)
    {
        if (route.startsWith("late ")) {
            QTimer::singleShot(250, socket, [socket, rest = route.mid(5)] { answer(socket, rest); });
            return;
        }
        if (route == "silent")
            return;
        if (route == "endless") {
            // Trickles faster than any time-out, so only reading no further ends the request.
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000000\r\n\r\n");
            auto* trickle = new QTimer(socket);
            QObject::connect(trickle, &QTimer::timeout, socket,
                             [socket] { socket->write(QByteArray(1024, 'x')); });
            trickle->start(50);
            return;
        }
        const QString status = route.section(' ', 0, 0);
        const QString location = route.section(' ', 1);
        QByteArray response = "HTTP/1.1 " + status.toLatin1() + " Answer\r\nSet-Cookie: seen" +
                              QByteArray::number(++served) + "=1; Path=/\r\n";
        if (!location.isEmpty())
            response += "Location: " + location.toUtf8() + "\r\n";
        response += "Content-Length: 5\r\nConnection: close\r\n\r\nhello";
        socket->write(response);
        socket->disconnectFromHost();
    }

    static inline int served = 0;
    QTcpServer m_server;
    std::map<QString, QString> m_routes;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

// The follow lists of these tests: any host under tracker.test, and one shortener.
bool testFollows(const Url& url)
{
    const std::string host = url.host.value_or("");
    return host.ends_with(".tracker.test") || host == "short.test";
}

std::string resolve(const std::string& link, Unwrap::FollowOptions options = {})
{
    if (!options.follows)
        options.follows = testFollows;
    std::optional<Url> result;
    int calls = 0;
    Unwrap::resolve(
        *Url::parse(link), nullptr,
        [&](const Url& url) {
            result = url;
            ++calls;
        },
        options);
    EXPECT_FALSE(result) << "the answer must never arrive before resolve() returns";
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    QTest::qWait(20); // a second answer would show up here
    EXPECT_EQ(calls, 1);
    return result ? result->absoluteString() : "<no answer>";
}

TEST(UnwrapResolver, DefaultsAndSession)
{
    EXPECT_EQ(Unwrap::defaultTimeoutMs, 4000);
    EXPECT_EQ(Unwrap::defaultDeadlineMs, 8000);
    EXPECT_EQ(&Unwrap::session(), &Unwrap::session());
    EXPECT_EQ(Unwrap::session().cache(), nullptr);
}

// The destination of a tracked link is often a one-time link (a sign-in, a
// confirmation): only the browser may request it.
TEST(UnwrapResolver, FollowsOnlyWhileTheNextHopIsATrackerAndNeverRequestsTheDestination)
{
    const std::string tracker = "http://a.tracker.test/a";
    struct Case {
        const char* name;
        std::map<QString, QString> routes;
        std::string link;
        std::string expected;
        QStringList requests;
    };
    const Case cases[] = {
        {"a tracker's redirect names the destination",
         {{"a.tracker.test/a", "302 http://dest.test/confirm?token=1"}, {"dest.test/confirm?token=1", "200"}},
         tracker,
         "http://dest.test/confirm?token=1",
         {"HEAD http://a.tracker.test/a"}},
        {"through its own host, another tracker and a shortener",
         {{"a.tracker.test/a", "301 /b"},
          {"a.tracker.test/b", "307 http://b.tracker.test/c"},
          {"b.tracker.test/c", "302 http://short.test/d"},
          {"short.test/d", "302 //dest.test/e?x=%C3%A4"},
          {"dest.test/e?x=%C3%A4", "200"}},
         tracker,
         "http://dest.test/e?x=%C3%A4",
         {"HEAD http://a.tracker.test/a", "HEAD http://a.tracker.test/b", "HEAD http://b.tracker.test/c",
          "HEAD http://short.test/d"}},
        {"HEAD refused, GET of the same hop redirects",
         {{"HEAD a.tracker.test/a", "405"},
          {"GET a.tracker.test/a", "302 http://b.tracker.test/b"},
          {"b.tracker.test/b", "302 http://dest.test/page"}},
         tracker,
         "http://dest.test/page",
         {"HEAD http://a.tracker.test/a", "GET http://a.tracker.test/a", "GET http://b.tracker.test/b"}},
        {"GET stops at a tracker's headers",
         {{"HEAD a.tracker.test/a", "405"}, {"GET a.tracker.test/a", "endless"}},
         tracker,
         tracker,
         {"HEAD http://a.tracker.test/a", "GET http://a.tracker.test/a"}},
        {"a tracker that answers without redirecting",
         {{"a.tracker.test/a", "302 http://b.tracker.test/b"}, {"b.tracker.test/b", "200"}},
         tracker,
         tracker,
         {"HEAD http://a.tracker.test/a", "HEAD http://b.tracker.test/b", "GET http://b.tracker.test/b"}},
        {"never answers",
         {{"a.tracker.test/a", "silent"}},
         tracker,
         tracker,
         {"HEAD http://a.tracker.test/a", "GET http://a.tracker.test/a"}},
        {"destination with credentials is no web link",
         {{"a.tracker.test/a", "302 http://user@dest.test/"}},
         tracker,
         tracker,
         {"HEAD http://a.tracker.test/a"}},
        {"redirect to another scheme",
         {{"a.tracker.test/a", "302 ftp://dest.test/file"}},
         tracker,
         tracker,
         {"HEAD http://a.tracker.test/a"}},
        {"parameter unwrapping needs no request",
         {},
         "https://www.google.com/url?q=https%3A%2F%2Fdest.test%2Fx",
         "https://dest.test/x",
         {}},
        {"a host on no list is left alone",
         {{"plain.test/a", "302 http://dest.test/"}},
         "http://plain.test/a",
         "http://plain.test/a",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Web web(c.routes);
        EXPECT_EQ(resolve(c.link, {1000, 8000, {}}), c.expected);
        EXPECT_EQ(web.requests.join(" | ").toStdString(), c.requests.join(" | ").toStdString());
        EXPECT_EQ(web.agents, QStringList(web.requests.size(), Unwrap::userAgent));
    }
}

TEST(UnwrapResolver, EachLinkKeepsItsOwnCookiesForItsHops)
{
    Web web(std::map<QString, QString>{{"a.tracker.test/a", "302 /b"},
                                       {"a.tracker.test/b", "302 http://short.test/c"},
                                       {"short.test/c", "302 http://dest.test/"}});
    EXPECT_EQ(resolve("http://a.tracker.test/a"), "http://dest.test/");
    ASSERT_EQ(web.cookies.size(), 3);
    EXPECT_EQ(web.cookies[0], "");
    EXPECT_TRUE(web.cookies[1].startsWith("seen")) << "the tracker's cookie on its next hop";
    EXPECT_EQ(web.cookies[2], "") << "another host gets none of it";

    EXPECT_EQ(resolve("http://a.tracker.test/a"), "http://dest.test/");
    ASSERT_EQ(web.cookies.size(), 6);
    EXPECT_EQ(web.cookies[3], "") << "nothing carried over from the earlier link";
}

TEST(UnwrapResolver, OneDeadlineForAllHopsOfALink)
{
    // Each hop answers in time; together they take too long.
    std::map<QString, QString> routes;
    for (int i = 0; i < 20; ++i)
        routes[QString("a.tracker.test/%1").arg(i)] = QString("late 302 /%1").arg(i + 1);
    Web web(routes);
    EXPECT_EQ(resolve("http://a.tracker.test/0", {4000, 900, {}}), "http://a.tracker.test/0");
    EXPECT_LT(web.requests.size(), 10);

    // A request that hangs is given up on at the deadline, not after its own time-out.
    Web silent(std::map<QString, QString>{{"a.tracker.test/a", "silent"}});
    EXPECT_EQ(resolve("http://a.tracker.test/a", {60000, 500, {}}), "http://a.tracker.test/a");
}

TEST(UnwrapResolver, RedirectLoopEndsWithTheLinkAsReceived)
{
    Web web(std::map<QString, QString>{{"click.news.test/a", "302 /a"}});
    EXPECT_EQ(resolve("http://click.news.test/a", {1000, 8000, Unwrap::shouldFollow}),
              "http://click.news.test/a");
    EXPECT_LT(web.requests.size(), 100);
}

TEST(UnwrapResolver, ContextGoneCancelsQuietly)
{
    Web web(std::map<QString, QString>{{"trk.mail.test/a", "silent"}});
    bool called = false;
    auto* context = new QObject;
    Unwrap::resolve(*Url::parse("http://trk.mail.test/a"), context, [&](const Url&) { called = true; },
                    {200, 8000, {}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web.requests.isEmpty(); }, 5000));
    delete context;
    QTest::qWait(600);
    EXPECT_FALSE(called);
    EXPECT_EQ(web.requests, QStringList{"HEAD http://trk.mail.test/a"}) << "no GET after the context is gone";
}

} // namespace
