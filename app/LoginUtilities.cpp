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

// The application's items, in list order: its entry and the numbered ones earlier versions
// wrote beside it (turned off, naming a program that is gone or another program included),
// and any other that starts this program.
std::vector<std::shared_ptr<LoginItem>> applicationItems(const LoginItemsList& list) {
  const auto location = applicationLocation();
  std::vector<std::shared_ptr<LoginItem>> items;
  for (const auto& item : list.snapshot()) {
    if (list.isApplicationEntry(*item) || item->resolve() == location) items.push_back(item);
  }
  return items;
}

// Whether the item starts the application at login: this very program, or another copy of it,
// which goes by the name the build and the install give the program, the one its entry is
// named after ("glimdeck"). An entry under the application's name that starts anything else,
// or nothing, is somebody else's or stale, and launch at login is off.
bool startsApplication(const LoginItemsList& list, const LoginItem& item) {
  const auto program = item.resolve();
  if (!program) return false;
  return *program == applicationLocation() || program->filename() == list.applicationEntryPath().stem();
}
}  // namespace

bool LoginUtilities::isLaunchAtStartup() { return itemRefInLoginItems() != nullptr; }

void LoginUtilities::toggleLaunchAtStartup() {
  bool present = isLaunchAtStartup();
  auto list = LoginItemsList::sessionLoginItems();
  if (!list) return;
  // One entry at most is left: none once the box is cleared, else the one that starts the
  // running program. Another copy's entry is this application's too: a second one beside it
  // would start the application twice.
  std::shared_ptr<LoginItem> written;
  if (!present) {
    // A list that cannot take the item leaves the application out of it, silently: the
    // preferences' check box reads the list again and shows the truth.
    auto item = list->insertItemURL(applicationLocation());
    if (!item) return;
    written = *item;
  }
  for (const auto& item : applicationItems(*list)) {
    if (!written || item->entryPath() != written->entryPath()) list->removeItem(item);
  }
}

std::shared_ptr<LoginItem> LoginUtilities::itemRefInLoginItems() {
  auto list = LoginItemsList::sessionLoginItems();
  if (!list) return nullptr;
  for (const auto& item : applicationItems(*list)) {
    if (startsApplication(*list, *item)) return item;
  }
  return nullptr;
}

bool LoginUtilities::initialAutoLaunchHasBeenSet() {
  return NSUserDefaults::standardUserDefaults()->boolForKey(Constants::autoLaunchSetKey);
}

void LoginUtilities::setInitialAutoLaunch(bool value) {
  NSUserDefaults::standardUserDefaults()->setBool(value, Constants::autoLaunchSetKey);
}
