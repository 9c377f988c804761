#pragma once
// Interface files. Each named interface is a builder function registered under the name:
// given the owner (a view controller, window controller or any object), it makes the view
// tree (and any other objects), connects the owner's outlets and answers the top-level
// objects. Loading runs the builder and then awakeFromNib on every view it made and on the
// owner, once the outlets are set.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSNib : public NSObject {
 public:
  using Builder = std::function<std::vector<std::shared_ptr<NSObject>>(const std::shared_ptr<NSObject>& owner)>;

  // Registers (or replaces) the builder of an interface name.
  static void registerBuilder(std::string name, Builder builder);
  static bool hasBuilder(std::string_view name);
  static void unregisterBuilder(std::string_view name);

  // Empty when no builder is registered under the name.
  static std::shared_ptr<NSNib> initWithNibNamed(std::string_view name);

  const std::string& name() const { return name_; }
  // Builds the contents for the owner; false (and nothing built) when the builder threw.
  bool instantiateWithOwner(const std::shared_ptr<NSObject>& owner,
                            std::vector<std::shared_ptr<NSObject>>* topLevelObjects);

  GLIMDECK_OBJECT(NSNib)

 private:
  NSNib() = default;
  std::string name_;
  Builder builder_;
};
