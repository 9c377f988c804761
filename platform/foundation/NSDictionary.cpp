#include "platform/foundation/NSDictionary.h"

std::shared_ptr<NSDictionary> NSDictionary::make() { return std::shared_ptr<NSDictionary>(new NSDictionary()); }

std::shared_ptr<NSDictionary> NSDictionary::make(std::initializer_list<Entry> entries) {
  auto dictionary = make();
  for (const auto& [key, value] : entries) dictionary->setObject(value, key);
  return dictionary;
}

std::size_t NSDictionary::find(std::string_view key) const {
  if (index_.empty()) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].first == key) return i;
    }
    return npos;
  }
  auto it = index_.find(key);
  return it == index_.end() ? npos : it->second;
}

void NSDictionary::rebuildIndex() {
  index_.clear();
  if (entries_.size() < indexedFrom) return;
  index_.reserve(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
}

id NSDictionary::objectForKey(std::string_view key) const {
  auto position = find(key);
  return position == npos ? nullptr : entries_[position].second;
}

void NSDictionary::setObject(id object, std::string_view key) {
  if (!object) {
    removeObjectForKey(key);
    return;
  }
  if (auto position = find(key); position != npos) {
    entries_[position].second = std::move(object);
    return;
  }
  entries_.emplace_back(std::string(key), std::move(object));
  if (!index_.empty()) {
    index_.emplace(entries_.back().first, entries_.size() - 1);
  } else if (entries_.size() >= indexedFrom) {
    rebuildIndex();
  }
}

void NSDictionary::removeObjectForKey(std::string_view key) {
  auto position = find(key);
  if (position == npos) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  if (!index_.empty()) rebuildIndex();
}

void NSDictionary::removeAllObjects() {
  entries_.clear();
  index_.clear();
}

std::vector<std::string> NSDictionary::allKeys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& entry : entries_) keys.push_back(entry.first);
  return keys;
}

std::shared_ptr<NSDictionary> NSDictionary::copy() const {
  auto dictionary = make();
  dictionary->entries_ = entries_;
  dictionary->index_ = index_;
  return dictionary;
}

bool NSDictionary::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto dictionary = asA<NSDictionary>(other);
  if (!dictionary || dictionary->count() != count()) return false;
  for (const auto& [key, value] : entries_) {
    if (!objectsEqual(value, dictionary->objectForKey(key))) return false;
  }
  return true;
}

std::string NSDictionary::description() const {
  std::string out = "{";
  for (const auto& [key, value] : entries_) {
    out += "\n    " + key + " = " + (value ? value->description() : "(null)") + ";";
  }
  return out + (entries_.empty() ? "}" : "\n}");
}
