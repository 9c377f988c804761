#include "app/LoginUtilities.h"

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {
// The application's own location, as the login items resolve theirs.
std::filesystem::path applicationLocation() {
  auto program = NSBundle::mainBundle()->executablePath();
  std::error_code error;
  auto canonical = std::filesystem::weakly_canonical(program, error);
  return error ? program : canonical;
}
}  // namespace

bool LoginUtilities::isLaunchAtStartup() { return itemRefInLoginItems() != nullptr; }

void LoginUtilities::toggleLaunchAtStartup() {
  bool present = isLaunchAtStartup();
  auto list = LoginItemsList::sessionLoginItems();
  if (!list) return;
  if (present) {
    list->removeItem(itemRefInLoginItems());
  } else {
    // A list that cannot take the item leaves the application out of it, silently: the
    // preferences' check box reads the list again and shows the truth.
    (void)list->insertItemURL(applicationLocation());
  }
}

std::shared_ptr<LoginItem> LoginUtilities::itemRefInLoginItems() {
  auto list = LoginItemsList::sessionLoginItems();
  if (!list) return nullptr;
  auto location = applicationLocation();
  for (const auto& item : list->snapshot()) {
    if (auto resolved = item->resolve(); resolved && *resolved == location) return item;
  }
  return nullptr;
}

bool LoginUtilities::initialAutoLaunchHasBeenSet() {
  return NSUserDefaults::standardUserDefaults()->boolForKey(Constants::autoLaunchSetKey);
}

void LoginUtilities::setInitialAutoLaunch(bool value) {
  NSUserDefaults::standardUserDefaults()->setBool(value, Constants::autoLaunchSetKey);
}
