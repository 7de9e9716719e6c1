#include "real_browsers.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace corvane::test {

PageServer::PageServer()
{
    EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_pending[socket] += socket->readAll();
                if (!m_pending[socket].contains("\r\n\r\n"))
                    return;
                m_requests << QString::fromUtf8(m_pending.take(socket).split('\r').front());
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 15\r\n"
                              "Connection: close\r\n\r\n<title>ok</title>");
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString PageServer::url(const QString& path) const
{
    return QString("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
}

bool PageServer::waitFor(const QString& requestLine, int ms) const
{
    return QTest::qWaitFor([&] { return m_requests.contains(requestLine); }, ms);
}

VirtualDisplay::VirtualDisplay()
{
    m_server.setProgram("Xvfb");
    m_server.setArguments({"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    m_server.start();
    if (m_server.waitForStarted(5000) && QTest::qWaitFor([&] { return m_server.canReadLine(); }, 20000))
        m_display = ":" + QString::fromUtf8(m_server.readLine()).trimmed();
}

VirtualDisplay::~VirtualDisplay()
{
    m_server.terminate();
    m_server.waitForFinished(5000);
}

SessionBus::SessionBus()
{
    m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (m_daemon.waitForStarted(5000) && QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, 20000))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

SessionBus::~SessionBus()
{
    m_daemon.terminate();
    m_daemon.waitForFinished(5000);
}

BrowserReaper::~BrowserReaper()
{
    QFile file(m_pidFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> pids = file.readAll().split('\n');
    for (int signal : {SIGTERM, SIGKILL}) {
        for (const QByteArray& pid : pids) {
            if (pid.trimmed().toInt() > 0)
                ::kill(-pid.trimmed().toInt(), signal);
        }
        QTest::qWait(1500);
    }
}

} // namespace corvane::test
