#pragma once
// A map from text keys to objects that keeps the order in which keys were first set.
// Dictionaries are mutable; NSMutableDictionary names the same class.

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSDictionary : public NSObject {
 public:
  using Entry = std::pair<std::string, id>;
  static std::shared_ptr<NSDictionary> make();
  static std::shared_ptr<NSDictionary> make(std::initializer_list<Entry> entries);

  std::size_t count() const { return entries_.size(); }
  // The object under the key, or empty.
  id objectForKey(std::string_view key) const;
  template <typename T>
  std::shared_ptr<T> objectForKeyAs(std::string_view key) const { return asA<T>(objectForKey(key)); }
  bool containsKey(std::string_view key) const { return find(key) != npos; }
  // Room for this many entries, so that filling a dictionary of known size moves nothing.
  void reserve(std::size_t capacity) { entries_.reserve(capacity); }

  // Setting an empty object removes the key.
  void setObject(id object, std::string_view key);
  void removeObjectForKey(std::string_view key);
  void removeAllObjects();

  std::vector<std::string> allKeys() const;
  const std::vector<Entry>& entries() const { return entries_; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // A new dictionary with the same entries (values are shared).
  std::shared_ptr<NSDictionary> copy() const;

  std::string className() const override { return "NSDictionary"; }
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override { return entries_.size(); }
  std::string description() const override;

 private:
  NSDictionary() = default;
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  // Most dictionaries (JSON objects, archive records) hold a handful of keys: a scan of the
  // entries beats hashing, so the index is only built past this size.
  static constexpr std::size_t indexedFrom = 16;
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };
  std::size_t find(std::string_view key) const;
  void rebuildIndex();

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> index_;
};

using NSMutableDictionary = NSDictionary;
