#include "app/favicon_addresses.h"
#include "app/favicon_fetcher.h"

#include "https_server.h"
#include "icon_images.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

using namespace corvane;
using namespace corvane::testing;

namespace {

QStringList strings(const QList<QUrl>& urls)
{
    QStringList out;
    for (const QUrl& url : urls)
        out << url.toString(QUrl::FullyEncoded);
    return out;
}

// Runs one asynchronous fetcher call to its answer, which must come exactly
// once and never before the call returns.
template <typename Result, typename Call> Result await(Call call)
{
    std::optional<Result> result;
    int calls = 0;
    call([&](const Result& value) {
        result = value;
        ++calls;
    });
    EXPECT_FALSE(result) << "answered before the call returned";
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 30000));
    QTest::qWait(20); // a second answer would show up here
    EXPECT_EQ(calls, 1);
    return result.value_or(Result());
}

QSize sizeOf(const QImage& image)
{
    return image.isNull() ? QSize() : image.size();
}

// The size of the icon kept, or an invalid size for nothing.
QSize fetch(const QString& host, const FaviconFetcher::Options& options)
{
    return sizeOf(await<QImage>([&](auto done) { FaviconFetcher::fetch(host, nullptr, done, options); }));
}

QSize imageAt(const QUrl& url, const FaviconFetcher::Options& options)
{
    return sizeOf(await<QImage>([&](auto done) { FaviconFetcher::imageAt(url, nullptr, done, options); }));
}

QList<QUrl> declaredIcons(const QString& host, const FaviconFetcher::Options& options)
{
    return await<QList<QUrl>>(
        [&](auto done) { FaviconFetcher::declaredIcons(host, nullptr, done, options); });
}

QStringList tries(const QString& host)
{
    return {host + "/apple-touch-icon.png", host + "/", host + "/favicon.ico"};
}

} // namespace

TEST(FaviconLinks, ScoresAndOrdersDeclaredIcons)
{
    const QUrl base("https://example.test/dir/page.html");
    struct Case {
        const char* name;
        QString html;
        QStringList expected;
    };
    const Case cases[] = {
        {"an apple-touch icon of 180 before an icon of 32",
         R"(<link rel="icon" sizes="32x32" href="/i32.png"><link rel="apple-touch-icon" sizes="180x180" href="/apple.png">)",
         {"https://example.test/apple.png", "https://example.test/i32.png"}},
        {"apple-touch without sizes, then SVG without sizes, then 192",
         R"(<link rel=icon sizes=192x192 href=i192.png><link rel=icon href=/logo.SVG><link rel=apple-touch-icon href=/t.png>)",
         {"https://example.test/t.png", "https://example.test/logo.SVG",
          "https://example.test/dir/i192.png"}},
        {"equal scores keep document order, duplicates stay",
         R"(<link rel=icon href=/a.png><link rel="shortcut icon" href=/b.png><link rel=icon href=/a.png>)",
         {"https://example.test/a.png", "https://example.test/b.png", "https://example.test/a.png"}},
        {"a mask icon is never returned, whatever its score",
         R"(<link rel="mask-icon" sizes="9999x9999" href="/mask.svg"><link rel=icon href=/i.png>)",
         {"https://example.test/i.png"}},
        {"no icon in rel, no rel, no href, empty href, not a link tag",
         R"(<link rel=stylesheet href=/s.css><link href=/x.png><link rel=icon><link rel=icon href=""><linked rel=icon href=/n.png>)",
         {}},
        {"upper case, single quotes, other host, a tag over several lines",
         "<LINK REL='Apple-Touch-Icon-Precomposed' HREF='//cdn.other.test/p.png' SIZES=\"57X57\">"
         "<link\nrel=icon\nhref=rel.png\n>",
         {"https://cdn.other.test/p.png", "https://example.test/dir/rel.png"}},
        {"sizes: a sign, a list's first width, any",
         R"(<link rel=icon sizes=any href=/any.png><link rel=icon sizes="16x16 48x48" href=/list.png><link rel=icon sizes=+20x20 href=/plus.png>)",
         {"https://example.test/plus.png", "https://example.test/list.png", "https://example.test/any.png"}},
        {"data links: spaces encoded, inline SVG scored as SVG",
         R"(<link rel=icon sizes=64x64 href="data:image/png;base64,AAAA BBBB"><link rel=icon href="data:image/svg+xml;base64,PHN2Zz4=">)",
         {"data:image/svg+xml;base64,PHN2Zz4=", "data:image/png;base64,AAAA%20BBBB"}},
        {"a size beyond any integer counts as none",
         R"(<link rel=icon sizes=99999999999999999999999x1 href=/huge.png><link rel=icon sizes=9223372036854775807x1 href=/max.png><link rel=icon sizes=1x1 href=/one.png>)",
         {"https://example.test/max.png", "https://example.test/one.png", "https://example.test/huge.png"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(strings(FaviconFetcher::parseIconLinks(c.html, base)), c.expected) << c.name;
}

TEST(FaviconLinks, Attribute)
{
    struct Case {
        QString name;
        QString tag;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"rel", R"(<link rel="icon">)", "icon"},
        {"href", "<link href='a b'>", "a b"},
        {"href", "<link href=/x.png>", "/x.png"},
        {"href", R"(<link HREF = "/x">)", "/x"},
        {"rel", R"(<link rel="">)", ""},
        {"sizes", "<link rel=icon>", std::nullopt},
        {"href", "<link href=>", std::nullopt},
        // A name is matched as written, never as a pattern.
        {"a.b", "<link axb=2 a.b=1>", "1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FaviconFetcher::attribute(c.name, c.tag), c.expected)
            << c.name.toStdString() << " in " << c.tag.toStdString();
}

TEST(FaviconLinks, DecodeDataURL)
{
    const QByteArray tiny = png(1, 1);
    const QString b64 = QString::fromLatin1(png(20, 20).toBase64());
    const QByteArray inline20 = svg(20);
    struct Case {
        const char* name;
        QString text;
        std::optional<QByteArray> expected;
    };
    const Case cases[] = {
        {"base64, no minimum size", "data:image/png;base64," + tiny.toBase64(), tiny},
        {"percent-encoded base64",
         "data:image/png;base64," + QString(b64).replace("+", "%2B").replace("/", "%2F"), png(20, 20)},
        {"inline SVG, percent-encoded", "data:image/svg+xml," + QUrl::toPercentEncoding(inline20), inline20},
        {"inline SVG as written", "data:image/svg+xml," + inline20, inline20},
        {"white space in base64", "data:image/png;base64," + b64.left(8) + " " + b64.mid(8), std::nullopt},
        {"base64 with its padding cut",
         "data:image/png;base64," + QString::fromLatin1(tiny.toBase64(QByteArray::OmitTrailingEquals)),
         tiny.toBase64().endsWith('=') ? std::nullopt : std::optional<QByteArray>(tiny)},
        {"the base64 marker is case-sensitive", "data:image/png;BASE64," + b64, std::nullopt},
        {"no comma", "data:image/png;base64", std::nullopt},
        {"not an image", "data:text/plain,hello", std::nullopt},
        {"empty payload", "data:image/png;base64,", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FaviconFetcher::decodeDataURL(c.text), c.expected) << c.name;
}

TEST(FaviconLinks, CandidateHosts)
{
    EXPECT_EQ(FaviconFetcher::candidateHosts("example.test"),
              QStringList({"example.test", "www.example.test"}));
    EXPECT_EQ(FaviconFetcher::candidateHosts("a.example.test"),
              QStringList({"a.example.test", "www.a.example.test", "example.test"}));
    EXPECT_EQ(FaviconFetcher::candidateHosts("www.example.test"),
              QStringList({"www.example.test", "example.test"}));
    EXPECT_EQ(FaviconFetcher::candidateHosts("localhost"), QStringList({"localhost", "www.localhost"}));
    EXPECT_EQ(FaviconFetcher::candidateHosts("192.168.1.20"), QStringList({"192.168.1.20"}));
}

TEST(FaviconFetcher, ImageAcceptance)
{
    HttpsServer server;
    struct Case {
        const char* name;
        Answer answer;
        bool accepted;
    };
    const Case cases[] = {
        {"a 16-pixel ICO", {200, "image/x-icon", encoded(16, 16, "ICO")}, true},
        {"65 bytes", {200, "image/gif", gif(16, 16, 65)}, true},
        {"64 bytes", {200, "image/gif", gif(16, 16, 64)}, false},
        {"a 35-byte GIF", {200, "image/gif", gif(16, 16)}, false},
        {"15 pixels wide", {200, "image/gif", gif(15, 16, 200)}, false},
        {"1999999 bytes", {200, "image/png", png(32, 32, 1999999)}, true},
        {"2000000 bytes", {200, "image/png", png(32, 32, 2000000)}, false},
        {"an image served as HTML", {200, "text/html; charset=utf-8", png(32, 32)}, false},
        {"HTML served as an icon",
         {200, "image/x-icon", "<!doctype html><html><body>" + QByteArray(200, ' ')},
         false},
        {"no content type", {200, "", png(32, 32)}, true},
        {"SVG", {200, "image/svg+xml", svg(32)}, true},
        {"status 404", {404, "image/png", png(32, 32)}, false},
        {"status 203", {203, "image/png", png(32, 32)}, false},
    };
    for (const Case& c : cases) {
        server.route("example.test/icon", c.answer);
        EXPECT_EQ(imageAt(QUrl("https://example.test/icon"), server.options()).isValid(), c.accepted)
            << c.name;
    }

    // Redirects are followed; a data link needs no request and no minimum size.
    server.route("example.test/old.png", {301, "", "", "/new.png"});
    server.route("example.test/new.png", {200, "image/png", png(16, 16)});
    EXPECT_EQ(imageAt(QUrl("https://example.test/old.png"), server.options()), QSize(16, 16));
    server.requests.clear();
    EXPECT_EQ(imageAt(QUrl("data:image/png;base64," + png(1, 1).toBase64()), server.options()), QSize(1, 1));
    EXPECT_TRUE(server.requests.isEmpty());

    // A page cannot make the fetcher read local files.
    QTemporaryDir dir;
    QFile file(dir.filePath("icon.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(png(32, 32));
    file.close();
    EXPECT_EQ(imageAt(QUrl::fromLocalFile(file.fileName()), server.options()), QSize());
}

TEST(FaviconFetcher, TriesCandidateHostsInOrder)
{
    struct Case {
        QString host;
        QStringList requests;
    };
    const Case cases[] = {
        {"a.example.test", tries("a.example.test") + tries("www.a.example.test") + tries("example.test")},
        {"www.example.test", tries("www.example.test") + tries("example.test")},
        {"example.test", tries("example.test") + tries("www.example.test")},
    };
    for (const Case& c : cases) {
        HttpsServer server; // nothing but 404
        EXPECT_EQ(fetch(c.host, server.options()), QSize()) << c.host.toStdString();
        EXPECT_EQ(server.requests, c.requests) << c.host.toStdString();
    }
}

TEST(FaviconFetcher, FirstAcceptableImageWins)
{
    const QByteArray icon = encoded(16, 16, "ICO");
    const QByteArray best = png(64, 64);
    const QByteArray html = "<!doctype html><title>Sign in</title>" + QByteArray(100, ' ');
    struct Case {
        const char* name;
        QString host;
        QHash<QString, Answer> routes;
        QSize expected; // the best one, 64 pixels wide, is kept at 56
        QStringList requests;
    };
    const Case cases[] = {
        {"apple-touch icon first, before what the page declares",
         "example.test",
         {{"example.test/apple-touch-icon.png", {200, "image/png", best}},
          {"example.test/", {200, "text/html", R"(<link rel=icon sizes=512x512 href=/big.png>)"}}},
         QSize(56, 56),
         {"example.test/apple-touch-icon.png"}},
        {"declared icons best first; HTML served as one is passed over",
         "example.test",
         {{"example.test/",
           {200, "text/html", R"(<link rel=icon href=/i.png><link rel=apple-touch-icon href=/t.png>)"}},
          {"example.test/t.png", {200, "text/html", html}},
          {"example.test/i.png", {200, "image/png", best}},
          {"example.test/favicon.ico", {200, "image/x-icon", icon}}},
         QSize(56, 56),
         {"example.test/apple-touch-icon.png", "example.test/", "example.test/t.png", "example.test/i.png"}},
        {"relative href resolved against the page after its redirect",
         "example.test",
         {{"example.test/", {301, "", "", "https://other.test/home/"}},
          {"other.test/home/", {200, "text/html; charset=utf-8", R"(<link rel="icon" href="img/i.png">)"}},
          {"other.test/home/img/i.png", {200, "image/png", best}}},
         QSize(56, 56),
         {"example.test/apple-touch-icon.png", "example.test/", "other.test/home/",
          "other.test/home/img/i.png"}},
        {"favicon.ico after the page",
         "example.test",
         {{"example.test/favicon.ico", {200, "image/x-icon", icon}}},
         QSize(16, 16),
         tries("example.test")},
        {"the next candidate host when the first has nothing",
         "a.example.test",
         {{"www.a.example.test/favicon.ico", {200, "image/vnd.microsoft.icon", icon}}},
         QSize(16, 16),
         tries("a.example.test") + tries("www.a.example.test")},
        {"a redirect from https down to http is not followed",
         "example.test",
         {{"example.test/apple-touch-icon.png", {302, "", "", "http://example.test/plain.png"}},
          {"example.test/favicon.ico", {200, "image/x-icon", icon}}},
         QSize(16, 16),
         tries("example.test")},
    };
    for (const Case& c : cases) {
        HttpsServer server;
        for (auto it = c.routes.begin(); it != c.routes.end(); ++it)
            server.route(it.key(), it.value());
        EXPECT_EQ(fetch(c.host, server.options()), c.expected) << c.name;
        EXPECT_EQ(server.requests, c.requests) << c.name;
    }
}

TEST(FaviconFetcher, SessionSendsItsAgentKeepsNoCookiesAndMovesOnAfterTimeOut)
{
    HttpsServer server;
    const QByteArray icon = encoded(16, 16, "ICO");
    server.route("example.test/apple-touch-icon.png", Answer::never());
    server.route("example.test/", {200, "text/html", "<title>home</title>"});
    server.route("example.test/favicon.ico", {200, "image/x-icon", icon});
    EXPECT_EQ(fetch("example.test", server.options(500)), QSize(16, 16));
    EXPECT_EQ(server.requests, tries("example.test"));
    EXPECT_EQ(server.agents, QStringList(3, FaviconFetcher::userAgent));
    EXPECT_EQ(server.cookiesSent, 0);
    EXPECT_EQ(FaviconFetcher::defaultTimeoutMs, 6000);
    EXPECT_EQ(FaviconFetcher::session().cache(), nullptr);
}

TEST(FaviconFetcher, HomePageReadUpToItsLimit)
{
    HttpsServer server;
    // A link beyond the first 600000 bytes is never seen.
    server.route("example.test/",
                 {200, "text/html", QByteArray(600000, ' ') + "<link rel=icon href=/late.png>"});
    EXPECT_TRUE(declaredIcons("example.test", server.options()).isEmpty());
    // A cut inside a character does not turn the page into Latin-1.
    QByteArray page = "<link rel=icon href=/\xc3\xa9.png> ";
    while (page.size() < 600001)
        page += "\xc3\xa9";
    if (page.size() % 2 == 0)
        page.prepend(' ');
    server.route("other.test/", {200, "text/html", page});
    EXPECT_EQ(strings(declaredIcons("other.test", server.options())),
              QStringList{"https://other.test/%C3%A9.png"});
}

TEST(FaviconFetcher, AddressesThatAreNotPublic)
{
    const struct {
        const char* address;
        bool isPublic;
    } cases[] = {
        {"93.184.216.34", true},
        {"8.8.8.8", true},
        {"2606:4700::1111", true},
        {"127.0.0.1", false},
        {"127.8.9.10", false},
        {"10.1.2.3", false},
        {"172.16.0.1", false},
        {"172.31.255.255", false},
        {"172.32.0.1", true},
        {"192.168.1.1", false},
        {"169.254.169.254", false},
        {"100.64.0.1", false},
        {"0.0.0.0", false},
        {"255.255.255.255", false},
        {"224.0.0.251", false},
        {"::", false},
        {"::1", false},
        {"fe80::1", false},
        {"fd12:3456::1", false},
        {"fc00::1", false},
        {"ff02::1", false},
        {"::ffff:127.0.0.1", false},
        {"::ffff:192.168.0.1", false},
        {"::ffff:8.8.8.8", true},
        {"64:ff9b::a00:1", false},
        {"2002:c0a8:0101::1", false},
        {"2002:0808:0808::1", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FaviconFetcher::isPublicAddress(QHostAddress(QString(c.address))), c.isPublic) << c.address;
    EXPECT_FALSE(FaviconFetcher::isPublicAddress(QHostAddress()));
}

// The test's server runs on this machine, with a certificate for "localhost"
// and 127.0.0.1: a request the fetcher should never make would be answered
// and recorded.
TEST(FaviconFetcher, APageCannotMakeItProbeTheLocalNetwork)
{
    HttpsServer server;
    const QByteArray port = QByteArray::number(server.port());
    const QByteArray local = "https://127.0.0.1:" + port;
    const QByteArray named = "https://localhost:" + port;
    server.route("127.0.0.1:" + port + "/probe.png", {200, "image/png", png(32, 32)});
    server.route("localhost:" + port + "/probe.png", {200, "image/png", png(32, 32)});
    server.route("example.test/apple-touch-icon.png", {302, "", "", local + "/probe.png"});
    server.route("example.test/",
                 {200, "text/html",
                  "<link rel=icon href=" + named + "/probe.png><link rel=icon href=" + local +
                      "/probe.png><link rel=icon href=https://[::1]:" + port + "/probe.png>"});
    server.route("example.test/favicon.ico", {302, "", "", named + "/probe.png"});
    server.route("www.example.test/favicon.ico", {200, "image/x-icon", encoded(16, 16, "ICO")});
    EXPECT_EQ(fetch("example.test", server.options()), QSize(16, 16));
    EXPECT_FALSE(server.requests.join(' ').contains("probe")) << server.requests.join(' ').toStdString();
    EXPECT_EQ(imageAt(QUrl(QString::fromLatin1(named + "/probe.png")), server.options()), QSize());
}

TEST(FaviconFetcher, OnlyTheBestFewDeclaredIconsAndNoPlainIconForASecurePage)
{
    HttpsServer server;
    QByteArray page = "<link rel=icon href=http://example.test/plain.png sizes=999x999>";
    for (int i = 0; i < 40; ++i)
        page += "<link rel=icon sizes=" + QByteArray::number(100 + i) + "x1 href=/i" + QByteArray::number(i) +
                ".png>";
    server.route("example.test/", {200, "text/html", page});
    EXPECT_EQ(strings(declaredIcons("example.test", server.options())),
              QStringList({"https://example.test/i39.png", "https://example.test/i38.png",
                           "https://example.test/i37.png", "https://example.test/i36.png"}));

    // All of them fail: the fetch moves on after the few it tries.
    server.requests.clear();
    EXPECT_EQ(fetch("example.test", server.options()), QSize());
    EXPECT_EQ(server.requests.filter(QRegularExpression("^example\\.test/i\\d+\\.png$")).size(),
              FaviconFetcher::maxDeclaredIcons);
}
