#include "model/NSColorExtensions.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/foundation/NSScanner.h"
#include "platform/foundation/NumberScanning.h"
#include "platform/foundation/Unicode.h"

// Plain ASCII text is read where it lies (every item of a reply carries a colour); anything
// else goes through the scanner, whose location counts UTF-16 units.
std::shared_ptr<NSColor> colorFromHexString(std::string_view text) {
  std::uint32_t value = 0;
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    std::size_t at = std::min<std::size_t>(1, text.size());
    // A hex digit is no space; the test of the Unicode tables is left for anything else.
    auto hexDigit = [](char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); };
    while (at < text.size() && !hexDigit(text[at]) &&
           Unicode::isWhitespaceOrNewline(static_cast<char32_t>(text[at]))) {
      ++at;
    }
    std::uint64_t wide = 0;
    if (NumberScanning::scanHex(text.substr(at), std::numeric_limits<std::uint32_t>::max(), wide) > 0) {
      value = static_cast<std::uint32_t>(wide);
    }
  } else {
    auto scanner = NSScanner::scannerWithString(std::string(text));
    scanner->setScanLocation(1);
    // A text with no digits leaves the value at 0: opaque black.
    scanner->scanHexInt(&value);
  }
  return NSColor::colorWithRed(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0,
                               1.0);
}
