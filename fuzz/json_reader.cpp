// Reads arbitrary bytes as JSON. Whatever reads must write in every style, read back equal,
// and write the same text again; whatever does not read must come back as an error value.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/foundation/NSJSONSerialization.h"

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "json_reader: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto value = NSJSONSerialization::JSONObjectWithBytes(bytes, NSJSONReadingOptions::fragmentsAllowed);
  if (!value) {
    const auto& error = value.error();
    if (!error || error->code() != NSJSONSerialization::readErrorCode || error->localizedDescription().empty()) {
      fault("a refused input without a proper error");
    }
    return 0;
  }
  if (!*value) fault("an accepted input without a value");

  for (auto style : {NSJSONWritingOptions::none, NSJSONWritingOptions::prettyPrinted,
                     NSJSONWritingOptions::sortedKeys | NSJSONWritingOptions::prettyPrinted}) {
    auto options = style | NSJSONWritingOptions::fragmentsAllowed;
    auto text = NSJSONSerialization::stringWithJSONObject(*value, options);
    if (!text) fault("a value that was read cannot be written");
    auto again = NSJSONSerialization::JSONObjectWithBytes(*text, NSJSONReadingOptions::fragmentsAllowed);
    if (!again) fault("written text does not read back");
    if (!(*again)->isEqual(*value)) fault("the value read back differs");
    auto rewritten = NSJSONSerialization::stringWithJSONObject(*again, options);
    if (!rewritten || *rewritten != *text) fault("writing what was read back gives other text");
  }
  return 0;
}
