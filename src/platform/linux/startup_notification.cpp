#include "startup_notification.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace corvane::StartupNotification {

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

std::string removeMessage(const std::string& id)
{
    std::string value = id;
    if (id.find_first_of(" \"\\") != std::string::npos) {
        value = "\"";
        for (const char c : id) {
            if (c == '"' || c == '\\')
                value.push_back('\\');
            value.push_back(c);
        }
        value.push_back('"');
    }
    std::string message = "remove: ID=" + value;
    message.push_back('\0');
    return message;
}

bool sendRemove(const std::string& id, const std::string& display)
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> owner(connection, &xcb_disconnect);
    if (xcb_connection_has_error(connection))
        return false;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return false;
    const xcb_window_t root = screens.data->root;

    // The protocol names the sender by a window of its own.
    const xcb_window_t sender = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, root, -100, -100, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t begin = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");

    // Twenty bytes per client message, the first marked as the beginning.
    const std::string message = removeMessage(id);
    for (std::size_t offset = 0; offset < message.size(); offset += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = sender;
        event.type = offset == 0 ? begin : more;
        std::memcpy(event.data.data8, message.data() + offset,
                    std::min<std::size_t>(20, message.size() - offset));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_destroy_window(connection, sender);
    // A round trip, so every message has reached the server before we hang up.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return true;
}

} // namespace corvane::StartupNotification
