#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct xcb_connection_t;

// Top-level windows of the X display, found by their exact title and asked to close the
// way a window manager's close button asks (WM_DELETE_WINDOW).

// The atom of `name`, interned when new; XCB_ATOM_NONE (0) when the server does not answer.
std::uint32_t X11InternAtom(xcb_connection_t *connection, const char *name);

// The title a window shows: _NET_WM_NAME when it has one, else WM_NAME; empty when neither.
std::string X11WindowTitle(xcb_connection_t *connection, std::uint32_t window);

// The top-level windows whose title is exactly `title` (byte for byte, case-sensitive):
// the window manager's client list and the root window's own children, each once.
std::vector<std::uint32_t> X11FindWindowsByTitle(xcb_connection_t *connection, const std::string &title);

// Sends WM_DELETE_WINDOW to every top-level window titled exactly `title` on $DISPLAY and
// waits until the server has passed the requests on. Returns how many windows were asked;
// 0 when the title matches nothing or there is no X display.
int CloseWindowsByTitle(const std::string &title);
