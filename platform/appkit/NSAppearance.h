#pragma once
// A named look of the interface. The kit draws one (light) look; the name is kept so that
// what a window or popover asked for can be read back.

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

inline constexpr std::string_view NSAppearanceNameAqua = "NSAppearanceNameAqua";
inline constexpr std::string_view NSAppearanceNameDarkAqua = "NSAppearanceNameDarkAqua";

class NSAppearance : public NSObject {
 public:
  static std::shared_ptr<NSAppearance> appearanceNamed(std::string_view name) { return create(std::string(name)); }
  const std::string& name() const { return name_; }
  GLIMDECK_OBJECT(NSAppearance)

 private:
  explicit NSAppearance(std::string name) : name_(std::move(name)) {}
  std::string name_;
};
