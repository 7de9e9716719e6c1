#include "update_fixture.h"

#include <archive.h>
#include <archive_entry.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

namespace corvane::testing {

FileServer::FileServer()
{
    EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QString path = QString::fromLatin1(buffer->left(end).split(' ').value(1));
                buffer->clear();
                ++m_hits[path];
                if (m_drips.contains(path)) {
                    socket->write("HTTP/1.1 200 Answer\r\nContent-Length: 1000000\r\n\r\n");
                    auto* drip = new QTimer(socket);
                    QObject::connect(drip, &QTimer::timeout, socket, [socket] { socket->write("z"); });
                    drip->start(50);
                    return;
                }
                const auto [status, body] = m_routes.value(path, {404, QByteArray("missing")});
                QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " Answer\r\n";
                if (status != 204 && status != 304)
                    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
                socket->write(head + "Connection: close\r\n\r\n");
                if (status != 204 && status != 304)
                    socket->write(body);
                socket->disconnectFromHost();
            });
        }
    });
}

void FileServer::route(const QString& path, int status, const QByteArray& body)
{
    m_routes.insert(path, {status, body});
}

QString FileServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
}

int FileServer::totalHits() const
{
    int total = 0;
    for (int count : m_hits)
        total += count;
    return total;
}

void writeZip(const QString& path, const std::vector<ZipEntry>& entries)
{
    archive* zip = archive_write_new();
    archive_write_set_format_zip(zip);
    ASSERT_EQ(archive_write_open_filename(zip, QFile::encodeName(path).constData()), ARCHIVE_OK);
    for (const ZipEntry& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_copy_pathname(entry, item.name.toUtf8().constData());
        archive_entry_set_perm(entry, item.mode);
        if (item.kind == ZipEntry::folder) {
            archive_entry_set_filetype(entry, AE_IFDIR);
        } else if (item.kind == ZipEntry::link) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_copy_symlink(entry, item.content.constData());
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, item.content.size());
        }
        EXPECT_EQ(archive_write_header(zip, entry), ARCHIVE_OK) << item.name.toStdString();
        if (item.kind == ZipEntry::file)
            archive_write_data(zip, item.content.constData(), size_t(item.content.size()));
        archive_entry_free(entry);
    }
    archive_write_close(zip);
    archive_write_free(zip);
}

std::vector<ZipEntry> applicationEntries(const QString& version, const QString& root,
                                         const QByteArray& marker)
{
    return {
        {root, ZipEntry::folder, {}, 0755},
        {root + "/bin", ZipEntry::folder, {}, 0755},
        {root + "/bin/corvane", ZipEntry::file, "#!/bin/sh\necho " + marker + "\n", 0755},
        {root + "/share/corvane/extension/manifest.json", ZipEntry::file, "{}", 0644},
        {root + "/version", ZipEntry::file, version.toUtf8() + "\n", 0644},
    };
}

SigningKeys::SigningKeys()
{
    for (const char* name : {"trusted", "foreign"}) {
        const QString base = m_dir.filePath(name);
        QProcess minisign;
        minisign.setProcessChannelMode(QProcess::MergedChannels);
        minisign.start("minisign", {"-G", "-W", "-p", base + ".pub", "-s", base + ".key"});
        m_ok = m_ok && minisign.waitForFinished(20000) && minisign.exitCode() == 0;
    }
    EXPECT_TRUE(m_ok) << "minisign could not make a key pair";
}

QString SigningKeys::publicKey(const QString& name) const
{
    QFile file(m_dir.filePath(name + ".pub"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QByteArray SigningKeys::sign(const QString& file, const QString& name, const QString& comment) const
{
    const QString signature = file + ".minisig";
    QProcess minisign;
    minisign.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{"-S", "-s", m_dir.filePath(name + ".key"), "-x", signature, "-m", file};
    if (!comment.isEmpty())
        arguments << "-t" << comment;
    minisign.start("minisign", arguments);
    if (!minisign.waitForFinished(20000) || minisign.exitCode() != 0)
        return {};
    QFile out(signature);
    return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

void FakeAlerts::run(const Alert& alert, std::function<void(int)> done)
{
    shown << alert;
    const int fallback = AlertPresenter::firstButton + int(std::max<qsizetype>(alert.buttons.size(), 1)) - 1;
    done(answers.isEmpty() ? fallback : answers.takeFirst());
}

void writeApplication(const QString& folder, const QString& version, const QByteArray& marker)
{
    QDir().mkpath(folder + "/bin");
    QFile program(folder + "/bin/corvane");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly | QIODevice::Truncate));
    program.write("#!/bin/sh\necho " + marker + "\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QFile file(folder + "/version");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(version.toUtf8() + "\n");
}

QString markerOf(const QString& application)
{
    QFile program(application + "/bin/corvane");
    if (!program.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(program.readAll()).section("echo ", 1).trimmed();
}

} // namespace corvane::testing
