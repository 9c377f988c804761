#pragma once
// Reading JSON without value objects, for hot paths that take what they need from a large
// reply: the bytes are parsed once and the caller walks the parser's own document. An
// element lives only while the callback that received it runs.
//
// The rules are NSJSONSerialization's (size and depth limits, UTF-8, integers beyond 64 bits
// read as reals); the top level must be an array or an object.

#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

namespace JSONReader {

using Element = simdjson::dom::element;

// Bytes a buffer must leave free after the text for the text to be read where it lies.
inline constexpr std::size_t padding = simdjson::SIMDJSON_PADDING;

// A parsed text: its root, the text it was parsed from, padded to `capacity`, and the
// offsets in that text of its brackets, colons, commas and the first byte of every value and
// key, in order, as the parser found them.
struct Document {
  Element root;
  std::string_view text;
  std::size_t capacity;
  std::span<const std::uint32_t> structurals;
};

// Parses `bytes` and hands the document to `body`. `capacity` is the size of the buffer that
// holds the bytes: when it leaves `padding` bytes after them, the parser reads them where
// they lie; otherwise it reads a copy. Returns the read error, or nothing on success.
std::shared_ptr<NSError> read(std::string_view bytes, std::size_t capacity,
                              const std::function<void(const Document&)>& body);

// The text, as it stands in the document, of the first element of the array `memberKey` of
// each object of the array `arrayKey` of the top-level object: for {"results": [{"media":
// [{...}, ...]}, ...]} with "results" and "media", each result's first media object. A
// repeated key counts with its last value, as in a dictionary; a result of another shape
// gives an empty text, and so does a result whose keys hold escapes (a key could then name the
// member in a form the bytes do not show). Nothing at all when the top level has no such
// array. One pass over the document's offsets, without reading the text again.
std::vector<std::string_view> firstElementTexts(const Document& document, std::string_view arrayKey,
                                                std::string_view memberKey);

// The value objects that NSJSONSerialization makes of the element.
id object(Element element);

// The element as compact JSON text that reads back as the same value objects.
std::string text(Element element);

}  // namespace JSONReader
