#pragma once

#include <QProcess>
#include <QStringList>

#include <memory>

namespace corvane::test {

// This test binary re-run as `corvane [links…]` would run the intake: it hands
// `links` to the process listening in `folder`, or else becomes that process
// itself. Its standard output, one line per event:
//   handed              the links were acknowledged; the process has exited 0
//   failed <message>    a running process did not take them; exit status 1
//   listening           (with `slowMs`) it listens and now builds its state for that long
//   first <json array>  it is the first, listening, with its own links
//   links <json array>  a later process handed these
//   activation <id> <token>  after "links", when that process had tokens
//   reopen              a later process had no links
// A first process ends when killed or when the test process ends.
// Killed, if still running, when it goes.
class IntakeChild : public QProcess {
public:
    ~IntakeChild() override;
};

std::unique_ptr<IntakeChild> startIntakeChild(const QString& folder, const QStringList& links,
                                              int slowMs = 0);

// Waits for the next line of output; empty after `timeoutMs` or at exit.
QString nextLine(QProcess& child, int timeoutMs = 10000);

// The json array of a "first" or "links" line.
QStringList linksOf(const QString& line);

} // namespace corvane::test
