#pragma once
// A number kept by each node of a tree (a layer, a view) that changes whenever something
// its picture depends on changes in the node or anywhere below it, and that no node ever
// had before: a walk that remembers the number of a subtree it met passes that subtree by
// while the number stays the same. A node tells the one above it (a sublayer its
// superlayer, a mask the layer it masks, a backing layer its view, a view its superview).

#include <cstdint>

class TreeChange {
 public:
  TreeChange() : number_(next()) {}
  TreeChange(const TreeChange&) = delete;
  TreeChange& operator=(const TreeChange&) = delete;

  std::uint64_t number() const { return number_; }
  // A new number here and in every node above.
  void note();
  // The node told of this one's changes (none: the top of a tree). Owners keep it: a node
  // going away, or letting go of one below, clears what points at it.
  TreeChange* above() const { return above_; }
  void setAbove(TreeChange* above) { above_ = above != this ? above : nullptr; }
  // Clears the link when it points at `owner` (an owner letting go of this node).
  void leave(const TreeChange* owner) {
    if (above_ == owner) above_ = nullptr;
  }

 private:
  static std::uint64_t next();
  TreeChange* above_ = nullptr;
  std::uint64_t number_;
};
