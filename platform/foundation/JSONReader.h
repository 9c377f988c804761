#pragma once
// Reading JSON without value objects, for hot paths that take what they need from a large
// reply: the bytes are parsed once and the caller walks the parser's own document. An
// element lives only while the callback that received it runs.
//
// The rules are NSJSONSerialization's (size and depth limits, UTF-8, integers beyond 64 bits
// read as reals); the top level must be an array or an object.

#include <simdjson.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

namespace JSONReader {

using Element = simdjson::dom::element;

// Bytes a buffer must leave free after the text for the text to be read where it lies.
inline constexpr std::size_t padding = simdjson::SIMDJSON_PADDING;

// A parsed text: its root, and the text it was parsed from, padded to `capacity`.
struct Document {
  Element root;
  std::string_view text;
  std::size_t capacity;
};

// Parses `bytes` and hands the document to `body`. `capacity` is the size of the buffer that
// holds the bytes: when it leaves `padding` bytes after them, the parser reads them where
// they lie; otherwise it reads a copy. Returns the read error, or nothing on success.
std::shared_ptr<NSError> read(std::string_view bytes, std::size_t capacity,
                              const std::function<void(const Document&)>& body);

// The value objects that NSJSONSerialization makes of the element.
id object(Element element);

// The element as compact JSON text that reads back as the same value objects.
std::string text(Element element);

}  // namespace JSONReader
