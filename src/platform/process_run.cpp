#include "process_run.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <csignal>

namespace corvane::ProcessRun {

namespace {

// One run. Lives until its child is gone, even when the caller's context dies
// first, so the time-out still reaps a stuck program.
class Run : public QObject {
public:
    Run(const Job& job, QObject* context, Finished done)
        : QObject(QCoreApplication::instance()), m_deadline(job.timeoutMs, job.graceMs), m_context(context),
          m_hasContext(context != nullptr), m_done(std::move(done))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
    }

    ~Run() override
    {
        // Only reached with a live child when the application shuts down.
        if (m_process.state() != QProcess::NotRunning) {
            ChildGroup::signal(m_pid, SIGKILL);
            m_process.waitForFinished(1000);
        }
    }

    void start(const Job& job)
    {
        m_process.setProgram(job.program);
        m_process.setArguments(job.arguments);
        m_process.setStandardInputFile(QProcess::nullDevice());
        if (!job.environment.isEmpty())
            m_process.setProcessEnvironment(job.environment);
        m_process.setChildProcessModifier([] { ChildGroup::lead(); });

        connect(&m_process, &QProcess::readyReadStandardOutput, this,
                [this] { m_result.output += m_process.readAllStandardOutput(); });
        connect(&m_process, &QProcess::readyReadStandardError, this,
                [this] { m_result.errors += m_process.readAllStandardError(); });
        connect(&m_process, &QProcess::started, this, [this] {
            m_pid = m_process.processId();
            m_timer.start(m_deadline.firstWaitMs());
        });
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return; // the others end in finished()
            // Qt may report this from within start(); the caller hears of it later.
            QTimer::singleShot(0, this, [this, message = m_process.errorString()] {
                ProcessResult result;
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
        if (const auto next = m_deadline.expire(m_pid)) {
            m_timer.start(*next);
            return;
        }
        // The answer no longer depends on the child; `finished` still reaps it.
        complete(timedOut());
    }

    void finished(int exitCode, QProcess::ExitStatus status)
    {
        m_timer.stop();
        if (m_deadline.terminated()) {
            // It gave in during the grace period; whatever it left behind goes too.
            ChildGroup::signal(m_pid, SIGKILL);
            complete(timedOut());
        } else {
            m_result.output += m_process.readAllStandardOutput();
            m_result.errors += m_process.readAllStandardError();
            m_result.ok = status == QProcess::NormalExit && exitCode == 0;
            m_result.exitCode = exitCode;
            complete(m_result);
        }
        deleteLater();
    }

    static ProcessResult timedOut()
    {
        ProcessResult result;
        result.timedOut = true;
        return result;
    }

    void complete(const ProcessResult& result)
    {
        if (m_completed)
            return;
        m_completed = true;
        if (!m_hasContext || m_context)
            m_done(result);
    }

    ChildGroup::Deadline m_deadline;
    QPointer<QObject> m_context;
    bool m_hasContext;
    Finished m_done;
    QProcess m_process;
    QTimer m_timer;
    ProcessResult m_result;
    qint64 m_pid = 0;
    bool m_completed = false;
};

} // namespace

void start(const Job& job, QObject* context, Finished done)
{
    (new Run(job, context, std::move(done)))->start(job);
}

} // namespace corvane::ProcessRun
