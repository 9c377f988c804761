#pragma once
// Entries found by key, the most recently used first, for the caches that let the least
// recently used go: a list in the order of use and an index of the keys' hashes into it.
// Not synchronised: a cache shared between threads holds its own lock around it.

#include <cstddef>
#include <functional>
#include <iterator>
#include <list>
#include <unordered_map>
#include <utility>

template <typename Key, typename Value, typename Hash = std::hash<Key>>
class RecentlyUsed {
 public:
  struct Entry {
    Key key;
    Value value;
  };

  // The key's entry, which becomes the most recently used; null when there is none.
  Entry* find(const Key& key) {
    auto [first, last] = index_.equal_range(Hash{}(key));
    for (auto at = first; at != last; ++at) {
      if (at->second->entry.key == key) {
        entries_.splice(entries_.begin(), entries_, at->second);
        return &at->second->entry;
      }
    }
    return nullptr;
  }

  // Keeps a new entry as the most recently used.
  Entry& add(Key key, Value value) {
    const std::size_t hash = Hash{}(key);
    entries_.push_front({{std::move(key), std::move(value)}, hash});
    index_.emplace(hash, entries_.begin());
    return entries_.front().entry;
  }

  // The most recently used entry, then the least.
  Entry& newest() { return entries_.front().entry; }
  Entry& oldest() { return entries_.back().entry; }
  // Lets the least recently used entry go.
  void dropOldest() {
    auto last = std::prev(entries_.end());
    auto [first, end] = index_.equal_range(last->hash);
    for (auto at = first; at != end; ++at) {
      if (at->second == last) {
        index_.erase(at);
        break;
      }
    }
    entries_.pop_back();
  }
  // Lets the most recently used entry go (the one `find` has just answered).
  void dropNewest() {
    entries_.splice(entries_.end(), entries_, entries_.begin());
    dropOldest();
  }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  template <typename Visit>
  void forEach(Visit visit) const {
    for (const auto& node : entries_) visit(node.entry);
  }

 private:
  struct Node {
    Entry entry;
    std::size_t hash;
  };
  std::list<Node> entries_;
  std::unordered_multimap<std::size_t, typename std::list<Node>::iterator> index_;
};
