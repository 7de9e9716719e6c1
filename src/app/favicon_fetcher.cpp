#include "favicon_fetcher.h"
#include "favicon_addresses.h"
#include "icon_image.h"
#include "reply_drop.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>
#include <QStringDecoder>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>

namespace corvane::FaviconFetcher {

namespace {

// Redirects are followed by hand, so every hop goes through the host mapping
// and the page's final URL is the one the site named. Browsers stop at about
// twenty hops; so do we.
constexpr int maxRedirects = 20;

// Takes every cookie and keeps none, so no request carries anything from an
// earlier one.
class NoCookies : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

template <typename Callback, typename Value> void deliverLater(QObject* context, Callback done, Value value)
{
    QObject* receiver = context ? context : QCoreApplication::instance();
    QTimer::singleShot(0, receiver, [done = std::move(done), value = std::move(value)] { done(value); });
}

bool isWebScheme(const QUrl& url)
{
    return url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
}

struct Response {
    QUrl url; // after redirects
    QString contentType;
    QByteArray body;
};

// One GET with status 200 at its end, its body read up to `limit` bytes:
// beyond that the body is cut there (`truncate`) or the answer refused.
class Get : public QObject {
public:
    using Done = std::function<void(std::optional<Response>)>;

    Get(const QUrl& url, qint64 limit, bool truncate, const Options& options, QObject* context, Done done)
        : QObject(context ? context : &session()), m_url(url), m_limit(limit), m_truncate(truncate),
          m_options(options), m_done(std::move(done))
    {
    }

    ~Get() override
    {
        dropReply();
        if (m_lookup >= 0)
            QHostInfo::abortHostLookup(m_lookup);
    }

    void begin() { send(m_url); }

private:
    // Every hop, the first and each redirect, goes to an address that is
    // known before the request leaves: the test's own mapping, or what the
    // name resolves to, refused when any of it is not public. The request
    // then goes to that very address, so a second lookup cannot answer
    // differently.
    void send(const QUrl& url)
    {
        m_url = url;
        m_body.clear();
        const QString host = url.host().toLower();
        const auto endpoint = m_options.addresses.constFind(host);
        if (endpoint != m_options.addresses.constEnd()) {
            sendTo(endpoint->address, endpoint->port);
            return;
        }
        const QHostAddress literal(host);
        if (!literal.isNull()) {
            if (isPublicAddress(literal))
                sendTo(literal, url.port());
            else
                finish(std::nullopt);
            return;
        }
        m_lookupTimer.setSingleShot(true);
        m_lookupTimer.callOnTimeout(this, [this] { finish(std::nullopt); });
        m_lookupTimer.start(m_options.timeoutMs);
        m_lookup = QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) {
            m_lookup = -1;
            m_lookupTimer.stop();
            const QList<QHostAddress> addresses = info.addresses();
            if (info.error() != QHostInfo::NoError || addresses.isEmpty() ||
                !std::all_of(addresses.begin(), addresses.end(), isPublicAddress)) {
                finish(std::nullopt);
                return;
            }
            // IPv4 first: it reaches more networks than IPv6 does.
            const auto v4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress& a) {
                return a.protocol() == QAbstractSocket::IPv4Protocol;
            });
            sendTo(v4 != addresses.end() ? *v4 : addresses.front(), m_url.port());
        });
    }

    void sendTo(const QHostAddress& address, int port)
    {
        const QUrl& url = m_url;
        QNetworkRequest request(url);
        QUrl direct = url;
        direct.setHost(address.toString());
        direct.setPort(port);
        request.setUrl(direct);
        request.setRawHeader("Host", url.authority(QUrl::FullyEncoded).toUtf8());
        request.setPeerVerifyName(url.host());
        // The Host header above is what HTTP/1.1 sends; HTTP/2 would name the address.
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
        if (!m_options.extraCaCertificates.isEmpty()) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.addCaCertificates(m_options.extraCaCertificates);
            request.setSslConfiguration(tls);
        }
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(userAgent));
        request.setTransferTimeout(m_options.timeoutMs);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        m_reply = session().get(request);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &Get::headersArrived);
        connect(m_reply, &QNetworkReply::readyRead, this, &Get::read);
        connect(m_reply, &QNetworkReply::finished, this, &Get::finished);
    }

    void headersArrived()
    {
        if (m_headersSeen || !m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            return;
        m_headersSeen = true;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant target = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
        if (target.isValid()) {
            redirect(target.toUrl());
            return;
        }
        if (status != 200) {
            finish(std::nullopt);
            return;
        }
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (!m_truncate && length.isValid() && length.toLongLong() >= m_limit)
            finish(std::nullopt);
    }

    void redirect(const QUrl& target)
    {
        const QUrl next = m_url.resolved(target);
        // Never from https down to plain http, as the HTTP client's own policy.
        const bool downgrade = m_url.scheme() == QLatin1String("https") && next.scheme() != m_url.scheme();
        if (++m_redirects > maxRedirects || !next.isValid() || !isWebScheme(next) || downgrade) {
            finish(std::nullopt);
            return;
        }
        dropReply();
        m_headersSeen = false;
        send(next);
    }

    void read()
    {
        if (!m_headersSeen)
            headersArrived();
        if (!m_reply)
            return;
        m_body += m_reply->read(m_limit - m_body.size() + 1);
        if (m_body.size() < m_limit)
            return;
        if (!m_truncate) {
            finish(std::nullopt);
            return;
        }
        m_body.truncate(m_limit);
        finish(response());
    }

    void finished()
    {
        if (!m_headersSeen)
            headersArrived();
        if (!m_reply)
            return;
        if (m_reply->error() != QNetworkReply::NoError || !m_headersSeen) {
            finish(std::nullopt);
            return;
        }
        read();
        if (m_reply)
            finish(response());
    }

    Response response() const
    {
        return {m_url, m_reply->header(QNetworkRequest::ContentTypeHeader).toString(), m_body};
    }

    void finish(std::optional<Response> result)
    {
        dropReply();
        m_lookupTimer.stop();
        if (m_lookup >= 0)
            QHostInfo::abortHostLookup(m_lookup);
        m_lookup = -1;
        if (!m_done)
            return;
        const Done done = std::exchange(m_done, nullptr);
        deleteLater();
        done(std::move(result));
    }

    void dropReply() { corvane::dropReply(m_reply, this); }

    QUrl m_url;
    qint64 m_limit;
    bool m_truncate;
    Options m_options;
    Done m_done;
    QByteArray m_body;
    bool m_headersSeen = false;
    int m_redirects = 0;
    int m_lookup = -1;
    QTimer m_lookupTimer{this};
    QPointer<QNetworkReply> m_reply; // the manager may go first, at shutdown
};

void get(const QUrl& url, qint64 limit, bool truncate, const Options& options, QObject* context,
         Get::Done done)
{
    (new Get(url, limit, truncate, options, context, std::move(done)))->begin();
}

// A page cut at the read limit may end inside a character; that must not make
// the whole page read as Latin-1.
QString pageText(QByteArray body, bool cut)
{
    if (cut) {
        qsizetype start = body.size();
        while (start > 0 && body.size() - start < 4 && (uchar(body[start - 1]) & 0xC0) == 0x80)
            --start;
        if (start > 0) {
            const uchar lead = uchar(body[start - 1]);
            const qsizetype have = body.size() - start + 1;
            const qsizetype need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (lead >= 0xC0 && have < need)
                body.truncate(start - 1);
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(body);
}

// The fixed order of one fetch as a queue of steps: a declared-icons step puts
// the page's icons at the front when it ends.
class Fetch : public QObject {
public:
    Fetch(const QString& host, const Options& options, QObject* context, Image done)
        : QObject(context ? context : &session()), m_options(options), m_done(std::move(done))
    {
        for (const QString& candidate : candidateHosts(host)) {
            m_steps.push_back(
                {false,
                 QUrl(QStringLiteral("https://") + candidate + QStringLiteral("/apple-touch-icon.png")),
                 {}});
            m_steps.push_back({true, {}, candidate});
            m_steps.push_back(
                {false, QUrl(QStringLiteral("https://") + candidate + QStringLiteral("/favicon.ico")), {}});
        }
    }

    void next()
    {
        if (m_steps.empty()) {
            finish({});
            return;
        }
        const Step step = m_steps.front();
        m_steps.pop_front();
        if (step.declared) {
            declaredIcons(
                step.host, this,
                [this](const QList<QUrl>& urls) {
                    for (auto it = urls.rbegin(); it != urls.rend(); ++it)
                        m_steps.push_front({false, *it, {}});
                    next();
                },
                m_options);
            return;
        }
        if (!step.url.isValid() || step.url.host().isEmpty()) {
            next();
            return;
        }
        imageAt(
            step.url, this,
            [this](const QImage& image) {
                if (image.isNull())
                    next();
                else
                    finish(image);
            },
            m_options);
    }

private:
    struct Step {
        bool declared;
        QUrl url;
        QString host;
    };

    void finish(const QImage& image)
    {
        const Image done = std::exchange(m_done, nullptr);
        deleteLater();
        done(image);
    }

    Options m_options;
    Image m_done;
    std::deque<Step> m_steps;
};

} // namespace

QNetworkAccessManager& session()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setCookieJar(new NoCookies);
        manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return *manager;
}

QStringList candidateHosts(const QString& host)
{
    QStringList hosts{host};
    // An address has no "www." form and no parent domain: "1.2.3.4" would
    // otherwise also try "3.4", which is read as yet another address.
    if (host.startsWith(QLatin1Char('[')) || !QHostAddress(host).isNull())
        return hosts;
    if (!host.startsWith(QLatin1String("www.")))
        hosts << QStringLiteral("www.") + host;
    const QStringList labels = host.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (labels.size() >= 3)
        hosts << labels[labels.size() - 2] + QLatin1Char('.') + labels.back();
    return hosts;
}

void fetch(const QString& host, QObject* context, Image done, const Options& options)
{
    auto* run = new Fetch(host, options, context, std::move(done));
    // Even a fetch that needs no request answers only after this call returns.
    QTimer::singleShot(0, run, [run] { run->next(); });
}

void declaredIcons(const QString& host, QObject* context, Urls done, const Options& options)
{
    const QUrl page(QStringLiteral("https://") + host + QStringLiteral("/"));
    if (!page.isValid() || page.host().isEmpty()) {
        deliverLater(context, std::move(done), QList<QUrl>());
        return;
    }
    get(page, pageLimit, true, options, context, [done = std::move(done)](std::optional<Response> response) {
        if (!response) {
            done({});
            return;
        }
        const bool cut = response->body.size() >= pageLimit;
        const bool secure = response->url.scheme() == QLatin1String("https");
        QList<QUrl> icons;
        for (const QUrl& url : parseIconLinks(pageText(std::move(response->body), cut), response->url)) {
            if (icons.size() >= maxDeclaredIcons)
                break;
            // An https page's icon fetched in the clear could be anyone's.
            if (secure && url.scheme() == QLatin1String("http"))
                continue;
            icons.append(url);
        }
        done(icons);
    });
}

void imageAt(const QUrl& url, QObject* context, Image done, const Options& options)
{
    if (url.scheme() == QLatin1String("data")) {
        auto bytes = dataURLBytes(url.toString(QUrl::FullyEncoded));
        if (!bytes) {
            deliverLater(context, std::move(done), QImage());
            return;
        }
        IconImage::acceptLater(std::move(*bytes), QString(), IconImage::Origin::inlineData, context,
                               std::move(done));
        return;
    }
    if (!isWebScheme(url)) {
        deliverLater(context, std::move(done), QImage());
        return;
    }
    QPointer<QObject> guard(context);
    const bool bound = context != nullptr;
    get(url, imageLimit, false, options, context,
        [done = std::move(done), guard, bound](std::optional<Response> response) mutable {
            if (!response) {
                done(QImage());
                return;
            }
            IconImage::acceptLater(std::move(response->body), response->contentType,
                                   IconImage::Origin::download, bound ? guard.data() : nullptr,
                                   std::move(done));
        });
}

} // namespace corvane::FaviconFetcher
