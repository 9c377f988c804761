#pragma once
// The application's colour helpers over the platform colour.
#include <memory>
#include <string_view>

#include "platform/appkit/NSColor.h"

// An opaque colour from "#RRGGBB": the first character is skipped whatever it is, the rest
// read as a hexadecimal number (0 when no digits follow, 0xFFFFFFFF when too large), and
// bits 16-23, 8-15 and 0-7 give red, green and blue. Never fails.
std::shared_ptr<NSColor> colorFromHexString(std::string_view text);
