#include "forms/display_check.h"

#include <sys/stat.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Whether the X server named by display accepts a connection.
bool XServerAnswers(const std::string& display) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    const bool answers = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    return answers;
}

bool WaylandSocketExists(const std::string& name) {
    const std::string path = name[0] == '/' ? name : Env("XDG_RUNTIME_DIR") + "/" + name;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

bool DisplayAvailable(int argc, char** argv, std::string* why) {
    std::string platform = Env("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "-platform")) platform = argv[i + 1];
    // A platform other than the window systems' needs no display.
    if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0)
        return true;
    const std::string wayland = Env("WAYLAND_DISPLAY"), x = Env("DISPLAY");
    if (!wayland.empty() && WaylandSocketExists(wayland)) return true;
    if (!x.empty()) {
        if (XServerAnswers(x)) return true;
        *why = "the X display " + x + " does not answer";
        return false;
    }
    *why = wayland.empty() ? "neither DISPLAY nor WAYLAND_DISPLAY is set"
                           : "the Wayland display " + wayland + " does not answer";
    return false;
}
