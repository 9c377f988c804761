#pragma once
// Copies a GIF item to the general pasteboard: its cached small GIF as a file URL and its
// shareable web address as text; an item of this computer (no web address) gives its own
// file. Whatever was written, the item goes first in Recents. Main thread only.

#include <memory>

#include "model/VornObject.h"

// True when something was written to the pasteboard (callers confirm the copy only then).
bool copyVornToPasteboard(const std::shared_ptr<VornObject>& vorn);
