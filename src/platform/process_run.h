#pragma once

#include "platform/process/child_group.h"

#include <QByteArray>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace corvane {

// How a run of a short-lived program ended.
struct ProcessResult {
    QString startError; // set: the program could not be started
    bool timedOut = false;
    bool ok = false; // exited normally with status 0
    int exitCode = 0;
    QByteArray output;
    QByteArray errors;
};

// The one way the application runs a program it waits for (the routing
// helper, the desktop's tools): never blocking the caller's thread, the
// program in a process group of its own, and past the time-out the rule of
// ChildGroup::Deadline for the whole group.
namespace ProcessRun {

struct Job {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment; // empty: this process's
    int timeoutMs = 10000;
    int graceMs = ChildGroup::defaultGraceMs;
};

using Finished = std::function<void(const ProcessResult&)>;

// `done` runs exactly once, from the event loop and never before `start`
// returns, unless `context` is destroyed first: the answer is then dropped,
// while the program still runs to its end or its time-out. A null context
// never is.
void start(const Job& job, QObject* context, Finished done);

} // namespace ProcessRun
} // namespace corvane
