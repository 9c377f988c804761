#pragma once
// A named look of the interface, and the look the desktop asks applications for. The kit
// draws one (light) look; the name is kept so that what a window or popover asked for can
// be read back, and the desktop's preference (light or dark, which a desktop host reads
// from the desktop and follows) tells the application which of its pictures to show.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

inline constexpr std::string_view NSAppearanceNameAqua = "NSAppearanceNameAqua";
inline constexpr std::string_view NSAppearanceNameDarkAqua = "NSAppearanceNameDarkAqua";

class NSAppearance : public NSObject {
 public:
  struct Constants {
    // Posted, with no object, when the desktop's look changes between light and dark.
    static constexpr std::string_view interfaceThemeChangedNotification = "AppleInterfaceThemeChangedNotification";
  };

  static std::shared_ptr<NSAppearance> appearanceNamed(std::string_view name) { return create(std::string(name)); }
  const std::string& name() const { return name_; }
  // Of the names offered, the one closest to this look (a dark look prefers a dark name, any
  // other look the first light one); empty when none fits.
  std::string bestMatchFromAppearancesWithNames(const std::vector<std::string_view>& names) const;
  bool isDark() const { return name_ == NSAppearanceNameDarkAqua; }

  // The look the desktop asks for: light unless a desktop host says the user prefers dark.
  static std::shared_ptr<NSAppearance> effectiveAppearance();
  // A desktop host tells the kit of the desktop's look (main thread); a change of look is
  // posted as interfaceThemeChangedNotification. Empty goes back to the light look.
  static void setEffectiveAppearance(const std::shared_ptr<NSAppearance>& appearance);

  GLIMDECK_OBJECT(NSAppearance)

 private:
  explicit NSAppearance(std::string name) : name_(std::move(name)) {}
  std::string name_;
};
