#include "platform/appkit/NSAppearance.h"

#include <algorithm>

#include "platform/foundation/NSNotificationCenter.h"

namespace {
std::shared_ptr<NSAppearance>& desktopAppearance() {
  static std::shared_ptr<NSAppearance> appearance;
  return appearance;
}
}  // namespace

std::string NSAppearance::bestMatchFromAppearancesWithNames(const std::vector<std::string_view>& names) const {
  const std::string_view wanted = isDark() ? NSAppearanceNameDarkAqua : NSAppearanceNameAqua;
  if (std::ranges::find(names, wanted) != names.end()) return std::string(wanted);
  // A dark look takes a light name rather than none; a light one never takes a dark name.
  if (isDark() && std::ranges::find(names, NSAppearanceNameAqua) != names.end()) return std::string(NSAppearanceNameAqua);
  return {};
}

std::shared_ptr<NSAppearance> NSAppearance::effectiveAppearance() {
  auto& appearance = desktopAppearance();
  return appearance ? appearance : appearanceNamed(NSAppearanceNameAqua);
}

void NSAppearance::setEffectiveAppearance(const std::shared_ptr<NSAppearance>& appearance) {
  const bool wasDark = effectiveAppearance()->isDark();
  desktopAppearance() = appearance;
  if (effectiveAppearance()->isDark() != wasDark) {
    NSNotificationCenter::defaultCenter()->postNotificationName(std::string(Constants::interfaceThemeChangedNotification),
                                                                nullptr);
  }
}
