#include "desktop_sandbox.h"
#include "platform/linux/startup_notification.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>

using namespace corvane;
using namespace corvane::test;

namespace {

TEST(StartupNotification, RemoveMessageQuotesTheIdWhenItMust)
{
    using namespace std::string_literals;
    EXPECT_EQ(StartupNotification::removeMessage("app-1_TIME42"), "remove: ID=app-1_TIME42\0"s);
    EXPECT_EQ(StartupNotification::removeMessage(R"(a b"c\d)"), "remove: ID=\"a b\\\"c\\\\d\"\0"s);
}

// A display of the test's own, gone with it.
class XServer {
public:
    XServer()
    {
        m_server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (m_server.waitForStarted(5000) && m_server.waitForReadyRead(10000))
            m_display = ":" + m_server.readLine().trimmed().toStdString();
    }
    ~XServer()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }
    const std::string& display() const { return m_display; }

private:
    QProcess m_server;
    std::string m_display;
};

// What the desktop's launch feedback sees: every client watching the root
// window gets the message, whole, marked as the beginning of one.
TEST(StartupNotification, EndingAnActivationReachesTheRootWindowOfTheDisplay)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "needs Xvfb";
    XServer server;
    ASSERT_FALSE(server.display().empty());

    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> watcher(
        xcb_connect(server.display().c_str(), nullptr), &xcb_disconnect);
    ASSERT_EQ(xcb_connection_has_error(watcher.get()), 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(watcher.get())).data->root;
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(watcher.get(), root, XCB_CW_EVENT_MASK, &mask);
    const char* beginName = "_NET_STARTUP_INFO_BEGIN";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> begin(
        xcb_intern_atom_reply(watcher.get(),
                              xcb_intern_atom(watcher.get(), 0, uint16_t(std::strlen(beginName)), beginName),
                              nullptr),
        &std::free);
    ASSERT_TRUE(begin);

    DesktopSandbox sandbox;
    sandbox.environment().insert(QStringLiteral("DISPLAY"), QString::fromStdString(server.display()));
    sandbox.platform(QString())->endActivation({QStringLiteral("click 1_TIME7"), QString()});

    std::string received;
    bool startsWithBegin = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received.find('\0') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{xcb_get_file_descriptor(watcher.get()), POLLIN, 0};
        ::poll(&entry, 1, 100);
        while (xcb_generic_event_t* event = xcb_poll_for_event(watcher.get())) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (received.empty())
                    startsWithBegin = message->type == begin->atom;
                received.append(reinterpret_cast<const char*>(message->data.data8), 20);
            }
            std::free(event);
        }
    }
    EXPECT_TRUE(startsWithBegin);
    EXPECT_EQ(received.substr(0, received.find('\0')), "remove: ID=\"click 1_TIME7\"");

    EXPECT_FALSE(StartupNotification::sendRemove("x", ":4711")) << "no display there";
}

} // namespace
