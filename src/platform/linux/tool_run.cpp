#include "tool_run.h"

#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace corvane::ToolRun {

namespace {

class Run : public QObject {
public:
    Run(int timeoutMs, QObject* context, Finished done)
        : QObject(context), m_timeoutMs(timeoutMs), m_done(std::move(done))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
    }

    ~Run() override
    {
        // Only reached with a live child when the context goes first.
        if (m_process.state() != QProcess::NotRunning) {
            signalGroup(SIGKILL);
            m_process.waitForFinished(1000);
        }
    }

    void start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setProcessEnvironment(environment);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
        connect(&m_process, &QProcess::started, this, [this] {
            m_pid = m_process.processId();
            m_timer.start(m_timeoutMs);
        });
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return; // the others end in finished()
            // Qt may report this from within start(); the caller hears of it later.
            QTimer::singleShot(0, this, [this, message = m_process.errorString()] {
                ToolResult result;
                result.startError = message;
                complete(result);
                deleteLater();
            });
        });
        connect(&m_process, &QProcess::finished, this, &Run::finished);
        connect(&m_timer, &QTimer::timeout, this, &Run::timerFired);
        m_process.start();
    }

private:
    void timerFired()
    {
        if (!m_terminated) {
            m_terminated = true;
            signalGroup(SIGTERM);
            m_timer.start(graceMs);
            return;
        }
        signalGroup(SIGKILL);
        ToolResult result;
        result.timedOut = true;
        complete(result); // `finished` still reaps the child
    }

    void finished(int exitCode, QProcess::ExitStatus status)
    {
        m_timer.stop();
        ToolResult result;
        if (m_terminated) {
            signalGroup(SIGKILL); // whatever the tool left behind goes too
            result.timedOut = true;
        } else {
            result.ok = status == QProcess::NormalExit && exitCode == 0;
            result.exitCode = exitCode;
            result.output = m_process.readAllStandardOutput();
            result.errors = m_process.readAllStandardError();
        }
        complete(result);
        deleteLater();
    }

    void signalGroup(int signal)
    {
        if (m_pid > 0)
            ::kill(-static_cast<pid_t>(m_pid), signal);
    }

    void complete(const ToolResult& result)
    {
        if (m_completed)
            return;
        m_completed = true;
        m_done(result);
    }

    QProcess m_process;
    QTimer m_timer;
    int m_timeoutMs;
    Finished m_done;
    qint64 m_pid = 0;
    bool m_terminated = false;
    bool m_completed = false;
};

} // namespace

void start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
           int timeoutMs, QObject* context, Finished done)
{
    (new Run(timeoutMs, context, std::move(done)))->start(program, arguments, environment);
}

} // namespace corvane::ToolRun
