#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <optional>

// Installing an update in place: download the archive and its signature,
// check the signature before anything is unpacked, unpack it safely, make sure
// it holds a newer Corvane, and swap it for the running application folder.
namespace corvane::Updater {

// The installer's own failures; anything else carries the system's message.
enum class Failure { download, unzip, missingApp, signature, notNewer, notWritable };
QString message(Failure failure);

struct Error {
    std::optional<Failure> failure; // none: a system error
    QString message;                // the user-facing text
    bool operator==(const Error&) const = default;
};

struct Options {
    QString publicKey;  // minisign key line or .pub file; empty: nothing verifies
    QString tempFolder; // empty: the system's temporary folder
    // A release is some tens of MB; anything far larger is not one of ours.
    qint64 maxDownloadBytes = qint64(256) << 20;
    qint64 maxUnpackedBytes = qint64(1) << 30;
    int maxEntries = 100000;
    int transferTimeoutMs = 30000; // a download that stalls this long fails
    // The whole download, signature and archive, ends by then: a server that
    // drips bytes would otherwise keep it going for ever.
    int downloadDeadlineMs = 15 * 60 * 1000;
    // Puts the staged copy in place of the old folder; empty: rename(2).
    std::function<QString(const QString& staged, const QString& current)> moveIntoPlace;
};

struct Result {
    QString installed; // the application folder, on success
    std::optional<Error> error;
    bool cancelled = false; // the user stopped it; nothing was changed
};

// The running application folder: the Corvane.app above this program's bin/
// (it holds a version file). Empty when running from a build folder.
QString runningApplication();
// The first line of an application folder's version file; "0" when missing.
QString versionOf(const QString& application);

// Unpacks a zip archive into `destination`, refusing absolute paths, "..",
// links that lead out of the folder, special files and more than the limits
// allow. File modes are kept, without set-id bits. The descriptor form reads
// an archive already open, from its start.
bool unpack(const QString& archive, const QString& destination, const Options& options);
bool unpackDescriptor(int fd, const QString& destination, const Options& options);

// The steps after the download, on local files; blocking. Opens `archive`
// once and, through that one handle, verifies it against `signature` (the
// .minisig text, whose trusted comment must name Corvane and the version)
// and unpacks it into `workFolder`; checks that the unpacked version is the
// signed one, newer than the one at `current` and not older than `expected`;
// stages the new folder beside `current`, moves `current` to the Trash and
// the staged copy into its place. Should that last move fail, the old folder
// comes back; should that fail too, both copies stay where they are and the
// message says where. `cancelled`, when set before the swap, stops it.
Result installArchive(const QString& archive, const QByteArray& signature, const QString& expected,
                      const QString& current, const QString& workFolder, const Options& options,
                      const std::atomic<bool>* cancelled = nullptr);

using Progress = std::function<void(int percent)>;
using Done = std::function<void(const Result& result)>;
using Cancel = std::function<void()>;

// The whole installation: a fresh work folder only the user can read (always
// removed afterwards), the download of `zip`.minisig and then, once that is
// a release signature of our key, of `zip` with progress, both within the
// deadline; then installArchive off the main thread. `done` runs once on this
// thread unless `context` is destroyed first. The returned function cancels:
// `done` then gets a cancelled result, unless the swap has already begun.
Cancel install(const QUrl& zip, const QString& expected, const QString& current, const Options& options,
               QObject* context, Progress progress, Done done);

// Starts `sh -c 'sleep 1; exec "$0"' <application>/bin/corvane` detached in a
// session of its own, the shell also waiting for the process `waitForPid` to
// end (ten seconds at most); false when it could not be started.
bool startRelaunch(const QString& application, qint64 waitForPid,
                   const QString& shell = QStringLiteral("/bin/sh"));
// startRelaunch, then the event loop ends without asking anything.
void relaunch(const QString& application);

} // namespace corvane::Updater
