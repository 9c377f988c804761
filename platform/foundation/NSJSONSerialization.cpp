#include "platform/foundation/NSJSONSerialization.h"

#include <simdjson.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// ---------------------------------------------------------------------------------------------
// Reading

std::shared_ptr<NSError> readError(const std::string& reason) {
  return NSError::make(std::string(NSError::NSCocoaErrorDomain), NSJSONSerialization::readErrorCode,
                       "The data couldn't be read because it isn't valid JSON: " + reason + ".");
}

bool isJSONSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The index just past the string that opens at `start`, or npos when the data ends inside it.
std::size_t skipString(std::string_view text, std::size_t start) {
  for (std::size_t i = start + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// The parser reports a broken structure with one code; a second, cheap look at the brackets
// tells the reader whether the data was cut short, went on after the value, or is jumbled.
std::string structuralReason(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) return "the data starts with a byte order mark";
  std::size_t depth = 0;
  bool valueEnded = false;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (isJSONSpace(c)) {
      ++i;
      continue;
    }
    if (depth == 0 && valueEnded) return "there is more text after the end of the value";
    if (c == '"') {
      i = skipString(text, i);
      if (i == std::string_view::npos) return "the data ends inside a string";
      valueEnded = depth == 0;
      continue;
    }
    if (c == '[' || c == '{') {
      ++depth;
    } else if (c == ']' || c == '}') {
      if (depth == 0) return "a closing bracket has no opening bracket";
      valueEnded = --depth == 0;
    } else if (depth == 0) {
      while (i < text.size() && !isJSONSpace(text[i]) && std::string_view("[]{}\",:").find(text[i]) == std::string_view::npos) ++i;
      valueEnded = true;
      continue;
    }
    ++i;
  }
  if (depth > 0) return "the data ends before the value is complete";
  return "commas, colons, brackets or keys are out of place";
}

// The parser refuses integers beyond 64 bits; JSON allows them and we read them as reals.
// Returns the text with an exponent added to each such integer, or nothing when there is none
// (the number error then stands).
std::optional<std::string> widenBigIntegers(std::string_view text) {
  std::string widened;
  std::size_t copied = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '"') {
      i = skipString(text, i);
      if (i == std::string_view::npos) break;
      continue;
    }
    if (c != '-' && !isDigit(c)) {
      ++i;
      continue;
    }
    std::size_t start = i;
    while (i < text.size() && (isDigit(text[i]) || text[i] == '-' || text[i] == '+' || text[i] == '.' ||
                               text[i] == 'e' || text[i] == 'E')) {
      ++i;
    }
    std::string_view token = text.substr(start, i - start);
    std::string_view digits = token.starts_with('-') ? token.substr(1) : token;
    bool plainInteger = !digits.empty() && std::all_of(digits.begin(), digits.end(), isDigit) &&
                        (digits.size() == 1 || digits.front() != '0');
    if (!plainInteger || digits.size() < 19) continue;
    std::int64_t asSigned;
    std::uint64_t asUnsigned;
    const char* end = token.data() + token.size();
    if (std::from_chars(token.data(), end, asSigned).ec == std::errc{}) continue;
    if (!token.starts_with('-') && std::from_chars(token.data(), end, asUnsigned).ec == std::errc{}) continue;
    widened.append(text.substr(copied, i - copied));
    widened.append("e0");
    copied = i;
  }
  if (copied == 0) return std::nullopt;
  widened.append(text.substr(copied));
  return widened;
}

std::string reasonFor(simdjson::error_code code, std::string_view text) {
  using simdjson::error_code;
  switch (code) {
    case error_code::EMPTY:
      return "there is no value in the data";
    case error_code::DEPTH_ERROR:
      return "arrays and objects are nested deeper than " + std::to_string(NSJSONSerialization::maxDepth) +
             " levels";
    case error_code::UTF8_ERROR:
      return "the data is not valid UTF-8";
    case error_code::UNCLOSED_STRING:
      return "the data ends inside a string";
    case error_code::UNESCAPED_CHARS:
      return "a string holds a control character that is not escaped";
    case error_code::STRING_ERROR:
      return "a string holds an invalid escape or an unpaired surrogate";
    case error_code::T_ATOM_ERROR:
    case error_code::F_ATOM_ERROR:
    case error_code::N_ATOM_ERROR:
      return "a word other than true, false or null";
    case error_code::NUMBER_ERROR:
    case error_code::NUMBER_OUT_OF_RANGE:
      return "a number is malformed or too large for a real";
    case error_code::MEMALLOC:
    case error_code::CAPACITY:
      return "there is not enough memory to read it";
    default:
      return structuralReason(text);
  }
}

id convert(element value) {
  switch (value.type()) {
    case element_type::ARRAY: {
      // Held in a local: a range-for over the temporary result would outlive it.
      simdjson::dom::array array = value.get_array().value_unsafe();
      std::vector<id> items;
      items.reserve(array.size());
      for (element item : array) items.push_back(convert(item));
      return NSArray::make(std::move(items));
    }
    case element_type::OBJECT: {
      auto dictionary = NSDictionary::make();
      simdjson::dom::object object = value.get_object().value_unsafe();
      dictionary->reserve(object.size());
      for (auto member : object) dictionary->setObject(convert(member.value), member.key);
      return dictionary;
    }
    case element_type::INT64:
      return NSNumber::numberWithInteger(value.get_int64().value_unsafe());
    case element_type::UINT64:
      return NSNumber::numberWithUnsignedInteger(value.get_uint64().value_unsafe());
    case element_type::DOUBLE:
      return NSNumber::numberWithDouble(value.get_double().value_unsafe());
    case element_type::STRING:
      return NSString::make(std::string(value.get_string().value_unsafe()));
    case element_type::BOOL:
      return NSNumber::numberWithBool(value.get_bool().value_unsafe());
    case element_type::NULL_VALUE:
      break;
  }
  return NSNull::null();
}

// One parser per thread: replies are read on the session's queue while the main thread may
// read files. Its buffers are kept for the next call unless a large input grew them.
struct ThreadReader {
  simdjson::dom::parser parser;
  std::string padded;
  // What the last parse read: the caller's bytes or the padded copy.
  std::string_view source;
  std::size_t sourceCapacity = 0;
  // Set while a caller walks the document: a read from inside that walk gets a parser of
  // its own rather than overwriting the document under the walker.
  bool busy = false;

  static constexpr std::size_t keptCapacity = 4u * 1024u * 1024u;

  simdjson::error_code parse(std::string_view text, std::size_t capacity, element& root) {
    if (parser.max_depth() != NSJSONSerialization::maxDepth || parser.capacity() < text.size()) {
      auto error = parser.allocate(std::max<std::size_t>(text.size(), 4096), NSJSONSerialization::maxDepth);
      if (error) return error;
    }
    if (capacity >= text.size() + simdjson::SIMDJSON_PADDING) {
      source = text;
      sourceCapacity = capacity;
    } else {
      padded.assign(text);
      padded.resize(text.size() + simdjson::SIMDJSON_PADDING, ' ');
      source = std::string_view(padded.data(), text.size());
      sourceCapacity = padded.size();
    }
    return parser.parse(source.data(), source.size(), false).get(root);
  }

  // Parses as NSJSONSerialization reads: big integers widened to reals.
  simdjson::error_code read(std::string_view bytes, std::size_t capacity, element& root) {
    if (bytes.size() > NSJSONSerialization::maxInputLength) return simdjson::CAPACITY;
    auto code = parse(bytes, capacity, root);
    if (code == simdjson::NUMBER_ERROR) {
      if (auto widened = widenBigIntegers(bytes)) {
        if (widened->size() <= NSJSONSerialization::maxInputLength) code = parse(*widened, 0, root);
      }
    }
    return code;
  }

  void trim() {
    if (parser.capacity() > keptCapacity) parser = simdjson::dom::parser();
    if (padded.capacity() > keptCapacity) std::string().swap(padded);
  }
};

std::shared_ptr<NSError> tooLarge() {
  return readError("the data is larger than the limit of " + std::to_string(NSJSONSerialization::maxInputLength) +
                   " bytes");
}

// Runs `body` with this thread's reader, or with one of its own when the thread's reader is
// in use further up the stack.
template <typename Body>
auto withReader(Body&& body) {
  thread_local ThreadReader shared;
  if (shared.busy) {
    ThreadReader own;
    return body(own);
  }
  shared.busy = true;
  struct Release {
    ThreadReader& reader;
    ~Release() {
      reader.busy = false;
      reader.trim();
    }
  } release{shared};
  return body(shared);
}

bool isContainer(element root) { return root.type() == element_type::ARRAY || root.type() == element_type::OBJECT; }

void appendEscaped(std::string& out, std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xf];
    }
  }
  out.append(text.substr(run));
  out += '"';
}

template <typename Number>
void appendNumber(std::string& out, Number value) {
  char buffer[32];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, written.ptr);
}

void appendText(std::string& out, element value) {
  switch (value.type()) {
    case element_type::ARRAY: {
      out += '[';
      bool first = true;
      simdjson::dom::array array = value.get_array().value_unsafe();
      for (element item : array) {
        if (!first) out += ',';
        first = false;
        appendText(out, item);
      }
      out += ']';
      return;
    }
    case element_type::OBJECT: {
      out += '{';
      bool first = true;
      simdjson::dom::object object = value.get_object().value_unsafe();
      for (auto member : object) {
        if (!first) out += ',';
        first = false;
        appendEscaped(out, member.key);
        out += ':';
        appendText(out, member.value);
      }
      out += '}';
      return;
    }
    case element_type::INT64: return appendNumber(out, value.get_int64().value_unsafe());
    case element_type::UINT64: return appendNumber(out, value.get_uint64().value_unsafe());
    case element_type::DOUBLE: {
      // Shortest text that reads back as the same real, and still as a real.
      std::size_t start = out.size();
      appendNumber(out, value.get_double().value_unsafe());
      if (std::string_view(out).substr(start).find_first_of(".e") == std::string_view::npos) out += ".0";
      return;
    }
    case element_type::STRING: return appendEscaped(out, value.get_string().value_unsafe());
    case element_type::BOOL: out += value.get_bool().value_unsafe() ? "true" : "false"; return;
    case element_type::NULL_VALUE: out += "null"; return;
  }
}

}  // namespace

std::expected<id, std::shared_ptr<NSError>> NSJSONSerialization::JSONObjectWithData(
    const std::shared_ptr<NSData>& data, NSJSONReadingOptions options) {
  if (!data) return std::unexpected(readError("there is no data"));
  return JSONObjectWithBytes(data->view(), options);
}

std::expected<id, std::shared_ptr<NSError>> NSJSONSerialization::JSONObjectWithBytes(
    std::string_view bytes, NSJSONReadingOptions options) {
  if (bytes.size() > maxInputLength) return std::unexpected(tooLarge());
  return withReader([&](ThreadReader& reader) -> std::expected<id, std::shared_ptr<NSError>> {
    element root;
    if (auto code = reader.read(bytes, 0, root)) return std::unexpected(readError(reasonFor(code, bytes)));
    if (!hasOption(options, NSJSONReadingOptions::fragmentsAllowed) && !isContainer(root)) {
      return std::unexpected(readError("the top level is not an array or an object"));
    }
    return convert(root);
  });
}

std::shared_ptr<NSError> JSONReader::read(std::string_view bytes, std::size_t capacity,
                                          const std::function<void(const Document&)>& body) {
  if (bytes.size() > NSJSONSerialization::maxInputLength) return tooLarge();
  return withReader([&](ThreadReader& reader) -> std::shared_ptr<NSError> {
    element root;
    if (auto code = reader.read(bytes, capacity, root)) return readError(reasonFor(code, bytes));
    if (!isContainer(root)) return readError("the top level is not an array or an object");
    body(Document{root, reader.source, reader.sourceCapacity});
    return nullptr;
  });
}

id JSONReader::object(Element element) { return convert(element); }

std::string JSONReader::text(Element element) {
  std::string out;
  appendText(out, element);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

std::shared_ptr<NSError> writeError(const std::string& reason) {
  return NSError::make(std::string(NSError::NSCocoaErrorDomain), NSJSONSerialization::writeErrorCode,
                       "The object can't be written as JSON: " + reason + ".");
}

class Writer {
 public:
  explicit Writer(NSJSONWritingOptions options)
      : pretty_(hasOption(options, NSJSONWritingOptions::prettyPrinted)),
        sorted_(hasOption(options, NSJSONWritingOptions::sortedKeys)) {}

  // Appends the value to the output; the first failure ends the walk and is kept.
  bool write(const id& value, std::size_t depth) {
    if (!value) return fail("an array or dictionary holds an empty object");
    if (auto text = asA<NSString>(value)) return writeString(text->string());
    if (auto number = asA<NSNumber>(value)) return writeNumber(*number);
    if (asA<NSNull>(value)) {
      out_ += "null";
      return true;
    }
    if (auto array = asA<NSArray>(value)) return writeArray(*array, depth + 1);
    if (auto dictionary = asA<NSDictionary>(value)) return writeDictionary(*dictionary, depth + 1);
    return fail("a " + value->className() + " is not a JSON value");
  }

  std::string& output() { return out_; }
  std::shared_ptr<NSError>& error() { return error_; }

 private:
  bool fail(const std::string& reason) {
    error_ = writeError(reason);
    return false;
  }

  bool checkDepth(std::size_t depth) {
    if (depth <= NSJSONSerialization::maxDepth) return true;
    return fail("arrays and dictionaries are nested deeper than " + std::to_string(NSJSONSerialization::maxDepth) +
                " levels, or one contains itself");
  }

  void newline(std::size_t depth) {
    if (!pretty_) return;
    out_ += '\n';
    out_.append(depth * 2, ' ');
  }

  bool writeNumber(const NSNumber& number) {
    char buffer[32];
    std::to_chars_result written{};
    switch (number.kind()) {
      case NSNumber::Kind::boolean:
        out_ += number.boolValue() ? "true" : "false";
        return true;
      case NSNumber::Kind::integer:
        written = std::to_chars(buffer, buffer + sizeof buffer, number.integerValue());
        break;
      case NSNumber::Kind::unsignedInteger:
        written = std::to_chars(buffer, buffer + sizeof buffer, number.unsignedIntegerValue());
        break;
      case NSNumber::Kind::real: {
        double value = number.doubleValue();
        if (!std::isfinite(value)) return fail("a number is not finite");
        written = std::to_chars(buffer, buffer + sizeof buffer, value);
        std::string_view text(buffer, static_cast<std::size_t>(written.ptr - buffer));
        out_ += text;
        // A real stays a real when read back: "3" would come back as an integer.
        if (text.find_first_of(".e") == std::string_view::npos) out_ += ".0";
        return true;
      }
    }
    out_.append(buffer, written.ptr);
    return true;
  }

  bool writeString(std::string_view text) {
    if (!simdjson::validate_utf8(text.data(), text.size())) return fail("a string is not valid UTF-8");
    appendEscaped(out_, text);
    return true;
  }

  bool writeArray(const NSArray& array, std::size_t depth) {
    if (!checkDepth(depth)) return false;
    out_ += '[';
    bool first = true;
    for (const auto& item : array) {
      if (!first) out_ += ',';
      first = false;
      newline(depth);
      if (!write(item, depth)) return false;
    }
    if (!first) newline(depth - 1);
    out_ += ']';
    return true;
  }

  bool writeDictionary(const NSDictionary& dictionary, std::size_t depth) {
    if (!checkDepth(depth)) return false;
    std::vector<const NSDictionary::Entry*> entries;
    entries.reserve(dictionary.count());
    for (const auto& entry : dictionary) entries.push_back(&entry);
    if (sorted_) {
      std::sort(entries.begin(), entries.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
    }
    out_ += '{';
    bool first = true;
    for (const auto* entry : entries) {
      if (!first) out_ += ',';
      first = false;
      newline(depth);
      if (!writeString(entry->first)) return false;
      out_ += pretty_ ? " : " : ":";
      if (!write(entry->second, depth)) return false;
    }
    if (!first) newline(depth - 1);
    out_ += '}';
    return true;
  }

  bool pretty_;
  bool sorted_;
  std::string out_;
  std::shared_ptr<NSError> error_;
};

bool isContainer(const id& object) { return asA<NSArray>(object) || asA<NSDictionary>(object); }

}  // namespace

std::expected<std::string, std::shared_ptr<NSError>> NSJSONSerialization::stringWithJSONObject(
    const id& object, NSJSONWritingOptions options) {
  if (!hasOption(options, NSJSONWritingOptions::fragmentsAllowed) && !isContainer(object)) {
    return std::unexpected(writeError("the top level must be an array or a dictionary"));
  }
  Writer writer(options);
  if (!writer.write(object, 0)) return std::unexpected(writer.error());
  return std::move(writer.output());
}

std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>> NSJSONSerialization::dataWithJSONObject(
    const id& object, NSJSONWritingOptions options) {
  auto text = stringWithJSONObject(object, options);
  if (!text) return std::unexpected(text.error());
  return NSData::fromString(*text);
}

bool NSJSONSerialization::isValidJSONObject(const id& object) {
  return isContainer(object) && Writer(NSJSONWritingOptions::none).write(object, 0);
}
