#include "platform/X11Windows.h"

#include "platform/X11Reply.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The whole value of a property, or nothing when the window lacks it.
bool ReadProperty(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                  std::string &value) {
    // Lengths count 32-bit units; a title or client list is far below this.
    auto reply = X11Reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 1 << 20), nullptr));
    // A property of another type comes back with its type but without its value.
    if (!reply || reply->type == XCB_ATOM_NONE || (type != XCB_GET_PROPERTY_TYPE_ANY && reply->type != type))
        return false;
    const int length = xcb_get_property_value_length(reply.get());
    value.assign(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
    return true;
}

struct TConnection {
    xcb_connection_t *connection = nullptr;
    TConnection() {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            connection = nullptr;
        }
    }
    ~TConnection() {
        if (connection != nullptr) xcb_disconnect(connection);
    }
};

} // namespace

std::uint32_t X11InternAtom(xcb_connection_t *c, const char *name) {
    auto reply = X11Reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string X11WindowTitle(xcb_connection_t *c, std::uint32_t window) {
    std::string title;
    const xcb_atom_t netName = X11InternAtom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = X11InternAtom(c, "UTF8_STRING");
    if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE && ReadProperty(c, window, netName, utf8, title))
        return title;
    if (ReadProperty(c, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, title)) return title;
    return {};
}

std::vector<std::uint32_t> X11FindWindowsByTitle(xcb_connection_t *c, const std::string &title) {
    std::vector<xcb_window_t> candidates;
    const xcb_setup_t *setup = xcb_get_setup(c);
    for (auto it = xcb_setup_roots_iterator(setup); it.rem > 0; xcb_screen_next(&it)) {
        const xcb_window_t root = it.data->root;
        std::string list;
        const xcb_atom_t clientList = X11InternAtom(c, "_NET_CLIENT_LIST");
        if (clientList != XCB_ATOM_NONE && ReadProperty(c, root, clientList, XCB_ATOM_WINDOW, list)) {
            const auto *ids = reinterpret_cast<const xcb_window_t *>(list.data());
            candidates.insert(candidates.end(), ids, ids + list.size() / sizeof(xcb_window_t));
        }
        // Without a window manager the top-level windows are the root's children.
        auto tree = X11Reply(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
        if (tree) {
            const xcb_window_t *children = xcb_query_tree_children(tree.get());
            candidates.insert(candidates.end(), children,
                              children + xcb_query_tree_children_length(tree.get()));
        }
    }
    std::vector<std::uint32_t> found;
    for (xcb_window_t w : candidates) {
        if (std::find(found.begin(), found.end(), w) != found.end()) continue;
        if (X11WindowTitle(c, w) == title) found.push_back(w);
    }
    return found;
}

int CloseWindowsByTitle(const std::string &title) {
    if (title.empty()) return 0;
    TConnection x;
    if (x.connection == nullptr) return 0;
    xcb_connection_t *c = x.connection;
    const std::vector<std::uint32_t> windows = X11FindWindowsByTitle(c, title);
    if (windows.empty()) return 0;
    const xcb_atom_t protocols = X11InternAtom(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = X11InternAtom(c, "WM_DELETE_WINDOW");
    for (std::uint32_t w : windows) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = protocols;
        event.data.data32[0] = deleteWindow;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
    }
    // A round trip: once it returns, the server has delivered every request above.
    X11Reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return static_cast<int>(windows.size());
}
