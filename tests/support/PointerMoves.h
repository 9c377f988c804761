#pragma once
// The pointer moved as a person's hand moves it (xdotool, through the X server's test
// input), then waited for until the server has it where it was sent. xdotool's own --sync
// waits for the pointer to leave the place it was at, so it never returns when the pointer
// is there already (the same point clicked again, a test run a second time).

#include <string>

#include "tests/support/Command.h"

// Moves the pointer to (x, y) of the X window (its id in decimal; the root window when
// empty) and waits until the server reports it there; false when it does not get there
// within the timeout (a point off the screen, a window that is gone).
bool movePointerTo(const std::string& window, int x, int y, const CommandWait& wait, double timeout = 15.0);
// Moves it by (dx, dy) from where it is, and waits the same way.
bool movePointerBy(int dx, int dy, const CommandWait& wait, double timeout = 15.0);
