// The program's name: its title, the caption of its message boxes, and the
// prefix of what it writes to the standard error stream.
#pragma once

inline const char kProgramTitle[] = "Trellon";
