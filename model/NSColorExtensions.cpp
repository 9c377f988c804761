#include "model/NSColorExtensions.h"

#include <cstdint>
#include <string>

#include "platform/foundation/NSScanner.h"

std::shared_ptr<NSColor> colorFromHexString(std::string_view text) {
  auto scanner = NSScanner::scannerWithString(std::string(text));
  scanner->setScanLocation(1);
  std::uint32_t value = 0;
  // A text with no digits leaves the value at 0: opaque black.
  scanner->scanHexInt(&value);
  return NSColor::colorWithRed(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0,
                               1.0);
}
