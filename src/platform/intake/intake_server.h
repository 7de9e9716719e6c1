#pragma once

#include "intake_protocol.h"

#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>

namespace corvane {

// The running process's side of the intake: listens on the socket and serves
// every later process on a thread of its own, so a main thread that is busy
// (building its state, waiting for a desktop tool) still greets, reads and
// acknowledges at once. Each complete message goes to the receiver, on the
// server's thread; a connection that breaks a limit is closed unanswered.
class IntakeServer {
public:
    using Receiver = std::function<void(IntakeProtocol::Message)>;

    struct Limits {
        std::size_t maxConnections = 32; // beyond them a connection is closed at once
        int idleMs = 10000;              // a connection that has not sent its message by then is closed
    };

    // Listens at `path`, replacing whatever file is there: the caller holds the
    // start-up lock and has found nobody answering on it. Null on failure.
    static std::unique_ptr<IntakeServer> start(const std::string& path, Receiver receiver, Limits limits);
    static std::unique_ptr<IntakeServer> start(const std::string& path, Receiver receiver)
    {
        return start(path, std::move(receiver), Limits{});
    }

    // Stops serving. The socket file is removed only while it is still ours: a
    // process that took over in the meantime keeps its own.
    ~IntakeServer();
    IntakeServer(const IntakeServer&) = delete;
    IntakeServer& operator=(const IntakeServer&) = delete;

    const std::string& path() const { return m_path; }

private:
    IntakeServer(std::string path, int listening, int wakeRead, int wakeWrite, Receiver receiver,
                 Limits limits);
    void run();

    std::string m_path;
    int m_listening;
    int m_wakeRead;
    int m_wakeWrite;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    Receiver m_receiver;
    Limits m_limits;
    std::thread m_thread;
};

} // namespace corvane
