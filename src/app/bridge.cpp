#include "bridge.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace corvane::Bridge {

namespace {

const QString missingRunner = QStringLiteral("Missing routing script. Rebuild or reinstall Corvane.");

QString timedOut(const QString& browser)
{
    return QStringLiteral("%1 timed out. Check %1 before retrying; the link may already be open.")
        .arg(browser);
}

QString serialise(const Request& request)
{
    QJsonObject object;
    for (auto it = request.begin(); it != request.end(); ++it)
        object.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// Text that is not valid UTF-8 says nothing we could show.
QString strictUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    return decoder.hasError() ? QString() : text;
}

// One run of the helper. Lives until its child is gone, even when the caller's
// context dies first, so the time-out still reaps a stuck helper; the answer is
// then dropped.
class Call : public QObject {
public:
    Call(const Runner& runner, QObject* context, Completion done)
        : QObject(QCoreApplication::instance()), m_runner(runner), m_context(context),
          m_hasContext(context != nullptr), m_done(std::move(done))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
    }

    ~Call() override
    {
        // Only reached with a live child when the application shuts down.
        if (m_process.state() != QProcess::NotRunning) {
            signalGroup(SIGKILL);
            m_process.waitForFinished(1000);
        }
    }

    void fail(const QString& message)
    {
        QTimer::singleShot(0, this, [this, message] {
            complete({std::nullopt, message});
            deleteLater();
        });
    }

    void start(const QString& json)
    {
        m_process.setProgram(m_runner.program);
        m_process.setArguments(m_runner.arguments + QStringList{json});
        m_process.setStandardInputFile(QProcess::nullDevice());
        if (!m_runner.environment.isEmpty())
            m_process.setProcessEnvironment(m_runner.environment);
        // Its own process group, so that giving up reaches every grandchild too.
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });

        connect(&m_process, &QProcess::readyReadStandardOutput, this,
                [this] { m_output += m_process.readAllStandardOutput(); });
        connect(&m_process, &QProcess::readyReadStandardError, this,
                [this] { m_errors += m_process.readAllStandardError(); });
        connect(&m_process, &QProcess::started, this, [this] {
            m_pid = m_process.processId();
            m_timer.start(m_runner.timeoutMs);
        });
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                fail(m_process.errorString());
        });
        connect(&m_process, &QProcess::finished, this, &Call::finished);
        connect(&m_timer, &QTimer::timeout, this, &Call::timerFired);
        m_process.start();
    }

private:
    void timerFired()
    {
        if (!m_terminated) {
            m_terminated = true;
            signalGroup(SIGTERM);
            m_timer.start(m_runner.graceMs);
            return;
        }
        signalGroup(SIGKILL);
        // The answer no longer depends on the child; `finished` still reaps it.
        complete({std::nullopt, timedOut(m_runner.browserName)});
    }

    void finished(int exitCode, QProcess::ExitStatus status)
    {
        m_timer.stop();
        if (m_terminated) {
            // The helper gave in during the grace period; whatever it left behind goes too.
            signalGroup(SIGKILL);
            complete({std::nullopt, timedOut(m_runner.browserName)});
        } else {
            m_output += m_process.readAllStandardOutput();
            m_errors += m_process.readAllStandardError();
            if (status == QProcess::NormalExit && exitCode == 0)
                complete({m_output, {}});
            else
                complete({std::nullopt,
                          cleanError(strictUtf8(m_errors), m_runner.browserName, m_runner.permissionHint)});
        }
        deleteLater();
    }

    void signalGroup(int signal)
    {
        if (m_pid > 0)
            ::kill(-static_cast<pid_t>(m_pid), signal);
    }

    void complete(const Result& result)
    {
        if (m_completed)
            return;
        m_completed = true;
        if (!m_hasContext || m_context)
            m_done(result);
    }

    Runner m_runner;
    QPointer<QObject> m_context;
    bool m_hasContext;
    Completion m_done;
    QProcess m_process;
    QTimer m_timer;
    QByteArray m_output;
    QByteArray m_errors;
    qint64 m_pid = 0;
    bool m_terminated = false;
    bool m_completed = false;
};

} // namespace

void call(const Request& request, const Runner& runner, QObject* context, Completion done)
{
    auto* job = new Call(runner, context, std::move(done));
    const QFileInfo program(runner.program);
    if (runner.program.isEmpty() || !program.exists() || program.isDir()) {
        job->fail(missingRunner);
        return;
    }
    job->start(serialise(request));
}

QString cleanError(const QString& errorText, const QString& browserName, const QString& permissionHint)
{
    QString text = errorText.trimmed();
    static const QString marker = QStringLiteral("Error: ");
    if (const qsizetype at = text.indexOf(marker); at >= 0)
        text = text.mid(at + marker.size());
    static const QRegularExpression errorNumber(QStringLiteral(" \\(-?\\d+\\)$"));
    if (const auto match = errorNumber.match(text); match.hasMatch())
        text.remove(match.capturedStart(), match.capturedLength());

    if (text.contains(QLatin1String("-1743")) ||
        text.contains(QLatin1String("not authorized"), Qt::CaseInsensitive)) {
        QString message = QStringLiteral("Corvane is not allowed to control %1.").arg(browserName);
        if (!permissionHint.isEmpty())
            message += QLatin1Char(' ') + permissionHint;
        return message;
    }
    if (text.isEmpty())
        return QStringLiteral("Automation failed.");
    return text;
}

} // namespace corvane::Bridge
