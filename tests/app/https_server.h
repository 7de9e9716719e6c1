#pragma once

#include "app/favicon_fetcher.h"

#include <QHash>
#include <QSslServer>
#include <QStringList>

class QSslSocket;

namespace corvane::testing {

// What the server answers for one "host/path". `silent` never answers.
struct Answer {
    Answer(int status = 404, QByteArray contentType = "text/html", QByteArray body = "<h1>Not found</h1>",
           QByteArray location = {})
        : status(status), contentType(std::move(contentType)), body(std::move(body)),
          location(std::move(location))
    {
    }
    static Answer never()
    {
        Answer answer;
        answer.silent = true;
        return answer;
    }

    int status;
    QByteArray contentType;
    QByteArray body;
    QByteArray location;
    bool silent = false;
};

// A web of made-up hosts under ".test" on one HTTPS server at 127.0.0.1, with
// a certificate for them made at test time. Requests are recorded as
// "host/path" from the Host header, in the order they arrive.
class HttpsServer {
public:
    HttpsServer();

    void route(const QString& hostAndPath, Answer answer) { m_routes.insert(hostAndPath, std::move(answer)); }
    // Every test host mapped to this server, the test certificate trusted.
    FaviconFetcher::Options options(int timeoutMs = 5000) const;
    quint16 port() const { return m_server.serverPort(); }

    QStringList requests;
    QStringList agents;
    int cookiesSent = 0;

private:
    void read(QSslSocket* socket);

    QSslServer m_server;
    QHash<QString, Answer> m_routes;
    QHash<QSslSocket*, QByteArray> m_pending;
};

// The hosts the test certificate names.
const QStringList& testHosts();

} // namespace corvane::testing
