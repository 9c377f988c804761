// The settings menu of the toolbar's more-options button, built anew on every click so that
// it follows the version and the login state. Its items travel the responder chain to the
// panel. Also what the panel leaves behind when the account changes, Log Out or otherwise.

#include <array>

#include "account/QuorbUser.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindowController.h"
#include "app/RootViewController.h"
#include "model/AppConstants.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

namespace {

using Handler = void (RootViewController::*)();

struct MenuCommand {
  std::string_view selector;
  Handler handler;
};

constexpr std::array menuCommands{
    MenuCommand{"checkUpdatesSelected", &RootViewController::checkUpdatesSelected},
    MenuCommand{"preferencesSelected", &RootViewController::preferencesSelected},
    MenuCommand{"downloadZDSelected", &RootViewController::downloadZDSelected},
    MenuCommand{"aboutSelected", &RootViewController::aboutSelected},
    MenuCommand{"privacyAndTermsSelected", &RootViewController::privacyAndTermsSelected},
    MenuCommand{"licensesSelected", &RootViewController::licensesSelected},
    MenuCommand{"logOutSelected", &RootViewController::logOutSelected},
    MenuCommand{"quitSelected", &RootViewController::quitSelected},
};

const MenuCommand* commandFor(std::string_view selector) {
  for (const auto& command : menuCommands) {
    if (command.selector == selector) return &command;
  }
  return nullptr;
}

void openAddress(std::string_view address) {
  if (auto url = NSURL::URLWithString(std::string(address))) NSWorkspace::sharedWorkspace()->openURL(url);
}

}  // namespace

std::shared_ptr<NSMenu> RootViewController::settingsMenu() const {
  auto menu = NSMenu::make();
  auto version = asA<NSString>(NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleShortVersionString"));
  if (version) {
    auto item = NSMenuItem::initWithTitle("Version: " + version->string(), "", "");
    item->setEnabled(false);
    menu->addItem(item);
  }
  menu->addItemWithTitle("Check for Updates", "checkUpdatesSelected", "");
  menu->addItem(NSMenuItem::separatorItem());
  menu->addItemWithTitle("Preferences", "preferencesSelected", "");
  menu->addItem(NSMenuItem::separatorItem());
  menu->addItemWithTitle("Download Zolto for iPhone", "downloadZDSelected", "");
  menu->addItemWithTitle("About Zolto", "aboutSelected", "");
  menu->addItemWithTitle("Privacy and Terms", "privacyAndTermsSelected", "");
  menu->addItemWithTitle("Licenses", "licensesSelected", "");
  menu->addItem(NSMenuItem::separatorItem());
  if (QuorbUser::authToken()) menu->addItemWithTitle("Log Out", "logOutSelected", "");
  menu->addItemWithTitle("Quit Glimdeck", "quitSelected", "");
  menu->addItem(NSMenuItem::separatorItem());
  return menu;
}

void RootViewController::didTapMore(const std::shared_ptr<NSObject>& /*sender*/) {
  settingsMenu()->popUpMenuPositioningItem(nullptr, NSEvent::mouseLocation(), nullptr);
}

bool RootViewController::respondsToCommand(std::string_view selector) const {
  return commandFor(selector) != nullptr || NSViewController::respondsToCommand(selector);
}

void RootViewController::performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) {
  if (auto command = commandFor(selector)) {
    (this->*command->handler)();
    return;
  }
  NSViewController::performCommand(selector, sender);
}

void RootViewController::checkUpdatesSelected() {
  auto delegate = std::dynamic_pointer_cast<AppDelegate>(NSApplication::sharedApplication()->delegate());
  if (!delegate) return;
  if (auto updater = delegate->updater()) updater->checkForUpdates(nullptr);
}

void RootViewController::preferencesSelected() {
  using P = PreferencesWindowController::Constants;
  auto preferences = PreferencesWindowController::make();
  auto window = preferences->window();
  if (!window) return;
  auto panelWindow = view()->window();
  const NSPoint origin = panelWindow ? NSMakePoint(panelWindow->frame().origin.x - P::windowWidth, panelWindow->frame().origin.y)
                                     : NSMakePoint(0, 0);
  window->setFrameOrigin(origin);
  window->setFrame(NSMakeRect(origin.x, origin.y, P::windowWidth, P::windowHeight), true);
  NSApplication::sharedApplication()->runModalForWindow(window);
}

void RootViewController::downloadZDSelected() { openAddress(Constants::downloadAppAddress); }

void RootViewController::aboutSelected() { openAddress(Constants::aboutAddress); }

void RootViewController::privacyAndTermsSelected() { openAddress(legalTermsUrl); }

void RootViewController::licensesSelected() { showLicenses(); }

void RootViewController::logOutSelected() {
  QuorbUser::logout();
  if (state == DisplayState::profile) goHomeFromProfile();
}

void RootViewController::goHomeFromProfile() {
  state = DisplayState::home;
  setDisplayState(DisplayState::home);
}

void RootViewController::leaveFormerAccountsScreens() {
  // Left in the profile with nobody signed in (a refresh the service refused, the terms
  // declined), the panel goes home as Log Out takes it.
  if (state == DisplayState::profile && !QuorbUser::authToken()) goHomeFromProfile();
  // The profile starts again from its first screen, for whoever is signed in next.
  auto profile = profilePacksController();
  profile->reset();
  if (state == DisplayState::profile) profile->loadContentForState(profile->state);
}

void RootViewController::quitSelected() { NSApplication::sharedApplication()->terminate(self()); }
