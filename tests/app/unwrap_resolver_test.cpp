#include "app/unwrap_resolver.h"

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
// "302 <location>", "405", "200", "silent" (never answers) or "endless"
// (headers, then a body that never ends).
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
    int cookiesSent = 0;

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
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("user-agent:"))
                agents << QString::fromLatin1(line.mid(11).trimmed());
            if (line.toLower().startsWith("cookie:"))
                ++cookiesSent;
        }
        const QString key = QString(target).remove("http://");
        const auto route = m_routes.count(method + " " + key)
                               ? m_routes.at(method + " " + key)
                               : (m_routes.count(key) ? m_routes.at(key) : "404");
        answer(socket, route);
    }

    static void answer(QTcpSocket* socket, const QString& route)
    {
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
        QByteArray response =
            "HTTP/1.1 " + status.toLatin1() + " Answer\r\nSet-Cookie: visited=1; Path=/\r\n";
        if (!location.isEmpty())
            response += "Location: " + location.toUtf8() + "\r\n";
        response += "Content-Length: 5\r\nConnection: close\r\n\r\nhello";
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QString, QString> m_routes;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

std::string resolve(const std::string& link, int timeoutMs = 1000)
{
    std::optional<Url> result;
    int calls = 0;
    Unwrap::resolve(
        *Url::parse(link), nullptr,
        [&](const Url& url) {
            result = url;
            ++calls;
        },
        timeoutMs);
    EXPECT_FALSE(result) << "the answer must never arrive before resolve() returns";
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    QTest::qWait(20); // a second answer would show up here
    EXPECT_EQ(calls, 1);
    return result ? result->absoluteString() : "<no answer>";
}

TEST(UnwrapResolver, DefaultsAndSession)
{
    EXPECT_EQ(Unwrap::defaultTimeoutMs, 4000);
    EXPECT_EQ(&Unwrap::session(), &Unwrap::session());
    EXPECT_EQ(Unwrap::session().cache(), nullptr);
}

TEST(UnwrapResolver, FollowsTrackersAndShortenersToAnotherHost)
{
    const std::string tracker = "http://trk.mail.test/a";
    struct Case {
        const char* name;
        std::map<QString, QString> routes;
        std::string link;
        std::string expected;
        QStringList requests;
    };
    const Case cases[] = {
        {"HEAD redirects to another host",
         {{"trk.mail.test/a", "302 http://dest.test/page"}, {"dest.test/page", "200"}},
         tracker,
         "http://dest.test/page",
         {"HEAD http://trk.mail.test/a", "HEAD http://dest.test/page"}},
        {"relative and chained redirects",
         {{"trk.mail.test/a", "301 /b"},
          {"trk.mail.test/b", "307 //dest.test/c?x=%C3%A4"},
          {"dest.test/c?x=%C3%A4", "200"}},
         tracker,
         "http://dest.test/c?x=%C3%A4",
         {"HEAD http://trk.mail.test/a", "HEAD http://trk.mail.test/b", "HEAD http://dest.test/c?x=%C3%A4"}},
        {"an error status on the other host still names it",
         {{"trk.mail.test/a", "302 http://dest.test/gone"}, {"dest.test/gone", "404"}},
         tracker,
         "http://dest.test/gone",
         {"HEAD http://trk.mail.test/a", "HEAD http://dest.test/gone"}},
        {"HEAD refused, GET redirects",
         {{"HEAD trk.mail.test/a", "405"},
          {"GET trk.mail.test/a", "302 http://dest.test/page"},
          {"dest.test/page", "200"}},
         tracker,
         "http://dest.test/page",
         {"HEAD http://trk.mail.test/a", "GET http://trk.mail.test/a", "GET http://dest.test/page"}},
        {"GET stops at the final response's headers",
         {{"HEAD trk.mail.test/a", "405"},
          {"GET trk.mail.test/a", "302 http://dest.test/big"},
          {"dest.test/big", "endless"}},
         tracker,
         "http://dest.test/big",
         {"HEAD http://trk.mail.test/a", "GET http://trk.mail.test/a", "GET http://dest.test/big"}},
        {"redirect within the same host",
         {{"trk.mail.test/a", "302 http://TRK.mail.test/b"}, {"trk.mail.test/b", "200"}},
         tracker,
         tracker,
         {"HEAD http://trk.mail.test/a", "HEAD http://trk.mail.test/b", "GET http://trk.mail.test/a",
          "GET http://trk.mail.test/b"}},
        {"never answers",
         {{"trk.mail.test/a", "silent"}},
         tracker,
         tracker,
         {"HEAD http://trk.mail.test/a", "GET http://trk.mail.test/a"}},
        {"destination with credentials is no web link",
         {{"trk.mail.test/a", "302 http://user@dest.test/"}, {"dest.test/", "200"}},
         tracker,
         tracker,
         {"HEAD http://trk.mail.test/a", "HEAD http://dest.test/", "GET http://trk.mail.test/a",
          "GET http://dest.test/"}},
        {"redirect to another scheme",
         {{"trk.mail.test/a", "302 ftp://dest.test/file"}},
         tracker,
         tracker,
         {"HEAD http://trk.mail.test/a", "GET http://trk.mail.test/a"}},
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
        EXPECT_EQ(resolve(c.link), c.expected);
        EXPECT_EQ(web.requests.join(" | ").toStdString(), c.requests.join(" | ").toStdString());
        EXPECT_EQ(web.agents, QStringList(web.requests.size(), Unwrap::userAgent));
        EXPECT_EQ(web.cookiesSent, 0);
    }
}

TEST(UnwrapResolver, RedirectLoopEndsWithTheLinkAsReceived)
{
    Web web(std::map<QString, QString>{{"click.news.test/a", "302 /a"}});
    EXPECT_EQ(resolve("http://click.news.test/a"), "http://click.news.test/a");
    EXPECT_EQ(web.requests.count("HEAD http://click.news.test/a"),
              web.requests.count("GET http://click.news.test/a"));
    EXPECT_LT(web.requests.size(), 100);
}

TEST(UnwrapResolver, ContextGoneCancelsQuietly)
{
    Web web(std::map<QString, QString>{{"trk.mail.test/a", "silent"}});
    bool called = false;
    auto* context = new QObject;
    Unwrap::resolve(
        *Url::parse("http://trk.mail.test/a"), context, [&](const Url&) { called = true; }, 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web.requests.isEmpty(); }, 5000));
    delete context;
    QTest::qWait(600);
    EXPECT_FALSE(called);
    EXPECT_EQ(web.requests, QStringList{"HEAD http://trk.mail.test/a"}) << "no GET after the context is gone";
}

} // namespace
