#include "service/AssetCacheArchives.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {

// A binary property list ("bplist00") built object by object: each object is kept until the
// end, when the number of objects fixes the width of references to them.
class BinaryPlistWriter {
 public:
  using Ref = std::uint32_t;

  // Texts of ASCII only; the caller checks.
  Ref text(std::string_view value) { return add({Kind::text, value}); }
  // A text written once however often it is used: the names of fields and classes.
  Ref name(std::string_view value) {
    auto [entry, added] = names_.try_emplace(value, 0);
    if (added) entry->second = text(value);
    return entry->second;
  }
  Ref integer(std::uint64_t value) { return add({Kind::integer, {}, value}); }
  // Each value written once; the archive's references are small, dense numbers.
  Ref uid(std::uint64_t value) {
    if (value >= uids_.size()) uids_.resize(value + 1, kNone);
    if (uids_[value] == kNone) uids_[value] = add({Kind::uid, {}, value});
    return uids_[value];
  }
  Ref array(std::vector<Ref> items) { return add({Kind::array, {}, 0, std::move(items)}); }
  Ref dictionary(std::vector<std::pair<Ref, Ref>> entries) {
    return add({Kind::dictionary, {}, 0, {}, std::move(entries)});
  }
  // An object whose contents are given later (fill): a record referred to before it is made.
  Ref reserve() { return add({Kind::dictionary}); }
  void fill(Ref at, std::vector<std::pair<Ref, Ref>> entries) { objects_[at].entries = std::move(entries); }

  std::string finish(Ref top) {
    refSize_ = objects_.size() <= 0xFF ? 1 : objects_.size() <= 0xFFFF ? 2 : 4;
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    offsets.reserve(objects_.size());
    for (const auto& object : objects_) {
      offsets.push_back(out.size());
      write(out, object);
    }
    const std::uint64_t tableOffset = out.size();
    const int offsetSize = tableOffset <= 0xFF ? 1 : tableOffset <= 0xFFFF ? 2 : tableOffset <= 0xFFFFFFFF ? 4 : 8;
    for (auto offset : offsets) bigEndian(out, offset, offsetSize);
    out.append(6, '\0');
    out.push_back(static_cast<char>(offsetSize));
    out.push_back(static_cast<char>(refSize_));
    bigEndian(out, objects_.size(), 8);
    bigEndian(out, top, 8);
    bigEndian(out, tableOffset, 8);
    return out;
  }

 private:
  enum class Kind { text, integer, uid, array, dictionary };
  struct Object {
    Kind kind;
    std::string_view text;
    std::uint64_t number = 0;
    std::vector<Ref> items;
    std::vector<std::pair<Ref, Ref>> entries;
  };

  Ref add(Object object) {
    objects_.push_back(std::move(object));
    return static_cast<Ref>(objects_.size() - 1);
  }

  static void bigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
  // The smallest integer object that holds the value (1, 2, 4 or 8 bytes).
  static void writeInteger(std::string& out, std::uint64_t value) {
    const int power = value <= 0xFF ? 0 : value <= 0xFFFF ? 1 : value <= 0xFFFFFFFF ? 2 : 3;
    out.push_back(static_cast<char>(0x10 | power));
    bigEndian(out, value, 1 << power);
  }
  // A marker's kind with its count: in the low four bits, or after them as an integer.
  static void marker(std::string& out, unsigned kind, std::size_t count) {
    if (count < 15) {
      out.push_back(static_cast<char>(kind | count));
      return;
    }
    out.push_back(static_cast<char>(kind | 0x0F));
    writeInteger(out, count);
  }
  void reference(std::string& out, Ref ref) const { bigEndian(out, ref, refSize_); }

  void write(std::string& out, const Object& object) const {
    switch (object.kind) {
      case Kind::text:
        marker(out, 0x50, object.text.size());
        out.append(object.text);
        return;
      case Kind::integer:
        writeInteger(out, object.number);
        return;
      case Kind::uid: {
        const std::uint64_t value = object.number;
        const int bytes = value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : value <= 0xFFFFFFFF ? 4 : 8;
        out.push_back(static_cast<char>(0x80 | (bytes - 1)));
        bigEndian(out, value, bytes);
        return;
      }
      case Kind::array:
        marker(out, 0xA0, object.items.size());
        for (auto item : object.items) reference(out, item);
        return;
      case Kind::dictionary:
        marker(out, 0xD0, object.entries.size());
        for (const auto& [key, value] : object.entries) reference(out, key);
        for (const auto& [key, value] : object.entries) reference(out, value);
        return;
    }
  }

  static constexpr Ref kNone = ~Ref{0};

  std::vector<Object> objects_;
  std::unordered_map<std::string_view, Ref> names_;
  std::vector<Ref> uids_;
  int refSize_ = 1;
};

bool isASCII(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The keyed-archive layout: the archive's objects ("$null" first, the root second), each
// referred to by its place among them; records name their class by a shared class record.
class KeyedArchive {
 public:
  KeyedArchive() {
    place(plist_.name("$null"));
    root_ = plist_.reserve();
    place(root_);
  }
  BinaryPlistWriter& plist() { return plist_; }
  // The archive's entry for a text; equal texts share one, as the keyed archiver keeps them.
  std::uint64_t text(std::string_view value) {
    auto [entry, added] = texts_.try_emplace(value, 0);
    if (added) entry->second = place(plist_.text(value));
    return entry->second;
  }
  std::uint64_t record(std::vector<std::pair<std::string_view, std::uint64_t>> fields, std::string_view className) {
    const std::uint64_t classUID = classReference(className);
    std::vector<std::pair<BinaryPlistWriter::Ref, BinaryPlistWriter::Ref>> entries;
    for (const auto& [key, uid] : fields) entries.emplace_back(plist_.name(key), plist_.uid(uid));
    entries.emplace_back(plist_.name("$class"), plist_.uid(classUID));
    return place(plist_.dictionary(std::move(entries)));
  }
  std::string finish(std::vector<std::pair<std::string_view, BinaryPlistWriter::Ref>> rootFields,
                     std::string_view className) {
    rootFields.emplace_back("$class", plist_.uid(classReference(className)));
    std::vector<std::pair<BinaryPlistWriter::Ref, BinaryPlistWriter::Ref>> entries;
    for (const auto& [key, value] : rootFields) entries.emplace_back(plist_.name(key), value);
    plist_.fill(root_, std::move(entries));
    const auto objects = plist_.array(std::move(objects_));
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
  BinaryPlistWriter::Ref root_ = 0;
  std::unordered_map<std::string_view, std::uint64_t> texts_;
  std::unordered_map<std::string_view, std::uint64_t> classes_;
};

}  // namespace

std::optional<std::string> AssetCacheArchives::archivedMapping(const Mapping& mapping) {
  for (const auto& [key, url] : mapping) {
    if (!url || url->baseURL() || !isASCII(key) || !isASCII(url->relativeString())) return std::nullopt;
  }
  KeyedArchive archive;
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
  KeyedArchive archive;
  auto& plist = archive.plist();
  std::vector<BinaryPlistWriter::Ref> items;
  items.reserve(order.size());
  for (const auto& key : order) items.push_back(plist.uid(archive.text(key)));
  const auto itemsRef = plist.array(std::move(items));
  return archive.finish({{"NS.objects", itemsRef}}, "NSArray");
}
