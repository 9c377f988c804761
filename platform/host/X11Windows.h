#pragma once
// The X server's tree of windows, as the host asks about it: a window of ours sits in a
// frame a window manager made, and the focus may rest on one inside another.

#include <X11/Xlib.h>

#include <vector>

namespace X11Windows {

// The window and its ancestors up to (not including) the root, innermost first.
std::vector<Window> selfAndAncestors(Display* display, Window window);

}  // namespace X11Windows
