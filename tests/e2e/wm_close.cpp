// Asks a window to close as a window manager does when its close button is
// clicked: a WM_DELETE_WINDOW client message (the test X server runs no
// window manager of its own).
//
// usage: wm_close WINDOW_ID
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

#include "x_atom.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wm_close WINDOW_ID\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "wm_close: no display\n");
        return 1;
    }
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    e.type = Atom(c, "WM_PROTOCOLS");
    e.data.data32[0] = Atom(c, "WM_DELETE_WINDOW");
    e.data.data32[1] = XCB_CURRENT_TIME;
    // Checked, so that the server has acted on the request before the
    // connection closes: a request still unread when its client hangs up
    // may be dropped with the connection, and the window never asked.
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_send_event_checked(c, 0, e.window, XCB_EVENT_MASK_NO_EVENT,
                                                    reinterpret_cast<const char*>(&e)));
    int status = 0;
    if (error) {
        std::fprintf(stderr, "wm_close: the server refused the request (error %d)\n",
                     error->error_code);
        status = 1;
    }
    std::free(error);
    xcb_disconnect(c);
    return status;
}
