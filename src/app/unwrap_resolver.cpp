#include "unwrap_resolver.h"
#include "reply_drop.h"

#include "core/unwrap.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

namespace corvane::Unwrap {

namespace {

// Redirects are followed by hand: Qt's own policies either refuse https to
// http or need a prompt. Browsers stop at about twenty hops; so do we.
constexpr int maxRedirects = 20;

// Takes every cookie and keeps none, so no request carries anything from
// another link; each link's hops share a jar of their own.
class NoCookies : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

void deliverLater(QObject* context, const Resolved& done, const Url& url)
{
    QObject* receiver = context ? context : QCoreApplication::instance();
    QTimer::singleShot(0, receiver, [done, url] { done(url); });
}

// One link's network step: one hop after the other while they stay among the
// trackers, each with its own cookies, all within one deadline. Owned by the
// caller's context, so it ends with it.
class Follow : public QObject {
public:
    Follow(const Url& original, const QUrl& start, QObject* context, Resolved done, FollowOptions options)
        : QObject(context ? context : &session()), m_original(original), m_hop(start),
          m_done(std::move(done)), m_options(std::move(options)), m_cookies(new QNetworkCookieJar(this))
    {
        if (!m_options.follows)
            m_options.follows = shouldFollow;
        m_deadline.setSingleShot(true);
        m_deadline.setTimerType(Qt::PreciseTimer);
        connect(&m_deadline, &QTimer::timeout, this, [this] { finish(m_original); });
    }

    ~Follow() override { dropReply(); }

    void begin()
    {
        m_deadline.start(m_options.deadlineMs);
        send();
    }

private:
    void send()
    {
        QNetworkRequest request(m_hop);
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(userAgent));
        request.setTransferTimeout(m_options.timeoutMs);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        // The session keeps no cookies; this link's own jar supplies them.
        if (const QList<QNetworkCookie> cookies = m_cookies->cookiesForUrl(m_hop); !cookies.isEmpty())
            request.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
        m_reply = m_usingGet ? session().get(request) : session().head(request);
        // Only the headers matter: judge as soon as they are in.
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &Follow::responseArrived);
        connect(m_reply, &QNetworkReply::finished, this, [this] {
            if (m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
                responseArrived();
            else
                hopFailed();
        });
    }

    void responseArrived()
    {
        if (!m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            return;
        const QUrl here = m_reply->url();
        const QVariant target = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
        const QVariant cookies = m_reply->header(QNetworkRequest::SetCookieHeader);
        if (cookies.isValid())
            m_cookies->setCookiesFromUrl(cookies.value<QList<QNetworkCookie>>(), here);
        dropReply();
        if (!target.isValid()) {
            hopFailed();
            return;
        }
        const QUrl next = here.resolved(target.toUrl());
        const QString scheme = next.scheme().toLower();
        const auto parsed = next.isValid() && (scheme == "http" || scheme == "https")
                                ? Url::parse(next.toString(QUrl::FullyEncoded).toStdString())
                                : std::nullopt;
        // Not a web link (credentials in it, say): neither a result nor a hop.
        if (!parsed || !isWeb(*parsed)) {
            finish(m_original);
            return;
        }
        const bool sameHost = next.host().compare(here.host(), Qt::CaseInsensitive) == 0;
        if (!sameHost && !m_options.follows(*parsed)) {
            // The first hop outside the trackers is where the browser lands;
            // it gets its request from the browser only.
            finish(*parsed);
            return;
        }
        if (++m_redirects > maxRedirects) {
            finish(m_original);
            return;
        }
        m_hop = next;
        send();
    }

    // The hop answered without a redirect, or not at all. Some trackers
    // redirect a GET only.
    void hopFailed()
    {
        dropReply();
        if (m_usingGet) {
            finish(m_original);
            return;
        }
        m_usingGet = true;
        send();
    }

    void finish(const Url& url)
    {
        dropReply();
        m_deadline.stop();
        const Resolved done = m_done;
        deleteLater();
        done(url);
    }

    void dropReply() { corvane::dropReply(m_reply, this); }

    Url m_original;
    QUrl m_hop;
    Resolved m_done;
    FollowOptions m_options;
    QNetworkCookieJar* m_cookies;
    QTimer m_deadline;
    bool m_usingGet = false;
    int m_redirects = 0;
    QPointer<QNetworkReply> m_reply; // the manager may go first, at shutdown
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

void resolve(const Url& url, QObject* context, Resolved done, const FollowOptions& options)
{
    if (auto unwrapped = fromParameter(url)) {
        deliverLater(context, done, *unwrapped);
        return;
    }
    if (!(options.follows ? options.follows(url) : shouldFollow(url))) {
        deliverLater(context, done, url);
        return;
    }
    follow(url, context, std::move(done), options);
}

void follow(const Url& url, QObject* context, Resolved done, const FollowOptions& options)
{
    const QUrl start(QString::fromStdString(url.absoluteString()), QUrl::StrictMode);
    const QString scheme = start.scheme().toLower();
    if (!start.isValid() || (scheme != "http" && scheme != "https")) {
        deliverLater(context, done, url);
        return;
    }
    (new Follow(url, start, context, std::move(done), options))->begin();
}

} // namespace corvane::Unwrap
