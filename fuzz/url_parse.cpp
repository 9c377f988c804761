// Feeds arbitrary bytes to the URL parser. None may crash, and the pieces must agree:
// whatever parses prints to a text that parses to itself, components rebuilt from their query
// items parse again, and resolving against a base gives a URL that parses on its own.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLComponents.h"

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "url_parse: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // An empty port ("h:") is dropped when printing; otherwise the text comes back as it was.
  if (auto parts = URLParts::parse(text)) {
    auto printed = parts->string();
    if (!printed) fault("parsed text does not print");
    auto reparsed = URLParts::parse(*printed);
    if (!reparsed || reparsed->string() != printed) fault("printing is not stable");
  }

  if (auto components = NSURLComponents::componentsWithString(text)) {
    auto items = components->queryItems();
    components->setQueryItems(items);
    if (auto rebuilt = components->string()) {
      if (!URLParts::parse(*rebuilt)) fault("components rebuilt from their items do not parse");
      auto again = NSURLComponents::componentsWithString(*rebuilt);
      if (!again || again->queryItems() != items) fault("query items do not survive a round trip");
    }
    components->setPath(text);
    components->setQuery(std::string(text));
    components->setFragment(std::string(text));
    if (auto rebuilt = components->string(); rebuilt && !URLParts::parse(*rebuilt)) fault("encoded pieces do not parse");
  }

  static const auto base = NSURL::URLWithString("http://a/b/c/d;p?q");
  if (auto resolved = NSURL::URLWithString(text, base)) {
    if (!NSURL::URLWithString(resolved->absoluteString())) fault("a resolved URL does not parse");
    resolved->URLByAppendingPathComponent(text);
    resolved->URLByDeletingLastPathComponent();
    resolved->lastPathComponent();
    resolved->pathExtension();
  }
  if (!percentDecoded(percentEncoded(text, URLQueryAllowedCharacterSet())).has_value()) fault("encoding does not decode");
  return 0;
}
