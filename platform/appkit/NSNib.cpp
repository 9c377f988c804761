#include "platform/appkit/NSNib.h"

#include <algorithm>
#include <exception>
#include <map>
#include <mutex>

#include "platform/appkit/NSView.h"
#include "platform/foundation/OutputSink.h"

namespace {
struct Registry {
  std::mutex mutex;
  std::map<std::string, NSNib::Builder, std::less<>> builders;
};
Registry& registry() {
  static Registry r;
  return r;
}

void awakeTree(const std::shared_ptr<NSView>& view, std::vector<NSResponder*>& seen) {
  seen.push_back(view.get());
  view->awakeFromNib();
  auto children = view->subviews();
  for (auto& sub : children) awakeTree(sub, seen);
}
}  // namespace

void NSNib::registerBuilder(std::string name, Builder builder) {
  std::lock_guard lock(registry().mutex);
  registry().builders[std::move(name)] = std::move(builder);
}

bool NSNib::hasBuilder(std::string_view name) {
  std::lock_guard lock(registry().mutex);
  return registry().builders.find(name) != registry().builders.end();
}

void NSNib::unregisterBuilder(std::string_view name) {
  std::lock_guard lock(registry().mutex);
  if (auto it = registry().builders.find(name); it != registry().builders.end()) registry().builders.erase(it);
}

std::shared_ptr<NSNib> NSNib::initWithNibNamed(std::string_view name) {
  std::lock_guard lock(registry().mutex);
  auto it = registry().builders.find(name);
  if (it == registry().builders.end()) return nullptr;
  auto nib = std::shared_ptr<NSNib>(new NSNib());
  nib->name_ = std::string(name);
  nib->builder_ = it->second;
  return nib;
}

bool NSNib::instantiateWithOwner(const std::shared_ptr<NSObject>& owner,
                                 std::vector<std::shared_ptr<NSObject>>* topLevelObjects) {
  std::vector<std::shared_ptr<NSObject>> objects;
  try {
    objects = builder_(owner);
  } catch (const std::exception& error) {
    OutputSink::print("Could not load the interface \"" + name_ + "\": " + error.what());
    return false;
  }
  // Every object the builder made hears awakeFromNib once its outlets are set: the views
  // of each top-level tree, other top-level responders, then the owner.
  std::vector<NSResponder*> seen;
  for (auto& object : objects) {
    if (auto view = asA<NSView>(object)) {
      awakeTree(view, seen);
    } else if (auto responder = asA<NSResponder>(object);
               responder && responder != owner && std::ranges::find(seen, responder.get()) == seen.end()) {
      seen.push_back(responder.get());
      responder->awakeFromNib();
    }
  }
  if (auto responder = asA<NSResponder>(owner); responder && std::ranges::find(seen, responder.get()) == seen.end()) {
    responder->awakeFromNib();
  }
  if (topLevelObjects) *topLevelObjects = std::move(objects);
  return true;
}
