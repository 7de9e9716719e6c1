#include "https_server.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QSslSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace corvane::testing {

namespace {

struct Identity {
    QSslCertificate certificate;
    QSslKey key;
};

// One self-signed certificate per test run, made with the openssl command.
const Identity& identity()
{
    static const Identity made = [] {
        QTemporaryDir dir;
        QStringList names;
        for (const QString& host : testHosts())
            names << "DNS:" + host;
        // So a request that should never be made to the local machine would
        // be answered, and seen, if it were.
        names << "DNS:localhost"
              << "IP:127.0.0.1";
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                  "-nodes", "-days", "2", "-subj", "/CN=Corvane test", "-addext",
                                  "subjectAltName=" + names.join(','), "-keyout", dir.filePath("key.pem"),
                                  "-out", dir.filePath("cert.pem")});
        EXPECT_TRUE(openssl.waitForFinished(30000)) << "openssl did not finish";
        EXPECT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
        QFile cert(dir.filePath("cert.pem"));
        QFile key(dir.filePath("key.pem"));
        cert.open(QIODevice::ReadOnly);
        key.open(QIODevice::ReadOnly);
        Identity id{QSslCertificate(cert.readAll()), QSslKey(key.readAll(), QSsl::Ec)};
        EXPECT_FALSE(id.certificate.isNull());
        EXPECT_FALSE(id.key.isNull());
        return id;
    }();
    return made;
}

} // namespace

const QStringList& testHosts()
{
    static const QStringList hosts{"example.test", "www.example.test", "a.example.test", "www.a.example.test",
                                   "other.test",   "www.other.test",   "cdn.other.test"};
    return hosts;
}

HttpsServer::HttpsServer()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(identity().certificate);
    tls.setPrivateKey(identity().key);
    m_server.setSslConfiguration(tls);
    EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
    QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, [this] {
        while (QTcpSocket* next = m_server.nextPendingConnection()) {
            auto* socket = static_cast<QSslSocket*>(next);
            QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket] { read(socket); });
            QObject::connect(socket, &QSslSocket::disconnected, socket, [this, socket] {
                m_pending.remove(socket);
                socket->deleteLater();
            });
            if (socket->bytesAvailable() > 0)
                read(socket);
        }
    });
}

FaviconFetcher::Options HttpsServer::options(int timeoutMs) const
{
    FaviconFetcher::Options options;
    options.timeoutMs = timeoutMs;
    for (const QString& host : testHosts())
        options.addresses.insert(host, {QHostAddress::LocalHost, m_server.serverPort()});
    options.extraCaCertificates = {identity().certificate};
    return options;
}

void HttpsServer::read(QSslSocket* socket)
{
    QByteArray& pending = m_pending[socket];
    pending += socket->readAll();
    const qsizetype end = pending.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = pending.left(end).split('\n');
    pending.clear();
    const QByteArray path = lines.front().trimmed().split(' ').value(1);
    QByteArray host;
    for (const QByteArray& line : lines) {
        const QByteArray lower = line.toLower();
        if (lower.startsWith("host:"))
            host = line.mid(5).trimmed();
        else if (lower.startsWith("user-agent:"))
            agents << QString::fromLatin1(line.mid(11).trimmed());
        else if (lower.startsWith("cookie:"))
            ++cookiesSent;
    }
    const QString key = QString::fromUtf8(host + path);
    requests << key;
    const Answer answer = m_routes.value(key);
    if (answer.silent)
        return;
    QByteArray response = "HTTP/1.1 " + QByteArray::number(answer.status) + " Answer\r\n" +
                          "Set-Cookie: visited=1; Path=/\r\nConnection: close\r\n";
    if (!answer.contentType.isEmpty())
        response += "Content-Type: " + answer.contentType + "\r\n";
    if (!answer.location.isEmpty())
        response += "Location: " + answer.location + "\r\n";
    response += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n\r\n" + answer.body;
    socket->write(response);
    socket->disconnectFromHost();
}

} // namespace corvane::testing
