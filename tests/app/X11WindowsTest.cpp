#include "AppTestSupport.h"

#include "platform/X11Windows.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// A client of its own on the test's X display, holding a few top-level windows.
class TX11Client {
  public:
    TX11Client() {
        Connection = ConnectX();
        Screen = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data;
        Protocols = Atom("WM_PROTOCOLS");
        Delete = Atom("WM_DELETE_WINDOW");
    }
    ~TX11Client() { xcb_disconnect(Connection); }

    xcb_atom_t Atom(const char *name) {
        auto *r = xcb_intern_atom_reply(Connection, xcb_intern_atom(Connection, 0, std::strlen(name), name),
                                        nullptr);
        const xcb_atom_t atom = r ? r->atom : 0;
        std::free(r);
        return atom;
    }

    // A mapped window that takes part in WM_DELETE_WINDOW. `netName` sets _NET_WM_NAME too.
    xcb_window_t Window(const std::string &wmName, const char *netName = nullptr) {
        const xcb_window_t w = xcb_generate_id(Connection);
        xcb_create_window(Connection, XCB_COPY_FROM_PARENT, w, Screen->root, 0, 0, 50, 20, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, Screen->root_visual, 0, nullptr);
        xcb_change_property(Connection, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            wmName.size(), wmName.data());
        if (netName != nullptr)
            xcb_change_property(Connection, XCB_PROP_MODE_REPLACE, w, Atom("_NET_WM_NAME"),
                                Atom("UTF8_STRING"), 8, std::strlen(netName), netName);
        xcb_change_property(Connection, XCB_PROP_MODE_REPLACE, w, Protocols, XCB_ATOM_ATOM, 32, 1, &Delete);
        xcb_map_window(Connection, w);
        xcb_flush(Connection);
        std::free(xcb_get_input_focus_reply(Connection, xcb_get_input_focus(Connection), nullptr));
        return w;
    }

    // Whether the window already takes part in WM_DELETE_WINDOW: a client that is still
    // starting up would drop the request.
    bool TakesDeleteRequests(xcb_window_t w) {
        auto *r = xcb_get_property_reply(
            Connection, xcb_get_property(Connection, 0, w, Protocols, XCB_ATOM_ATOM, 0, 32), nullptr);
        bool takes = false;
        if (r != nullptr && r->format == 32) {
            const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(r));
            for (int i = 0; i < xcb_get_property_value_length(r) / 4; ++i)
                takes = takes || atoms[i] == Delete;
        }
        std::free(r);
        return takes;
    }

    // The windows that received WM_DELETE_WINDOW so far.
    std::vector<xcb_window_t> DeleteRequests() {
        std::free(xcb_get_input_focus_reply(Connection, xcb_get_input_focus(Connection), nullptr));
        std::vector<xcb_window_t> asked;
        while (xcb_generic_event_t *e = xcb_poll_for_event(Connection)) {
            if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                auto *m = reinterpret_cast<xcb_client_message_event_t *>(e);
                if (m->type == Protocols && m->data.data32[0] == Delete) asked.push_back(m->window);
            }
            std::free(e);
        }
        return asked;
    }

    xcb_connection_t *Connection;
    xcb_screen_t *Screen;
    xcb_atom_t Protocols;
    xcb_atom_t Delete;
};

#define REQUIRE_DISPLAY()                                                                                    \
    if (std::getenv("DISPLAY") == nullptr)                                                                   \
    GTEST_SKIP() << "needs an X display (tools/run-tests.sh starts Xvfb)"

} // namespace

TEST(X11WindowsTest, ClosesOnlyTheWindowWithExactlyThatTitle) {
    REQUIRE_DISPLAY();
    TX11Client x;
    const xcb_window_t tikkora = x.Window("Tikkora");
    x.Window("tikkora");
    x.Window("Tikkora ");
    x.Window("Tikkora2");
    const xcb_window_t phase = x.Window("Phase Ondrel");

    EXPECT_EQ(CloseWindowsByTitle("Tikkora"), 1);
    EXPECT_EQ(x.DeleteRequests(), std::vector<xcb_window_t>{tikkora});
    EXPECT_EQ(CloseWindowsByTitle("Phase Ondrel"), 1);
    EXPECT_EQ(x.DeleteRequests(), std::vector<xcb_window_t>{phase});
    EXPECT_EQ(CloseWindowsByTitle("Nobody Here"), 0);
    EXPECT_EQ(CloseWindowsByTitle(""), 0);
    EXPECT_TRUE(x.DeleteRequests().empty());
}

TEST(X11WindowsTest, TheNetWmNameIsTheTitleWhenPresent) {
    REQUIRE_DISPLAY();
    TX11Client x;
    const xcb_window_t shown = x.Window("legacy", "Phase Ondrel");
    x.Window("Phase Ondrel", "Phase Ondrel (2)");
    EXPECT_EQ(X11WindowTitle(x.Connection, shown), "Phase Ondrel");
    EXPECT_EQ(X11FindWindowsByTitle(x.Connection, "Phase Ondrel"), std::vector<std::uint32_t>{shown});
    // Titles are compared byte for byte, UTF-8 included.
    const xcb_window_t japanese = x.Window("x", "電源");
    EXPECT_EQ(X11FindWindowsByTitle(x.Connection, "電源"), std::vector<std::uint32_t>{japanese});
}

TEST(X11WindowsTest, AnotherProgramsWindowClosesOnRequest) {
    REQUIRE_DISPLAY();
    // xmessage is an ordinary X client that ends when asked to close its window.
    TX11Client x; // first, so the server does not reset while the other program connects
    QProcess other;
    other.start("xmessage", {"-title", "Tikkora", "sibling"});
    ASSERT_TRUE(other.waitForStarted(5000));
    ASSERT_TRUE(WaitFor([&] {
        const std::vector<std::uint32_t> found = X11FindWindowsByTitle(x.Connection, "Tikkora");
        return found.size() == 1 && x.TakesDeleteRequests(found.front());
    }));
    EXPECT_EQ(CloseWindowsByTitle("Tikkora"), 1);
    const bool ended = other.waitForFinished(10000);
    if (!ended) other.kill();
    EXPECT_TRUE(ended);
}

TEST(X11WindowsTest, WithoutAnXDisplayNothingHappens) {
    const char *saved = std::getenv("DISPLAY");
    const std::string old = saved ? saved : "";
    setenv("DISPLAY", ":32767", 1); // no server answers there
    EXPECT_EQ(CloseWindowsByTitle("Tikkora"), 0);
    unsetenv("DISPLAY");
    EXPECT_EQ(CloseWindowsByTitle("Tikkora"), 0);
    if (saved != nullptr) setenv("DISPLAY", old.c_str(), 1);
}
