// The program's name: its title, the caption of its message boxes, and the
// prefix of what it writes to the standard error stream.
#pragma once

inline const char kProgramTitle[] = "Trellon";
// The name of its desktop file (without .desktop), which desktops match
// its windows with.
inline const char kDesktopFileName[] = "org.trellon.Trellon";
