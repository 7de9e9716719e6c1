#include "app/updater.h"
#include "core/minisign.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

// What an update costs once it is downloaded: checking the minisign signature
// of a 20 MB archive and unpacking it. The application folder holds files
// that compress about as well as programs do (half), made by the real zip and
// minisign tools, as a release is.

namespace corvane {
namespace {

struct Release {
    QTemporaryDir dir;
    QString archive;
    QByteArray signature;
    QString publicKey;
    qint64 archiveBytes = 0;
    bool ok = false;

    Release()
    {
        const QString app = dir.filePath("stage/Corvane.app");
        QDir().mkpath(app + "/bin");
        QRandomGenerator random(8);
        for (int i = 0; i < 4; ++i) {
            QByteArray bytes(10 << 20, Qt::Uninitialized);
            for (char& byte : bytes)
                byte = char(random.bounded(16)); // four bits of entropy per byte
            QFile file(app + QString("/bin/part%1").arg(i));
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
        }
        QFile version(app + "/version");
        version.open(QIODevice::WriteOnly);
        version.write("2.0\n");
        version.close();
        archive = dir.filePath("release.zip");
        ok = run("zip", {"-q", "-r", "-y", archive, "Corvane.app"}, dir.filePath("stage")) &&
             run("minisign", {"-G", "-W", "-p", dir.filePath("k.pub"), "-s", dir.filePath("k.key")}) &&
             run("minisign", {"-S", "-s", dir.filePath("k.key"), "-m", archive});
        archiveBytes = QFileInfo(archive).size();
        signature = read(archive + ".minisig");
        publicKey = QString::fromUtf8(read(dir.filePath("k.pub")));
    }

    static bool run(const QString& program, const QStringList& arguments, const QString& folder = {})
    {
        QProcess process;
        process.setWorkingDirectory(folder.isEmpty() ? QDir::currentPath() : folder);
        process.start(program, arguments);
        return process.waitForFinished(120000) && process.exitCode() == 0;
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

Release& release()
{
    static Release shared;
    return shared;
}

void BM_VerifyArchive(benchmark::State& state)
{
    Release& r = release();
    const auto key = Minisign::parsePublicKey(r.publicKey.toStdString());
    if (!r.ok || !key) {
        state.SkipWithError("zip or minisign failed");
        return;
    }
    for (auto _ : state) {
        if (!Minisign::verifyFile(r.archive.toStdString(), r.signature.toStdString(), *key))
            state.SkipWithError("the signature did not verify");
    }
    state.counters["archive_MB"] = double(r.archiveBytes) / 1e6;
    state.SetBytesProcessed(state.iterations() * r.archiveBytes);
}
BENCHMARK(BM_VerifyArchive)->Unit(benchmark::kMillisecond);

void BM_UnpackArchive(benchmark::State& state)
{
    Release& r = release();
    const QString target = r.dir.filePath("unzipped");
    for (auto _ : state) {
        if (!Updater::unpack(r.archive, target, {}))
            state.SkipWithError("unpacking failed");
        state.PauseTiming();
        QDir(target).removeRecursively();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * r.archiveBytes);
}
BENCHMARK(BM_UnpackArchive)->Unit(benchmark::kMillisecond);

// The two in the installer's order: the figure an update waits for.
void BM_VerifyThenUnpack(benchmark::State& state)
{
    Release& r = release();
    const auto key = Minisign::parsePublicKey(r.publicKey.toStdString());
    const QString target = r.dir.filePath("unzipped");
    for (auto _ : state) {
        if (!key || !Minisign::verifyFile(r.archive.toStdString(), r.signature.toStdString(), *key) ||
            !Updater::unpack(r.archive, target, {}))
            state.SkipWithError("verifying or unpacking failed");
        state.PauseTiming();
        QDir(target).removeRecursively();
        state.ResumeTiming();
    }
    state.counters["archive_MB"] = double(r.archiveBytes) / 1e6;
}
BENCHMARK(BM_VerifyThenUnpack)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace corvane
