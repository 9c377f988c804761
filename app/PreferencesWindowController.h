#pragma once
// The preferences window: the recorder of the global shortcut and the launch-at-login
// check box, which reads the session's login items when the window loads, whenever it comes
// forward and after each click.

#include <memory>

#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/services/MASShortcutView.h"

class PreferencesWindowController : public NSWindowController, public NSWindowDelegate {
 public:
  struct Constants {
    static constexpr std::string_view windowNibName = "PreferencesWindowController";
    static constexpr double windowWidth = 338.0;
    static constexpr double windowHeight = 146.0;
    static constexpr std::string_view windowTitle = "Preferences";
    static constexpr std::string_view shortcutLabel = "Show Glimdeck:";
    static constexpr std::string_view autoLaunchTitle = "Launch at login";
  };

  static std::shared_ptr<PreferencesWindowController> initWithWindow(const std::shared_ptr<NSWindow>& window);
  static std::shared_ptr<PreferencesWindowController> make() { return initWithWindow(nullptr); }

  std::weak_ptr<MASShortcutView> shortcutView;
  std::weak_ptr<NSButton> autoLaunchCheckbox;

  void loadWindow() override;
  void windowDidLoad() override;
  void checkboxToggled(const std::shared_ptr<NSObject>& sender);
  bool windowShouldClose(const std::shared_ptr<NSWindow>& sender) override;
  void windowDidBecomeKey(const std::shared_ptr<NSNotification>& notification) override;

  GLIMDECK_OBJECT(PreferencesWindowController)

 private:
  PreferencesWindowController() : NSWindowController(std::string(Constants::windowNibName)) {}
  // The box shows whether an item of the application's in the list starts it at login.
  void showLaunchAtStartup();
  void applicationDidBecomeActive(const std::shared_ptr<NSNotification>& notification);
};
