// Feeds arbitrary bytes to the text rules. None may crash, and the rules must agree with
// one another: Base64 round-trips, equal texts hash alike, orderings are antisymmetric,
// numbers the formatter accepts read the same through the lenient readers.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/foundation/Base64.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSNumberFormatter.h"
#include "platform/foundation/NSScanner.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/TextRules.h"
#include "platform/foundation/Unicode.h"

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "text_rules: %s\n", what);
  std::abort();
}

void checkBase64(std::string_view bytes) {
  const std::string encoded = Base64::encode(bytes);
  auto decoded = Base64::decode(encoded);
  if (!decoded || std::string(decoded->begin(), decoded->end()) != bytes) fault("Base64 does not round-trip");
  auto strict = Base64::decode(bytes);
  auto lenient = Base64::decode(bytes, Base64::Decoding::ignoreUnknownCharacters);
  if (strict && (!lenient || *lenient != *strict)) fault("lenient decoding refuses or changes strict Base64");
}

void checkOrderings(std::string_view a, std::string_view b) {
  if (Unicode::canonicallyEqual(a, b) && Unicode::canonicalHash(a) != Unicode::canonicalHash(b)) {
    fault("equal texts hash differently");
  }
  if (Unicode::caseInsensitiveCompare(a, b) != -Unicode::caseInsensitiveCompare(b, a)) {
    fault("case-insensitive ordering is not antisymmetric");
  }
  if (Unicode::compare(a, b) != -Unicode::compare(b, a)) fault("ordering is not antisymmetric");
  if (Unicode::canonicallyEqual(a, b) && Unicode::compare(a, b) != NSOrderedSame) fault("equal texts order apart");
  const std::string joined = std::string(a) + std::string(b);
  if (Unicode::hasPrefix(joined, a) != Unicode::hasPrefix(Unicode::composed(joined), Unicode::decomposed(a))) {
    fault("prefix test depends on the normal form");
  }
  const NSRange found = Unicode::rangeOfString(joined, b);
  if (found.location != NSNotFound && found.end() > Unicode::utf16Length(joined)) fault("a range past the end");
  if (!b.empty() && Unicode::isAscii(joined) && found.location != joined.find(b)) fault("ASCII search disagrees");
}

void checkReaders(std::string_view text) {
  (void)TextRules::boolValue(text);
  (void)TextRules::integerValue(text);
  (void)Unicode::capitalized(text);
  (void)Unicode::trimmed(text);
  (void)NSUUID::UUIDWithString(text);
  if (auto number = NSNumberFormatter::make()->numberFromString(text)) {
    const double lenient = TextRules::doubleValue(text);
    if (!(lenient == number->doubleValue() || std::isnan(lenient))) fault("formatter and lenient reader disagree");
  }
  auto scanner = NSScanner::scannerWithString(std::string(text));
  std::uint32_t hex = 0;
  double real = 0;
  std::string word;
  // Every round either reads something or stops; the location only moves forward.
  for (int round = 0; round < 64 && !scanner->isAtEnd(); ++round) {
    const std::size_t before = scanner->scanLocation();
    if (!scanner->scanHexInt(&hex) && !scanner->scanDouble(&real) && !scanner->scanUpToString(" ", &word)) break;
    if (scanner->scanLocation() <= before) fault("the scanner read without moving");
  }
  auto formatter = NSDateFormatter::make();
  formatter->dateFormat = "yyyy-MM-dd HH:mm";
  (void)formatter->dateFromString(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkBase64(bytes);
  checkOrderings(bytes.substr(0, size / 2), bytes.substr(size / 2));
  checkReaders(bytes);
  return 0;
}
