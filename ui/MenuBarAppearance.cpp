#include "ui/MenuBarAppearance.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/appkit/NSAppearance.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"

bool isDarkMenuBar() {
  const auto look = NSAppearance::effectiveAppearance()->bestMatchFromAppearancesWithNames(
      {NSAppearanceNameAqua, NSAppearanceNameDarkAqua});
  if (look == NSAppearanceNameDarkAqua) return true;
  auto style = NSUserDefaults::standardUserDefaults()->stringForKey("AppleInterfaceStyle");
  if (!style) return false;
  std::string text = style->string();
  if (text.size() != 4) return false;
  return std::equal(text.begin(), text.end(), "dark",
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}
