#include "platform/foundation/NSDictionary.h"

std::shared_ptr<NSDictionary> NSDictionary::make() { return create(); }

std::shared_ptr<NSDictionary> NSDictionary::make(std::initializer_list<Entry> entries) {
  auto dictionary = make();
  for (const auto& [key, value] : entries) dictionary->setObject(value, key);
  return dictionary;
}

id NSDictionary::objectForKey(std::string_view key) const {
  auto it = index_.find(std::string(key));
  return it == index_.end() ? nullptr : entries_[it->second].second;
}

void NSDictionary::setObject(id object, std::string_view key) {
  if (!object) {
    removeObjectForKey(key);
    return;
  }
  std::string k(key);
  auto it = index_.find(k);
  if (it != index_.end()) {
    entries_[it->second].second = std::move(object);
    return;
  }
  index_.emplace(k, entries_.size());
  entries_.emplace_back(std::move(k), std::move(object));
}

void NSDictionary::removeObjectForKey(std::string_view key) {
  auto it = index_.find(std::string(key));
  if (it == index_.end()) return;
  std::size_t position = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  for (auto& [k, i] : index_) {
    if (i > position) --i;
  }
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
