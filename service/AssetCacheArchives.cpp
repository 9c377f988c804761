#include "service/AssetCacheArchives.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// A binary property list ("bplist00") built object by object: each object is kept until the
// end, when the number of objects fixes the width of references to them. The references of
// the arrays and dictionaries are kept together in one list, each object naming its stretch.
class BinaryPlistWriter {
 public:
  using Ref = std::uint32_t;

  // Room for about this many objects and references, so that the lists are not regrown.
  void reserve(std::size_t objects, std::size_t references) {
    objects_.reserve(objects);
    references_.reserve(references);
  }
  // Texts of ASCII only; the caller checks.
  Ref text(std::string_view value) { return add({Kind::text, 0, 0, value}); }
  // A text written once however often it is used: the names of fields and classes.
  Ref name(std::string_view value) {
    auto [entry, added] = names_.try_emplace(value, 0);
    if (added) entry->second = text(value);
    return entry->second;
  }
  Ref integer(std::uint64_t value) { return add({Kind::integer, 0, value}); }
  // Each value written once; the archive's references are small, dense numbers.
  Ref uid(std::uint64_t value) {
    if (value >= uids_.size()) uids_.resize(value + 1, kNone);
    if (uids_[value] == kNone) uids_[value] = add({Kind::uid, 0, value});
    return uids_[value];
  }
  Ref array(const std::vector<Ref>& items) {
    const auto first = references_.size();
    references_.insert(references_.end(), items.begin(), items.end());
    return add({Kind::array, static_cast<std::uint32_t>(items.size()), first});
  }
  Ref dictionary(std::initializer_list<std::pair<Ref, Ref>> entries) { return add(dictionaryObject(entries)); }
  Ref dictionary(const std::vector<std::pair<Ref, Ref>>& entries) { return add(dictionaryObject(entries)); }
  // An object whose contents are given later (fill): a record referred to before it is made.
  Ref reserve() { return add({Kind::dictionary}); }
  void fill(Ref at, const std::vector<std::pair<Ref, Ref>>& entries) { objects_[at] = dictionaryObject(entries); }

  // The document: each object's bytes at the offset its predecessors' sizes give, written
  // into one buffer of the exact size.
  std::string finish(Ref top) {
    refSize_ = objects_.size() <= 0xFF ? 1 : objects_.size() <= 0xFFFF ? 2 : 4;
    constexpr std::string_view header = "bplist00";
    std::vector<std::uint64_t> offsets;
    offsets.reserve(objects_.size());
    std::uint64_t at = header.size();
    for (const auto& object : objects_) {
      offsets.push_back(at);
      at += sizeOf(object);
    }
    const std::uint64_t tableOffset = at;
    const int offsetSize = tableOffset <= 0xFF ? 1 : tableOffset <= 0xFFFF ? 2 : tableOffset <= 0xFFFFFFFF ? 4 : 8;
    std::string out(tableOffset + objects_.size() * static_cast<std::size_t>(offsetSize) + 32, '\0');
    char* cursor = out.data();
    std::memcpy(cursor, header.data(), header.size());
    cursor += header.size();
    for (const auto& object : objects_) cursor = write(cursor, object);
    for (auto offset : offsets) cursor = bigEndian(cursor, offset, offsetSize);
    cursor += 6;
    *cursor++ = static_cast<char>(offsetSize);
    *cursor++ = static_cast<char>(refSize_);
    cursor = bigEndian(cursor, objects_.size(), 8);
    cursor = bigEndian(cursor, top, 8);
    bigEndian(cursor, tableOffset, 8);
    return out;
  }

 private:
  enum class Kind : std::uint8_t { text, integer, uid, array, dictionary };
  struct Object {
    Kind kind;
    std::uint32_t count = 0;   // an array's items, a dictionary's entries
    std::uint64_t number = 0;  // an integer's or UID's value; where a container's references start
    std::string_view text = {};
  };

  // A dictionary's keys, then its values.
  template <typename Entries>
  Object dictionaryObject(const Entries& entries) {
    const auto first = references_.size();
    for (const auto& [key, value] : entries) references_.push_back(key);
    for (const auto& [key, value] : entries) references_.push_back(value);
    return {Kind::dictionary, static_cast<std::uint32_t>(entries.size()), first};
  }

  Ref add(Object object) {
    objects_.push_back(object);
    return static_cast<Ref>(objects_.size() - 1);
  }

  static char* bigEndian(char* out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
  }
  // The smallest integer object that holds the value: its power of two of 1, 2, 4 or 8 bytes.
  static int integerPower(std::uint64_t value) {
    return value <= 0xFF ? 0 : value <= 0xFFFF ? 1 : value <= 0xFFFFFFFF ? 2 : 3;
  }
  static char* writeInteger(char* out, std::uint64_t value) {
    const int power = integerPower(value);
    *out++ = static_cast<char>(0x10 | power);
    return bigEndian(out, value, 1 << power);
  }
  static std::size_t integerSize(std::uint64_t value) { return 1 + (std::size_t{1} << integerPower(value)); }
  // A marker's kind with its count: in the low four bits, or after them as an integer.
  static char* marker(char* out, unsigned kind, std::size_t count) {
    if (count < 15) {
      *out++ = static_cast<char>(kind | count);
      return out;
    }
    *out++ = static_cast<char>(kind | 0x0F);
    return writeInteger(out, count);
  }
  static std::size_t markerSize(std::size_t count) { return count < 15 ? 1 : 1 + integerSize(count); }
  static int uidBytes(std::uint64_t value) {
    return value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : value <= 0xFFFFFFFF ? 4 : 8;
  }

  std::size_t sizeOf(const Object& object) const {
    switch (object.kind) {
      case Kind::text: return markerSize(object.text.size()) + object.text.size();
      case Kind::integer: return integerSize(object.number);
      case Kind::uid: return 1 + static_cast<std::size_t>(uidBytes(object.number));
      case Kind::array: return markerSize(object.count) + object.count * static_cast<std::size_t>(refSize_);
      case Kind::dictionary: return markerSize(object.count) + 2 * object.count * static_cast<std::size_t>(refSize_);
    }
    return 0;
  }

  char* references(char* out, std::uint64_t first, std::size_t count) const {
    for (std::size_t i = 0; i < count; ++i) out = bigEndian(out, references_[first + i], refSize_);
    return out;
  }

  char* write(char* out, const Object& object) const {
    switch (object.kind) {
      case Kind::text:
        out = marker(out, 0x50, object.text.size());
        std::memcpy(out, object.text.data(), object.text.size());
        return out + object.text.size();
      case Kind::integer:
        return writeInteger(out, object.number);
      case Kind::uid: {
        const int bytes = uidBytes(object.number);
        *out++ = static_cast<char>(0x80 | (bytes - 1));
        return bigEndian(out, object.number, bytes);
      }
      case Kind::array:
        out = marker(out, 0xA0, object.count);
        return references(out, object.number, object.count);
      case Kind::dictionary:
        out = marker(out, 0xD0, object.count);
        return references(out, object.number, 2 * std::size_t{object.count});
    }
    return out;
  }

  static constexpr Ref kNone = ~Ref{0};

  std::vector<Object> objects_;
  std::vector<Ref> references_;
  std::unordered_map<std::string_view, Ref> names_;
  std::vector<Ref> uids_;
  int refSize_ = 1;
};

bool isASCII(std::string_view text) {
  // Eight bytes at a time: no byte of a word has its top bit set.
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (word & 0x8080808080808080ull) return false;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// The keyed-archive layout: the archive's objects ("$null" first, the root second), each
// referred to by its place among them; records name their class by a shared class record.
class KeyedArchive {
 public:
  // Room for about this many objects and references.
  KeyedArchive(std::size_t objects, std::size_t references) {
    plist_.reserve(objects + 32, references + 32);
    objects_.reserve(objects + 8);
    place(plist_.name("$null"));
    root_ = plist_.reserve();
    place(root_);
  }
  BinaryPlistWriter& plist() { return plist_; }
  // The archive's entry for a text. Not shared with an equal text elsewhere in the archive,
  // as the keyed archiver would: the cache's keys are distinct, and a repeated text reads back
  // the same, so looking every text up is not worth its cost.
  std::uint64_t text(std::string_view value) { return place(plist_.text(value)); }
  std::uint64_t record(std::initializer_list<std::pair<std::string_view, std::uint64_t>> fields,
                       std::string_view className) {
    const std::uint64_t classUID = classReference(className);
    entries_.clear();
    for (const auto& [key, uid] : fields) entries_.emplace_back(plist_.name(key), plist_.uid(uid));
    entries_.emplace_back(plist_.name("$class"), plist_.uid(classUID));
    return place(plist_.dictionary(entries_));
  }
  std::string finish(std::vector<std::pair<std::string_view, BinaryPlistWriter::Ref>> rootFields,
                     std::string_view className) {
    rootFields.emplace_back("$class", plist_.uid(classReference(className)));
    std::vector<std::pair<BinaryPlistWriter::Ref, BinaryPlistWriter::Ref>> entries;
    for (const auto& [key, value] : rootFields) entries.emplace_back(plist_.name(key), value);
    plist_.fill(root_, entries);
    const auto objects = plist_.array(objects_);
    const auto top = plist_.dictionary({{plist_.name("root"), plist_.uid(1)}});
    const auto document = plist_.dictionary({{plist_.name("$version"), plist_.integer(100000)},
                                             {plist_.name("$archiver"), plist_.name("NSKeyedArchiver")},
                                             {plist_.name("$top"), top},
                                             {plist_.name("$objects"), objects}});
    return plist_.finish(document);
  }

 private:
  std::uint64_t place(BinaryPlistWriter::Ref ref) {
    objects_.push_back(ref);
    return objects_.size() - 1;
  }
  std::uint64_t classReference(std::string_view name) {
    auto [entry, added] = classes_.try_emplace(name, 0);
    if (added) {
      const auto classes = plist_.array({plist_.name(name), plist_.name("NSObject")});
      entry->second = place(plist_.dictionary({{plist_.name("$classname"), plist_.name(name)},
                                               {plist_.name("$classes"), classes}}));
    }
    return entry->second;
  }

  BinaryPlistWriter plist_;
  std::vector<BinaryPlistWriter::Ref> objects_;
  std::vector<std::pair<BinaryPlistWriter::Ref, BinaryPlistWriter::Ref>> entries_;  // a record's, reused
  BinaryPlistWriter::Ref root_ = 0;
  std::unordered_map<std::string_view, std::uint64_t> classes_;
};

}  // namespace

std::optional<std::string> AssetCacheArchives::archivedMapping(const Mapping& mapping) {
  for (const auto& [key, url] : mapping) {
    if (!url || url->baseURL() || !isASCII(key) || !isASCII(url->relativeString())) return std::nullopt;
  }
  KeyedArchive archive(mapping.size() * 6, mapping.size() * 5);
  auto& plist = archive.plist();
  std::vector<BinaryPlistWriter::Ref> keys, values;
  keys.reserve(mapping.size());
  values.reserve(mapping.size());
  for (const auto& [key, url] : mapping) keys.push_back(plist.uid(archive.text(key)));
  for (const auto& [key, url] : mapping) {
    const auto relative = archive.text(url->relativeString());
    values.push_back(plist.uid(archive.record({{"NS.base", 0}, {"NS.relative", relative}}, "NSURL")));
  }
  const auto keysRef = plist.array(std::move(keys));
  const auto valuesRef = plist.array(std::move(values));
  return archive.finish({{"NS.keys", keysRef}, {"NS.objects", valuesRef}}, "NSDictionary");
}

std::optional<std::string> AssetCacheArchives::archivedOrder(const std::vector<std::string>& order) {
  if (!std::all_of(order.begin(), order.end(), [](const std::string& key) { return isASCII(key); })) {
    return std::nullopt;
  }
  KeyedArchive archive(order.size() * 2, order.size());
  auto& plist = archive.plist();
  std::vector<BinaryPlistWriter::Ref> items;
  items.reserve(order.size());
  for (const auto& key : order) items.push_back(plist.uid(archive.text(key)));
  const auto itemsRef = plist.array(std::move(items));
  return archive.finish({{"NS.objects", itemsRef}}, "NSArray");
}
