#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace corvane::Bridge {

// A flat request, {"action": "profiles"} or {"action": "route", ...}.
using Request = QMap<QString, QString>;

inline constexpr int defaultTimeoutMs = 25000;
inline constexpr int defaultGraceMs = 2000;

// How to reach the routing helper.
struct Runner {
    QString program;                  // full path; empty or missing = "Missing routing script..."
    QStringList arguments;            // put before the request, e.g. {"--browser", "chromium"}
    QString browserName;              // the target browser's display name, for the messages
    int timeoutMs = defaultTimeoutMs; // then SIGTERM to the process group
    int graceMs = defaultGraceMs;     // then SIGKILL
    // Where the desktop has a switch that grants automation, the sentence that
    // points to it; appended to the refusal message. None on Linux.
    QString permissionHint;
    // The helper's environment, which the browser it starts inherits; empty:
    // this process's.
    QProcessEnvironment environment;
};

struct Result {
    std::optional<QByteArray> output; // standard output on exit status 0
    QString error;                    // the user-facing message otherwise
    bool ok() const { return output.has_value(); }
};

using Completion = std::function<void(const Result&)>;

// Runs the helper with the request as its last argument. `done` is called
// exactly once on the caller's thread, never before `call` returns, unless
// `context` is destroyed first (a null context never is). Never blocks.
void call(const Request& request, const Runner& runner, QObject* context, Completion done);

// One short message from the helper's standard error.
QString cleanError(const QString& errorText, const QString& browserName, const QString& permissionHint = {});

} // namespace corvane::Bridge
