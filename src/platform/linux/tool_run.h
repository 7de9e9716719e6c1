#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace corvane {

// How a desktop tool run ended.
struct ToolResult {
    QString startError; // set: the tool could not be started
    bool timedOut = false;
    bool ok = false; // exited normally with status 0
    int exitCode = 0;
    QByteArray output;
    QByteArray errors;
};

// Runs short desktop tools (xdg-mime) without ever blocking the caller's
// thread. Each tool gets its own process group, so that giving up on it
// after `timeoutMs` (SIGTERM, then SIGKILL after a grace period) also ends
// whatever it started.
namespace ToolRun {

inline constexpr int graceMs = 1000;

using Finished = std::function<void(const ToolResult&)>;

// `done` runs once, from the event loop, unless `context` goes first; the
// tool's process group is then killed.
void start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
           int timeoutMs, QObject* context, Finished done);

} // namespace ToolRun
} // namespace corvane
