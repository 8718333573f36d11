// The program's icon: the one the desktop's icon theme has under the
// desktop file's name, else the same design drawn here (a grid of ticks,
// some on, under a light that follows them), so that every window carries
// one even when the program runs from its build folder.
#pragma once

#include <QIcon>
#include <QImage>

// The design at size by size pixels, on a transparent ground.
QImage DrawAppIcon(int size);
QIcon AppIcon();
