#pragma once

#include <QString>

// For checks of the running program from outside it (a screen driver, a comparison of one
// system's build with another's): while installed, every window shown appends the rectangles
// of its named, visible controls to `path`, one line each:
//   <window class> <control name> <x> <y> <width> <height> <screen x> <screen y>
// x and y relative to the window's client area; the window itself is the line named "window".
// main() installs it when HOOPWATCH_LAYOUT_FILE names a file.
void installLayoutReport(const QString& path);
