#pragma once
// Placing windows on the display.

#include <memory>

class NSWindow;

// Puts the window in the middle of its display, from the two sizes alone (the display's
// origin is not added). A window on no display stays where it is.
void setFrameOriginToCenterOfScreen(NSWindow& window);
