#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

// What a later `corvane` process and the running one say to each other:
//   running -> later:   greeting()
//   later   -> running: one message, a count then each link, every number a
//                       big-endian 32-bit length; no links means "reopen"
//   running -> later:   acknowledgement()
// The later process sends nothing before the greeting, so a running process
// that has stopped answering never receives links it might act on later.
namespace corvane::IntakeProtocol {

QByteArray greeting();
QByteArray acknowledgement();

QByteArray encode(const QStringList& links);

enum class Status { incomplete, complete, malformed };

struct Decoded {
    Status status = Status::incomplete;
    QStringList links; // when complete
};

// Reads one message from the start of `buffer`, which may hold only part of
// it so far.
Decoded decode(const QByteArray& buffer);

} // namespace corvane::IntakeProtocol
