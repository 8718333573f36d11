// Whether the windows can be shown: a window system is reachable, or Qt is
// told to use a platform that needs none (offscreen, for instance). Asked
// before the application starts, because Qt aborts without a display.
#pragma once

#include <string>

// True when a display is reachable; otherwise false and why in *why.
// args are the command line, for Qt's own -platform option.
bool DisplayAvailable(int argc, char** argv, std::string* why);
