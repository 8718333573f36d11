// Presses a key in a window and waits for the caption it gives, printing
// the time from the press to the caption in milliseconds. The key is sent
// as a window manager-less X client sends it (a KeyPress and KeyRelease
// delivered to the window), and the caption is watched through
// PropertyNotify, so the figure is the window's own answer, not the cost of
// starting programs to poll it.
//
// usage: key_answer WINDOW_ID KEYSYM CAPTION   (KEYSYM as a number, 0xffb1)
// Exits 1 when the caption has not come after 5 s.
#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "x_atom.h"

namespace {
using Clock = std::chrono::steady_clock;

// The key that gives KEYSYM and the modifiers it needs: the second keysym
// of a keypad key is its NumLock one, of any other key its shifted one.
struct Key {
    xcb_keycode_t code = 0;
    uint16_t state = 0;
};

Key KeyOf(xcb_connection_t* c, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, static_cast<xcb_keycode_t>(first), count), nullptr);
    Key found;
    const bool keypad = keysym >= 0xff80 && keysym <= 0xffbd;
    if (r) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
        const int per = r->keysyms_per_keycode;
        for (int k = 0; k < count && !found.code; ++k)
            for (int i = 0; i < per && i < 2; ++i)
                if (syms[k * per + i] == keysym) {
                    found.code = static_cast<xcb_keycode_t>(first + k);
                    if (i == 1) found.state = keypad ? XCB_MOD_MASK_2 : XCB_MOD_MASK_SHIFT;
                    break;
                }
    }
    std::free(r);
    return found;
}

std::string Caption(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t utf8) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, utf8, 0, 1024), nullptr);
    std::string text;
    if (r)
        text.assign(static_cast<const char*>(xcb_get_property_value(r)),
                    static_cast<size_t>(xcb_get_property_value_length(r)));
    std::free(r);
    return text;
}

void SendKey(xcb_connection_t* c, xcb_window_t window, xcb_window_t root, Key key, uint8_t type) {
    xcb_key_press_event_t e{};
    e.response_type = type;
    e.detail = key.code;
    e.state = key.state;
    e.time = XCB_CURRENT_TIME;
    e.root = root;
    e.event = window;
    e.child = XCB_NONE;
    e.same_screen = 1;
    xcb_send_event(c, 1, window, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE,
                   reinterpret_cast<const char*>(&e));
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: key_answer WINDOW_ID KEYSYM CAPTION\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "key_answer: no display\n");
        return 2;
    }
    const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    const auto keysym = static_cast<xcb_keysym_t>(std::strtoul(argv[2], nullptr, 0));
    const std::string wanted = argv[3];
    const Key key = KeyOf(c, keysym);
    if (!key.code) {
        std::fprintf(stderr, "key_answer: no key gives keysym %s\n", argv[2]);
        return 2;
    }
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    // Watching first (checked, so the server has it), then pressing: a
    // caption that comes at once is not missed.
    std::free(xcb_request_check(
        c, xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &mask)));

    const auto start = Clock::now();
    SendKey(c, window, root, key, XCB_KEY_PRESS);
    SendKey(c, window, root, key, XCB_KEY_RELEASE);
    xcb_flush(c);
    const auto deadline = start + std::chrono::seconds(5);
    bool answered = false;
    while (!answered && Clock::now() < deadline) {
        xcb_generic_event_t* e = xcb_poll_for_event(c);
        if (!e) {
            if (xcb_connection_has_error(c)) break;
            pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
            poll(&fd, 1, 50);
            continue;
        }
        if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            reinterpret_cast<xcb_property_notify_event_t*>(e)->atom == netName)
            answered = Caption(c, window, netName, utf8) == wanted;
        std::free(e);
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    xcb_disconnect(c);
    if (!answered) {
        std::fprintf(stderr, "key_answer: no caption \"%s\" in 5 s\n", wanted.c_str());
        return 1;
    }
    std::printf("%.0f\n", ms);
    return 0;
}
