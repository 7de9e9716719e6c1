#include "updater.h"

#include "core/minisign.h"
#include "core/update_feed.h"

#include <archive.h>
#include <archive_entry.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace corvane::Updater {

namespace {

namespace fs = std::filesystem;

const QString applicationName = QStringLiteral("Corvane.app");

fs::path toPath(const QString& path)
{
    return fs::path(path.toStdString());
}

QString describe(const std::error_code& error, const QString& path)
{
    return path + QStringLiteral(": ") + QString::fromStdString(error.message());
}

Result failed(Failure failure)
{
    return {{}, Error{failure, message(failure)}};
}

Result failed(const QString& systemMessage)
{
    return {{}, Error{std::nullopt, systemMessage}};
}

// Archive names are relative paths inside the folder: no absolute path and no
// ".." anywhere. Empty components and "." are harmless and left to libarchive.
bool isSafeName(const std::string& name)
{
    if (name.empty() || name.front() == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

// A link's target, read from the folder that holds the link, must stay inside
// the unpacked folder. ".." may only lead the target: after a name, it would
// climb from wherever that name leads, which may itself be a link.
bool isSafeLink(const std::string& name, const std::string& target)
{
    if (target.empty() || target.front() == '/')
        return false;
    const auto split = [](const std::string& path) {
        std::vector<std::string> pieces;
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t end = std::min(path.find('/', start), path.size());
            const std::string piece = path.substr(start, end - start);
            if (!piece.empty() && piece != ".")
                pieces.push_back(piece);
            start = end + 1;
        }
        return pieces;
    };
    qsizetype depth = qsizetype(split(name).size()) - 1; // folders above the link inside the root
    bool descended = false;
    for (const std::string& piece : split(target)) {
        if (piece == "..") {
            if (descended || --depth < 0)
                return false;
        } else {
            descended = true;
        }
    }
    return true;
}

struct ArchiveReader {
    archive* handle = archive_read_new();
    ~ArchiveReader() { archive_read_free(handle); }
};

struct DiskWriter {
    archive* handle = archive_write_disk_new();
    ~DiskWriter() { archive_write_free(handle); }
};

bool copyData(archive* in, archive* out, qint64& total, qint64 limit)
{
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(in, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return true;
        if (status < ARCHIVE_WARN)
            return false;
        total += qint64(size);
        if (total > limit)
            return false;
        if (archive_write_data_block(out, block, size, offset) < ARCHIVE_WARN)
            return false;
    }
}

// Writable by the user by the folder's own permission bits, as well as by
// access(2): an administrator's account would pass access(2) on any folder,
// yet a folder nobody may write to is a system-wide install to leave alone.
bool writableByUser(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        ::access(path.constData(), W_OK) != 0)
        return false;
    const uid_t uid = ::geteuid();
    if (info.st_uid == uid)
        return (info.st_mode & S_IWUSR) != 0;
    bool inGroup = info.st_gid == ::getegid();
    if (!inGroup) {
        const int count = ::getgroups(0, nullptr);
        std::vector<gid_t> groups(count > 0 ? count : 0);
        if (count > 0 && ::getgroups(count, groups.data()) == count)
            inGroup = std::find(groups.begin(), groups.end(), info.st_gid) != groups.end();
    }
    if (inGroup)
        return (info.st_mode & S_IWGRP) != 0;
    return (info.st_mode & S_IWOTH) != 0;
}

QString firstApplication(const QString& folder)
{
    QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() == applicationName)
            return path;
    }
    return {};
}

// The trash keeps a note beside each file it holds; restoring takes both away.
void forgetTrashNote(const QString& trashed)
{
    const QFileInfo file(trashed);
    const QString note = file.absoluteDir().absoluteFilePath(QStringLiteral("../info/") + file.fileName() +
                                                             QStringLiteral(".trashinfo"));
    QFile::remove(note);
}

QString moveByRename(const QString& staged, const QString& current)
{
    std::error_code error;
    fs::rename(toPath(staged), toPath(current), error);
    return error ? describe(error, current) : QString();
}

} // namespace

QString message(Failure failure)
{
    switch (failure) {
    case Failure::download:
        return QStringLiteral("The update couldn't be downloaded. Check your connection and try again.");
    case Failure::unzip:
        return QStringLiteral("The update file couldn't be opened.");
    case Failure::missingApp:
        return QStringLiteral("The update file doesn't contain Corvane.");
    case Failure::signature:
        return QStringLiteral("The update isn't signed by Corvane's developer, so it wasn't installed.");
    case Failure::notNewer:
        return QStringLiteral("The download isn't newer than this version.");
    case Failure::notWritable:
        return QStringLiteral(
            "Corvane can't replace itself in this folder. Download the update from the website instead.");
    }
    return {};
}

QString runningApplication()
{
    QDir folder(QCoreApplication::applicationDirPath());
    if (folder.dirName() != QLatin1String("bin") || !folder.cdUp())
        return {};
    return QFileInfo::exists(folder.absoluteFilePath(QStringLiteral("version"))) ? folder.absolutePath()
                                                                                 : QString();
}

QString versionOf(const QString& application)
{
    QFile file(application + QStringLiteral("/version"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("0");
    const QString version = QString::fromUtf8(file.readLine(256)).trimmed();
    return version.isEmpty() ? QStringLiteral("0") : version;
}

bool unpack(const QString& archivePath, const QString& destination, const Options& options)
{
    const int fd = ::open(QFile::encodeName(archivePath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = unpackDescriptor(fd, destination, options);
    ::close(fd);
    return ok;
}

bool unpackDescriptor(int fd, const QString& destination, const Options& options)
{
    if (::lseek(fd, 0, SEEK_SET) != 0 || !QDir().mkpath(destination))
        return false;
    const std::string root = QFileInfo(destination).canonicalFilePath().toStdString();
    ArchiveReader reader;
    DiskWriter writer;
    archive_read_support_format_zip(reader.handle);
    // Our own checks come first; these are libarchive's guard behind them.
    archive_write_disk_set_options(writer.handle, ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                      ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                      ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    if (root.empty() || archive_read_open_fd(reader.handle, fd, 1 << 16) != ARCHIVE_OK)
        return false;

    qint64 total = 0;
    int entries = 0;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.handle, &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN || ++entries > options.maxEntries)
            return false;
        const char* pathname = archive_entry_pathname(entry);
        const std::string name = pathname ? pathname : "";
        const mode_t type = archive_entry_filetype(entry);
        if (!isSafeName(name) || archive_entry_hardlink(entry) ||
            (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK))
            return false;
        if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink(entry);
            if (!target || !isSafeLink(name, target))
                return false;
        }
        mode_t permissions = archive_entry_perm(entry) & 0777;
        if (type == AE_IFDIR)
            permissions |= 0700; // the folder must take its own contents
        archive_entry_set_perm(entry, permissions);
        archive_entry_copy_pathname(entry, (root + '/' + name).c_str());
        if (archive_write_header(writer.handle, entry) < ARCHIVE_WARN)
            return false;
        if (type == AE_IFREG && !copyData(reader.handle, writer.handle, total, options.maxUnpackedBytes))
            return false;
        if (archive_write_finish_entry(writer.handle) < ARCHIVE_WARN)
            return false;
    }
    return archive_write_close(writer.handle) >= ARCHIVE_WARN;
}

Result installArchive(const QString& archive, const QByteArray& signature, const QString& expected,
                      const QString& current, const QString& workFolder, const Options& options,
                      const std::atomic<bool>* cancelled)
{
    // Nothing of the download is unpacked before its signature holds, and
    // the signature must be a release's: a file signed with the same key for
    // anything else names no version and is refused.
    const auto key = Minisign::parsePublicKey(options.publicKey.toStdString());
    const auto parsed = Minisign::parseSignature(signature.toStdString());
    const auto signedVersion = parsed ? UpdateFeed::signedVersion(parsed->trustedComment) : std::nullopt;
    if (!key || !parsed || !signedVersion)
        return failed(Failure::signature);

    // One open file from the check to the unpacking: what is unpacked is
    // exactly what was verified, whatever happens to the name meanwhile.
    const int fd = ::open(QFile::encodeName(archive).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return failed(Failure::unzip);
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* held) {
        ::close(*held);
        delete held;
    });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return failed(Failure::unzip);
    Minisign::Hasher hasher;
    std::vector<char> block(1 << 16);
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return failed(Failure::signature);
        if (got == 0)
            break;
        hasher.update(block.data(), std::size_t(got));
    }
    if (!Minisign::verify(hasher.final(), *parsed, *key))
        return failed(Failure::signature);

    const QString unzipped = workFolder + QStringLiteral("/unzipped");
    if (!unpackDescriptor(fd, unzipped, options))
        return failed(Failure::unzip);
    const QString application = firstApplication(unzipped);
    if (application.isEmpty())
        return failed(Failure::missingApp);

    const QString newVersion = versionOf(application);
    const std::string candidate = newVersion.toStdString();
    if (!UpdateFeed::isNewer(candidate, versionOf(current).toStdString()) ||
        UpdateFeed::compareVersions(candidate, expected.toStdString()) < 0)
        return failed(Failure::notNewer);
    if (candidate != *signedVersion)
        return failed(Failure::signature);
    if (cancelled && cancelled->load())
        return {{}, std::nullopt, true};

    const QString folder = QFileInfo(current).absolutePath();
    if (current.isEmpty() || !QFileInfo(current).isDir() || !writableByUser(folder))
        return failed(Failure::notWritable);

    const QString staged = folder + QStringLiteral("/.Corvane ") + newVersion + QStringLiteral(".app");
    std::error_code error;
    fs::remove_all(toPath(staged), error); // a leftover of an earlier attempt
    fs::copy(toPath(application), toPath(staged),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        fs::remove_all(toPath(staged), error);
        return failed(describe(error, staged));
    }

    QFile old(current);
    if (!old.moveToTrash()) {
        const QString reason = old.errorString();
        fs::remove_all(toPath(staged), error);
        return failed(current + QStringLiteral(": ") + reason);
    }
    const QString trashed = old.fileName(); // where it went
    const QString moveError =
        options.moveIntoPlace ? options.moveIntoPlace(staged, current) : moveByRename(staged, current);
    if (moveError.isEmpty())
        return {current, std::nullopt};

    // Corvane must never be left missing: the old folder comes back from the
    // Trash, and the new copy goes. Should the old one not come back, the new
    // copy is all there is at hand: it stays, and the message says where both are.
    std::error_code restoreError;
    fs::rename(toPath(trashed), toPath(current), restoreError);
    if (restoreError)
        return failed(moveError + QStringLiteral(". The previous version is in the Trash (") + trashed +
                      QStringLiteral(") and the new one is at ") + staged +
                      QStringLiteral(": move either to ") + current +
                      QStringLiteral(" to use Corvane again."));
    forgetTrashNote(trashed);
    fs::remove_all(toPath(staged), error);
    return failed(moveError +
                  QStringLiteral(". The previous version was put back, so Corvane is unchanged."));
}

namespace {

constexpr qint64 maxSignatureBytes = 65536;

// One installation's network part. Lives as a child of the caller's context,
// so it ends with it.
class Download : public QObject {
public:
    Download(const QUrl& zip, QString expected, QString current, Options options, QString workFolder,
             QObject* context, Progress progress, Done done)
        : QObject(context), m_zip(zip), m_expected(std::move(expected)), m_current(std::move(current)),
          m_options(std::move(options)), m_work(std::move(workFolder)), m_progress(std::move(progress)),
          m_done(std::move(done)), m_archive(m_work + QStringLiteral("/update.zip"))
    {
    }

    ~Download() override
    {
        // A finished run removed it already; one cut short does it here.
        if (!m_handedOff)
            QDir(m_work).removeRecursively();
    }

    void start()
    {
        if (m_finished)
            return; // cancelled before it began
        // Only the user may look into the folder, or swap what it holds
        // between the check and the unpacking.
        QDir().mkpath(QFileInfo(m_work).absolutePath());
        if (::mkdir(QFile::encodeName(m_work).constData(), 0700) != 0) {
            finish(failed(m_work + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        m_deadline.setSingleShot(true);
        m_deadline.callOnTimeout(this, [this] { finish(failed(Failure::download)); });
        m_deadline.start(m_options.downloadDeadlineMs);
        fetchSignature();
    }

    void cancel()
    {
        if (m_finished)
            return;
        if (m_handedOff) {
            m_cancelled->store(true); // the worker stops before it changes anything
            return;
        }
        finish({{}, std::nullopt, true});
    }

private:
    QNetworkReply* get(const QUrl& url)
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setTransferTimeout(m_options.transferTimeoutMs);
        m_reply = m_network.get(request);
        return m_reply;
    }

    static bool isOk(QNetworkReply* reply)
    {
        return reply->error() == QNetworkReply::NoError &&
               reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    }

    // The signature comes first: without one of ours, nothing is downloaded.
    void fetchSignature()
    {
        QUrl url = m_zip;
        url.setPath(url.path() + QStringLiteral(".minisig"));
        QNetworkReply* reply = get(url);
        connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
            m_signature += reply->readAll();
            if (m_signature.size() > maxSignatureBytes)
                reply->abort();
        });
        connect(reply, &QNetworkReply::finished, this, [this, reply] {
            reply->deleteLater();
            m_reply = nullptr;
            if (reply->isOpen())
                m_signature += reply->readAll();
            if (!isOk(reply) || m_signature.size() > maxSignatureBytes) {
                finish(failed(Failure::download));
                return;
            }
            const auto key = Minisign::parsePublicKey(m_options.publicKey.toStdString());
            const auto signature = Minisign::parseSignature(m_signature.toStdString());
            if (!key || !signature || signature->keyId != key->keyId ||
                !UpdateFeed::signedVersion(signature->trustedComment)) {
                finish(failed(Failure::signature));
                return;
            }
            fetchArchive();
        });
    }

    void fetchArchive()
    {
        if (!m_archive.open(QIODevice::WriteOnly)) {
            finish(failed(m_archive.fileName() + QStringLiteral(": ") + m_archive.errorString()));
            return;
        }
        QNetworkReply* reply = get(m_zip);
        connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > m_options.maxDownloadBytes)
                abortTooLarge(reply);
        });
        connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
            const QByteArray bytes = reply->readAll();
            m_received += bytes.size();
            if (m_received > m_options.maxDownloadBytes || m_archive.write(bytes) != bytes.size())
                abortTooLarge(reply);
        });
        connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
            if (total > 0 && m_progress)
                m_progress(int(std::min(received, total) * 100 / total));
        });
        connect(reply, &QNetworkReply::finished, this, [this, reply] {
            reply->deleteLater();
            m_reply = nullptr;
            if (reply->isOpen())
                m_archive.write(reply->readAll());
            m_archive.close();
            if (!isOk(reply) || m_failedWrite) {
                finish(failed(Failure::download));
                return;
            }
            unpackAndSwap();
        });
    }

    void abortTooLarge(QNetworkReply* reply)
    {
        m_failedWrite = true;
        reply->abort();
    }

    void unpackAndSwap()
    {
        m_deadline.stop();
        auto result = std::make_shared<Result>();
        QThread* worker = QThread::create([result, archive = m_archive.fileName(), signature = m_signature,
                                           expected = m_expected, current = m_current, work = m_work,
                                           options = m_options, cancelled = m_cancelled] {
            *result = installArchive(archive, signature, expected, current, work, options, cancelled.get());
            QDir(work).removeRecursively();
        });
        m_handedOff = true; // the worker removes the work folder, even if we are gone by then
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        connect(worker, &QThread::finished, this, [this, result] { finish(*result); });
        worker->start();
    }

    void finish(const Result& result)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_deadline.stop();
        if (m_reply) {
            QNetworkReply* reply = m_reply;
            m_reply = nullptr;
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
        if (!m_handedOff)
            QDir(m_work).removeRecursively();
        m_handedOff = true;
        const Done done = std::exchange(m_done, nullptr);
        deleteLater();
        if (done)
            done(result);
    }

    QUrl m_zip;
    QString m_expected;
    QString m_current;
    Options m_options;
    QString m_work;
    Progress m_progress;
    Done m_done;
    QFile m_archive;
    QByteArray m_signature;
    qint64 m_received = 0;
    bool m_failedWrite = false;
    bool m_handedOff = false;
    bool m_finished = false;
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
    QTimer m_deadline{this};
    QPointer<QNetworkReply> m_reply;
    QNetworkAccessManager m_network{this};
};

} // namespace

Cancel install(const QUrl& zip, const QString& expected, const QString& current, const Options& options,
               QObject* context, Progress progress, Done done)
{
    const QString temp = options.tempFolder.isEmpty() ? QDir::tempPath() : options.tempFolder;
    const QString work =
        temp + QStringLiteral("/CorvaneUpdate-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    auto* download =
        new Download(zip, expected, current, options, work, context, std::move(progress), std::move(done));
    // Every outcome, even an early one, is reported from the event loop.
    QMetaObject::invokeMethod(
        download, [download] { download->start(); }, Qt::QueuedConnection);
    return [guard = QPointer<Download>(download)] {
        if (guard)
            guard->cancel();
    };
}

bool startRelaunch(const QString& application, qint64 waitForPid, const QString& shell)
{
    // After the second, it also waits (ten seconds at most) for the old
    // process to be gone: a new copy started while the old one still ends
    // would hand itself over to it and quit, leaving no Corvane running.
    const QString script = QStringLiteral(
        "sleep 1; i=0; while [ $i -lt 50 ] && kill -0 \"$1\" 2>/dev/null; do sleep 0.2; i=$((i+1)); done; "
        "exec \"$0\"");
    return QProcess::startDetached(shell, {QStringLiteral("-c"), script,
                                           application + QStringLiteral("/bin/corvane"),
                                           QString::number(waitForPid)});
}

void relaunch(const QString& application)
{
    startRelaunch(application,
                  QCoreApplication::applicationPid()); // a failure leaves nothing better to do than to end
    QCoreApplication::exit(0);
}

} // namespace corvane::Updater
