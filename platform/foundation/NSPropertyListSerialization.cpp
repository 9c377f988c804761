#include "platform/foundation/NSPropertyListSerialization.h"

#include <plist/plist.h>
#include <unicode/ustring.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"

namespace {

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::shared_ptr<NSError> makeError(std::int64_t code, std::string reason) {
  return NSError::make(std::string(NSError::NSCocoaErrorDomain), code, std::move(reason));
}

std::shared_ptr<NSError> corrupt(const std::string& reason) {
  return makeError(NSPropertyListSerialization::NSPropertyListReadCorruptError,
                   "The data couldn't be read because it isn't in the correct format: " + reason + ".");
}

bool isValidUtf8(const char* text, std::size_t length) {
  if (length > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return false;
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = 0;
  u_strFromUTF8(nullptr, 0, &needed, text, static_cast<int32_t>(length), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

// --- Shape checks that run before libplist sees the bytes -------------------------------

constexpr std::string_view kBinaryMagic = "bplist00";

std::uint64_t readBigEndian(const std::uint8_t* p, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value = (value << 8) | p[i];
  return value;
}

// Walks a binary list's object graph from its top object: every offset, length and
// reference in bounds, no cycles, nesting and expanded size within the limits. libplist
// follows references recursively and copies shared objects, so a deep or heavily shared
// graph would otherwise exhaust its stack or memory.
class BinaryShapeCheck {
 public:
  explicit BinaryShapeCheck(const std::vector<std::uint8_t>& bytes) : b_(bytes) {}

  std::optional<std::string> run() {
    if (b_.size() < kBinaryMagic.size() + 32) return "the binary property list is truncated";
    const std::uint8_t* trailer = b_.data() + b_.size() - 32;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    count_ = readBigEndian(trailer + 8, 8);
    const std::uint64_t top = readBigEndian(trailer + 16, 8);
    tableOffset_ = readBigEndian(trailer + 24, 8);
    limit_ = b_.size() - 32;
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return "bad trailer sizes";
    if (count_ == 0 || top >= count_) return "bad object count";
    if (tableOffset_ < kBinaryMagic.size() || tableOffset_ > limit_) return "bad offset table";
    if (count_ > (limit_ - tableOffset_) / offsetSize_) return "offset table out of range";
    state_.assign(count_, State::unseen);
    height_.assign(count_, 0);
    expanded_.assign(count_, 0);
    if (auto failure = visit(top)) return failure;
    while (!frames_.empty()) {
      Frame& frame = frames_.back();
      if (frame.next < frame.refs) {
        const std::uint64_t child = readBigEndian(b_.data() + frame.refsStart + frame.next * refSize_, refSize_);
        ++frame.next;
        if (child >= count_) return "object reference out of range";
        if (state_[child] == State::open) return "object references form a cycle";
        if (state_[child] == State::unseen) {
          if (auto failure = visit(child)) return failure;
          if (state_[child] == State::open) continue;  // a container: descend first
        }
        if (frames_.size() + height_[child] > NSPropertyListSerialization::kMaximumDepth) return "nested too deeply";
        Frame& parent = frames_.back();
        parent.height = std::max(parent.height, height_[child]);
        parent.expanded += expanded_[child];
        if (parent.expanded > NSPropertyListSerialization::kMaximumExpandedObjects) return "too many objects";
        continue;
      }
      const Frame done = frame;
      frames_.pop_back();
      state_[done.object] = State::closed;
      height_[done.object] = done.height + 1;
      expanded_[done.object] = done.expanded;
      if (!frames_.empty()) {
        Frame& parent = frames_.back();
        parent.height = std::max(parent.height, height_[done.object]);
        parent.expanded += done.expanded;
        if (parent.expanded > NSPropertyListSerialization::kMaximumExpandedObjects) return "too many objects";
      }
    }
    return std::nullopt;
  }

 private:
  enum class State : std::uint8_t { unseen, open, closed };
  struct Frame {
    std::uint64_t object, refsStart, refs, next = 0;
    std::uint32_t height = 0;
    std::uint64_t expanded = 1;
  };

  // Checks one object; a container gets a frame, anything else is finished at once.
  std::optional<std::string> visit(std::uint64_t object) {
    const std::uint64_t offset = readBigEndian(b_.data() + tableOffset_ + object * offsetSize_, offsetSize_);
    if (offset < kBinaryMagic.size() || offset >= limit_) return "object offset out of range";
    const std::uint8_t marker = b_[offset];
    const unsigned type = marker >> 4, info = marker & 0xF;
    std::uint64_t start = offset + 1, length = info;
    auto needs = [&](std::uint64_t from, std::uint64_t size) { return from <= limit_ && size <= limit_ - from; };
    auto readCount = [&]() -> bool {
      if (info != 0xF) return true;
      if (!needs(offset + 1, 1)) return false;
      const std::uint8_t intMarker = b_[offset + 1];
      if ((intMarker >> 4) != 0x1 || (intMarker & 0xF) > 3) return false;
      const std::size_t size = std::size_t{1} << (intMarker & 0xF);
      if (!needs(offset + 2, size)) return false;
      length = readBigEndian(b_.data() + offset + 2, size);
      start = offset + 2 + size;
      return true;
    };
    std::uint64_t unit = 0;
    switch (type) {
      case 0x0:
        if (marker != 0x00 && marker != 0x08 && marker != 0x09 && marker != 0x0F) return "unknown object";
        break;
      case 0x1:
        if (info > 4 || !needs(start, std::uint64_t{1} << info)) return "bad integer";
        break;
      case 0x2:
        if ((info != 2 && info != 3) || !needs(start, std::uint64_t{1} << info)) return "bad real";
        break;
      case 0x3:
        if (info != 3 || !needs(start, 8)) return "bad date";
        break;
      case 0x4:
      case 0x5:
      case 0x6:
        if (!readCount()) return "bad length";
        if (type == 0x6 ? length > limit_ / 2 || !needs(start, length * 2) : !needs(start, length)) {
          return "value runs past the end";
        }
        if (type != 0x4 && hasNulCharacter(start, type == 0x6 ? 2 : 1, length)) return "text with a NUL character";
        break;
      case 0x8:
        if (!needs(start, info + 1)) return "bad reference";
        break;
      case 0xA:
      case 0xC:
        unit = refSize_;
        break;
      case 0xD:
        unit = std::uint64_t{refSize_} * 2;
        break;
      default:
        return "unknown object";
    }
    if (unit == 0) {
      state_[object] = State::closed;
      expanded_[object] = 1;
      return std::nullopt;
    }
    if (!readCount()) return "bad length";
    if (length > (limit_ - std::min(start, limit_)) / unit) return "container runs past the end";
    if (frames_.size() + 1 > NSPropertyListSerialization::kMaximumDepth) return "nested too deeply";
    state_[object] = State::open;
    frames_.push_back(Frame{object, start, type == 0xD ? length * 2 : length});
    return std::nullopt;
  }

  // libplist keeps texts and keys as C strings and aborts on one with an inner NUL.
  bool hasNulCharacter(std::uint64_t start, std::uint64_t unit, std::uint64_t count) const {
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint8_t* c = b_.data() + start + i * unit;
      if (c[0] == 0 && (unit == 1 || c[1] == 0)) return true;
    }
    return false;
  }

  const std::vector<std::uint8_t>& b_;
  unsigned offsetSize_ = 0, refSize_ = 0;
  std::uint64_t count_ = 0, tableOffset_ = 0, limit_ = 0;
  std::vector<State> state_;
  std::vector<std::uint32_t> height_;
  std::vector<std::uint64_t> expanded_;
  std::vector<Frame> frames_;
};

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
  return text.compare(at, prefix.size(), prefix) == 0;
}

// A NUL byte or a character reference to U+0000 (or beyond Unicode) would reach libplist's
// C strings, where an inner NUL aborts the process.
bool hasNulOrBadReference(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return true;
  for (std::size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
    std::size_t i = at + 2;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
      const char c = text[i];
      int digit = c >= '0' && c <= '9' ? c - '0'
                  : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : -1;
      if (digit < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
      if (value > 0x10FFFF) return true;
    }
    if (digits > 0 && value == 0) return true;
  }
  return false;
}

// The deepest nesting of <array> and <dict> elements, skipping comments, CDATA sections,
// processing instructions and declarations the way the XML parser does.
std::optional<std::string> checkXmlShape(std::string_view text) {
  if (hasNulOrBadReference(text)) return "a NUL character or a bad character reference";
  std::size_t depth = 0;
  std::size_t i = 0;
  auto skipPast = [&](std::string_view end) {
    std::size_t found = text.find(end, i);
    i = found == std::string_view::npos ? text.size() : found + end.size();
  };
  auto isContainer = [&](std::size_t nameStart) {
    for (std::string_view name : {std::string_view("array"), std::string_view("dict")}) {
      if (!startsWith(text, nameStart, name)) continue;
      std::size_t after = nameStart + name.size();
      if (after >= text.size()) return true;
      char c = text[after];
      if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n') return true;
    }
    return false;
  };
  while ((i = text.find('<', i)) != std::string_view::npos) {
    if (startsWith(text, i, "<!--")) {
      i += 4;
      skipPast("-->");
    } else if (startsWith(text, i, "<![CDATA[")) {
      i += 9;
      skipPast("]]>");
    } else if (startsWith(text, i, "<?")) {
      i += 2;
      skipPast("?>");
    } else if (startsWith(text, i, "<!")) {
      i += 2;
      skipPast(">");
    } else if (startsWith(text, i, "</")) {
      if (isContainer(i + 2) && depth > 0) --depth;
      i += 2;
    } else {
      const bool container = isContainer(i + 1);
      std::size_t close = text.find('>', i);
      if (close == std::string_view::npos) break;
      if (container && text[close - 1] != '/') {
        if (++depth > NSPropertyListSerialization::kMaximumDepth) return "nested too deeply";
      }
      i = close + 1;
    }
  }
  return std::nullopt;
}

// --- libplist tree to values ----------------------------------------------------------

class Reader {
 public:
  std::shared_ptr<NSError> error;

  id convert(plist_t node, std::size_t depth) {
    if (error) return nullptr;
    switch (plist_get_node_type(node)) {
      case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return NSNumber::numberWithBool(value != 0);
      }
      case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // libplist keeps every integer as 64 raw bits; the list format's integers are signed.
        return NSNumber::numberWithInteger(static_cast<std::int64_t>(value));
      }
      case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return NSNumber::numberWithDouble(value);
      }
      case PLIST_STRING:
      case PLIST_KEY: {
        std::uint64_t length = 0;
        const char* value = plist_get_string_ptr(node, &length);
        if (!value) return fail("unreadable text");
        std::string text(value, length);
        if (!isValidUtf8(text.data(), text.size())) return fail("text that is not valid UTF-8");
        return NSString::make(std::move(text));
      }
      case PLIST_DATA: {
        char* value = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &value, &length);
        auto data = NSData::make(std::vector<std::uint8_t>(reinterpret_cast<std::uint8_t*>(value),
                                                           reinterpret_cast<std::uint8_t*>(value) + (value ? length : 0)));
        std::free(value);
        return data;
      }
      case PLIST_DATE: {
        std::int32_t seconds = 0, microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return NSDate::dateWithTimeIntervalSince1970(NSTimeIntervalSince1970 + seconds + microseconds / 1e6);
      }
      case PLIST_UID: {
        std::uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return NSPropertyListUID::make(value);
      }
      case PLIST_ARRAY: {
        if (depth >= NSPropertyListSerialization::kMaximumDepth) return fail("nested too deeply");
        auto array = NSArray::make();
        const std::uint32_t count = plist_array_get_size(node);
        array->mutableObjects().reserve(count);
        // The iterator walks the elements in order; indexing would search from the start each time.
        plist_array_iter iterator = nullptr;
        plist_array_new_iter(node, &iterator);
        for (std::uint32_t i = 0; i < count && iterator && !error; ++i) {
          plist_t item = nullptr;
          plist_array_next_item(node, iterator, &item);
          if (!item) {
            fail("missing array element");
            break;
          }
          array->addObject(convert(item, depth + 1));
        }
        std::free(iterator);
        return error ? nullptr : array;
      }
      case PLIST_DICT: {
        if (depth >= NSPropertyListSerialization::kMaximumDepth) return fail("nested too deeply");
        auto dictionary = NSDictionary::make();
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        while (iterator && !error) {
          char* key = nullptr;
          plist_t value = nullptr;
          plist_dict_next_item(node, iterator, &key, &value);
          if (!key || !value) {
            std::free(key);
            break;
          }
          std::string name(key);
          std::free(key);
          if (!isValidUtf8(name.data(), name.size())) {
            fail("a key that is not valid UTF-8");
            break;
          }
          id converted = convert(value, depth + 1);
          if (converted) dictionary->setObject(std::move(converted), name);
        }
        std::free(iterator);
        return error ? nullptr : dictionary;
      }
      default:
        return fail("an unknown value");
    }
  }

 private:
  id fail(const std::string& reason) {
    if (!error) error = corrupt(reason);
    return nullptr;
  }
};

// --- values to libplist tree ----------------------------------------------------------

std::shared_ptr<NSError> invalid(const std::string& reason) {
  return makeError(NSPropertyListSerialization::NSPropertyListWriteInvalidError,
                   "The property list is invalid: " + reason + ".");
}

std::expected<PlistPtr, std::shared_ptr<NSError>> build(const id& value, std::size_t depth) {
  if (!value) return std::unexpected(invalid("an empty value"));
  if (auto text = asA<NSString>(value)) return PlistPtr(plist_new_string(text->string().c_str()));
  if (auto number = asA<NSNumber>(value)) {
    switch (number->kind()) {
      case NSNumber::Kind::boolean: return PlistPtr(plist_new_bool(number->boolValue() ? 1 : 0));
      case NSNumber::Kind::integer:
        return PlistPtr(plist_new_uint(static_cast<std::uint64_t>(number->integerValue())));
      case NSNumber::Kind::unsignedInteger: return PlistPtr(plist_new_uint(number->unsignedIntegerValue()));
      case NSNumber::Kind::real: return PlistPtr(plist_new_real(number->doubleValue()));
    }
  }
  if (auto data = asA<NSData>(value)) {
    return PlistPtr(plist_new_data(reinterpret_cast<const char*>(data->bytes().data()), data->length()));
  }
  if (auto date = asA<NSDate>(value)) {
    // libplist carries dates as 32-bit seconds from 2001, about 1933 to 2069; dates
    // beyond (the distant past and future) are kept at the nearest end of that range.
    double since2001 = date->timeIntervalSince1970() - NSTimeIntervalSince1970;
    if (!std::isfinite(since2001)) since2001 = 0;
    double whole = std::floor(since2001);
    double fraction = since2001 - whole;
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (whole < lowest) whole = lowest, fraction = 0;
    if (whole > highest) whole = highest, fraction = 0;
    auto micro = static_cast<std::int32_t>(std::lround(fraction * 1e6));
    if (micro >= 1'000'000) micro = 999'999;
    return PlistPtr(plist_new_date(static_cast<std::int32_t>(whole), micro));
  }
  if (auto uid = asA<NSPropertyListUID>(value)) return PlistPtr(plist_new_uid(uid->value()));
  if (auto array = asA<NSArray>(value)) {
    if (depth >= NSPropertyListSerialization::kMaximumDepth) return std::unexpected(invalid("nested too deeply"));
    PlistPtr node(plist_new_array());
    for (const id& element : *array) {
      auto child = build(element, depth + 1);
      if (!child) return std::unexpected(child.error());
      plist_array_append_item(node.get(), child->release());
    }
    return node;
  }
  if (auto dictionary = asA<NSDictionary>(value)) {
    if (depth >= NSPropertyListSerialization::kMaximumDepth) return std::unexpected(invalid("nested too deeply"));
    PlistPtr node(plist_new_dict());
    for (const auto& [key, element] : *dictionary) {
      auto child = build(element, depth + 1);
      if (!child) return std::unexpected(child.error());
      plist_dict_set_item(node.get(), key.c_str(), child->release());
    }
    return node;
  }
  return std::unexpected(invalid("a value of class " + value->className()));
}

}  // namespace

std::shared_ptr<NSPropertyListUID> NSPropertyListUID::make(std::uint64_t value) {
  return create(value);
}

bool NSPropertyListUID::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto uid = asA<NSPropertyListUID>(other);
  return uid && uid->value_ == value_;
}

std::string NSPropertyListUID::description() const {
  return "<CFKeyedArchiverUID>{value = " + std::to_string(value_) + "}";
}

NSPropertyListSerialization::Result NSPropertyListSerialization::propertyListWithData(
    const std::shared_ptr<NSData>& data, NSPropertyListReadOptions, NSPropertyListFormat* format) {
  if (!data || data->length() == 0) return std::unexpected(corrupt("no data"));
  if (data->length() > std::numeric_limits<std::uint32_t>::max()) return std::unexpected(corrupt("too large"));
  const auto& bytes = data->bytes();
  const bool binary = data->view().starts_with(kBinaryMagic);
  if (!binary && data->view().starts_with("bplist")) {
    return std::unexpected(makeError(NSPropertyListReadUnknownVersionError,
                                     "The data couldn't be read because it has an unknown binary property list version."));
  }
  std::optional<std::string> shapeFailure =
      binary ? BinaryShapeCheck(bytes).run() : checkXmlShape(data->view());
  if (shapeFailure) return std::unexpected(corrupt(*shapeFailure));

  plist_t root = nullptr;
  const auto length = static_cast<std::uint32_t>(bytes.size());
  if (binary) {
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()), length, &root);
  } else {
    plist_from_xml(reinterpret_cast<const char*>(bytes.data()), length, &root);
  }
  PlistPtr owner(root);
  if (!root) return std::unexpected(corrupt(binary ? "malformed binary property list" : "malformed XML property list"));
  Reader reader;
  id value = reader.convert(root, 0);
  if (reader.error) return std::unexpected(reader.error);
  if (format) {
    *format = binary ? NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0
                     : NSPropertyListFormat::NSPropertyListXMLFormat_v1_0;
  }
  return value;
}

NSPropertyListSerialization::DataResult NSPropertyListSerialization::dataWithPropertyList(
    const id& plist, NSPropertyListFormat format, std::uint64_t) {
  auto tree = build(plist, 0);
  if (!tree) return std::unexpected(tree.error());
  char* out = nullptr;
  std::uint32_t length = 0;
  if (format == NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0) {
    plist_to_bin(tree->get(), &out, &length);
  } else {
    plist_to_xml(tree->get(), &out, &length);
  }
  if (!out) return std::unexpected(invalid("the writer failed"));
  auto data = NSData::make(std::vector<std::uint8_t>(out, out + length));
  if (format == NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0) {
    plist_to_bin_free(out);
  } else {
    plist_to_xml_free(out);
  }
  return data;
}

bool NSPropertyListSerialization::propertyListIsValidForFormat(const id& plist, NSPropertyListFormat) {
  return build(plist, 0).has_value();
}
