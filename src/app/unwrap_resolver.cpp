#include "unwrap_resolver.h"

#include "core/unwrap.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <cctype>

namespace corvane::Unwrap {

namespace {

// Redirects are followed by hand: Qt's own policies either refuse https to
// http or need a prompt. Browsers stop at about twenty hops; so do we.
constexpr int maxRedirects = 20;

// Takes every cookie and keeps none, so no request carries anything from an
// earlier one.
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

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// One link's network step: a HEAD chain of redirects, then, when that gives
// nothing, a GET chain. Owned by the caller's context, so it ends with it.
class Follow : public QObject {
public:
    Follow(const Url& original, const QUrl& start, QObject* context, Resolved done, int timeoutMs)
        : QObject(context ? context : &session()), m_original(original), m_start(start),
          m_done(std::move(done)), m_timeoutMs(timeoutMs)
    {
    }

    ~Follow() override { dropReply(); }

    void begin() { send(m_start); }

private:
    void send(const QUrl& url)
    {
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(userAgent));
        request.setTransferTimeout(m_timeoutMs);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        m_reply = m_usingGet ? session().get(request) : session().head(request);
        // Only the final response's headers matter: judge as soon as they are in.
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &Follow::responseArrived);
        connect(m_reply, &QNetworkReply::finished, this, [this] {
            if (m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
                responseArrived();
            else
                stageFailed();
        });
    }

    void responseArrived()
    {
        if (!m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            return;
        const QUrl here = m_reply->url();
        const QVariant target = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
        dropReply();
        if (!target.isValid()) {
            judge(here);
            return;
        }
        const QUrl next = here.resolved(target.toUrl());
        const QString scheme = next.scheme().toLower();
        if (++m_redirects > maxRedirects || !next.isValid() || (scheme != "http" && scheme != "https")) {
            stageFailed();
            return;
        }
        send(next);
    }

    // A web link on another host is the destination; anything else is no answer.
    void judge(const QUrl& final)
    {
        const auto url = Url::parse(final.toString(QUrl::FullyEncoded).toStdString());
        if (url && isWeb(*url) && lower(url->host.value_or("")) != lower(m_original.host.value_or("")))
            finish(*url);
        else
            stageFailed();
    }

    void stageFailed()
    {
        dropReply();
        if (m_usingGet) {
            finish(m_original);
            return;
        }
        m_usingGet = true;
        m_redirects = 0;
        send(m_start);
    }

    void finish(const Url& url)
    {
        const Resolved done = m_done;
        deleteLater();
        done(url);
    }

    void dropReply()
    {
        if (!m_reply)
            return;
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        // Qt reports an error status itself right after the headers; aborting
        // such a reply too would report twice. Deleting it ends the transfer.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->isRunning() && reply->error() == QNetworkReply::NoError && status < 400)
            reply->abort();
        reply->deleteLater();
    }

    Url m_original;
    QUrl m_start;
    Resolved m_done;
    int m_timeoutMs;
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

void resolve(const Url& url, QObject* context, Resolved done, int timeoutMs)
{
    if (auto unwrapped = fromParameter(url)) {
        deliverLater(context, done, *unwrapped);
        return;
    }
    if (!shouldFollow(url)) {
        deliverLater(context, done, url);
        return;
    }
    follow(url, context, std::move(done), timeoutMs);
}

void follow(const Url& url, QObject* context, Resolved done, int timeoutMs)
{
    const QUrl start(QString::fromStdString(url.absoluteString()), QUrl::StrictMode);
    const QString scheme = start.scheme().toLower();
    if (!start.isValid() || (scheme != "http" && scheme != "https")) {
        deliverLater(context, done, url);
        return;
    }
    (new Follow(url, start, context, std::move(done), timeoutMs))->begin();
}

} // namespace corvane::Unwrap
