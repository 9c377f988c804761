#include "app/PreferencesWindowController.h"

#include <cmath>

#include "app/LoginUtilities.h"
#include "model/AppConstants.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSTextField.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/services/MASShortcutBinder.h"

std::shared_ptr<PreferencesWindowController> PreferencesWindowController::initWithWindow(
    const std::shared_ptr<NSWindow>& window) {
  auto controller = create();
  if (window) controller->setWindow(window);
  return controller;
}

void PreferencesWindowController::loadWindow() {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, Constants::windowWidth, Constants::windowHeight),
                                              NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
  window->title = std::string(Constants::windowTitle);
  auto content = window->contentView();

  const NSRect recorderFrame = NSMakeRect(136, 88, 182, 26);
  auto recorder = MASShortcutView::initWithFrame(recorderFrame);
  // The label's line sits on the recorder's middle, as the recorder's own text does.
  auto label = NSTextField::labelWithString(std::string(Constants::shortcutLabel));
  const double labelHeight = std::ceil(label->sizeThatFits().height);
  label->setFrame(NSMakeRect(20, std::round(recorderFrame.midY() - labelHeight / 2), 110, labelHeight));
  content->addSubview(label);
  content->addSubview(recorder);

  std::weak_ptr<PreferencesWindowController> weak = sharedAs<PreferencesWindowController>();
  auto checkbox = NSButton::checkboxWithTitle(std::string(Constants::autoLaunchTitle),
                                              [weak](const std::shared_ptr<NSObject>& sender) {
                                                if (auto self = weak.lock()) self->checkboxToggled(sender);
                                              });
  checkbox->setFrame(NSMakeRect(134, 40, 184, 22));
  content->addSubview(checkbox);

  shortcutView = recorder;
  autoLaunchCheckbox = checkbox;
  window->setDelegate(sharedAs<PreferencesWindowController>());
  // Back from another program, the window is in front again, though it never stopped being
  // the key one.
  NSNotificationCenter::defaultCenter()->addObserver(sharedAs<PreferencesWindowController>(),
                                                     &PreferencesWindowController::applicationDidBecomeActive,
                                                     NSApplication::Constants::didBecomeActiveNotification, nullptr);
  setWindow(window);
}

void PreferencesWindowController::windowDidLoad() {
  NSWindowController::windowDidLoad();
  if (auto recorder = shortcutView.lock()) {
    recorder->setAssociatedUserDefaultsKey(globalKeyboardShortcutKey);
    MASShortcutBinder::sharedBinder()->setBindingOptions(NSDictionary::make(
        {{std::string(NSValueTransformerBindingOption), NSString::make(std::string(MASDictionaryTransformerName))}}));
  }
  showLaunchAtStartup();
}

void PreferencesWindowController::showLaunchAtStartup() {
  if (auto checkbox = autoLaunchCheckbox.lock()) {
    checkbox->setState(LoginUtilities::isLaunchAtStartup() ? NSControlStateValueOn : NSControlStateValueOff);
  }
}

void PreferencesWindowController::checkboxToggled(const std::shared_ptr<NSObject>&) {
  // The list decides, not the box: it may have changed since the window opened. The box then
  // shows what the list holds now, not the flip of what it showed, and an entry that could
  // not be written or removed shows as it is.
  LoginUtilities::toggleLaunchAtStartup();
  showLaunchAtStartup();
}

void PreferencesWindowController::windowDidBecomeKey(const std::shared_ptr<NSNotification>&) {
  // Another program may have changed the list while the window was behind.
  showLaunchAtStartup();
}

void PreferencesWindowController::applicationDidBecomeActive(const std::shared_ptr<NSNotification>&) {
  showLaunchAtStartup();
}

bool PreferencesWindowController::windowShouldClose(const std::shared_ptr<NSWindow>&) {
  NSApplication::sharedApplication()->stopModal();
  return true;
}
