#include "platform/services/MASShortcutView.h"

#include <cmath>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/quartz/CALayer.h"
#include "platform/services/MASShortcutBinder.h"

std::shared_ptr<MASShortcutView> MASShortcutView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<MASShortcutView>(new MASShortcutView(frame)));
}

void MASShortcutView::didInit() {
  NSView::didInit();
  setWantsLayer(true);
  layer()->setCornerRadius(4);
  layer()->setBorderWidth(1);
  layer()->setBorderColor(NSColor::grayColor()->CGColor());
  layer()->setBackgroundColor(NSColor::whiteColor()->CGColor());
  label_ = NSTextField::labelWithString(std::string(Constants::placeholder));
  label_->setAlignment(NSTextAlignment::center);
  label_->setFont(NSFont::systemFontOfSize(13));
  // A label draws its line at its top: one line high and centred, the text sits in the
  // middle of the box.
  double height = std::min(bounds().height(), std::ceil(label_->sizeThatFits().height));
  label_->setFrame(NSMakeRect(0, std::round((bounds().height() - height) / 2), bounds().width(), height));
  label_->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin | NSViewMaxYMargin;
  addSubview(label_);
}

void MASShortcutView::setAssociatedUserDefaultsKey(std::string_view key) {
  associatedUserDefaultsKey_ = std::string(key);
  observation_.reset();
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (!associatedUserDefaultsKey_.empty()) {
    std::weak_ptr<MASShortcutView> weak = sharedAs<MASShortcutView>();
    observation_ = defaults->observeValueForKey(associatedUserDefaultsKey_, [weak](const id&, const id& value) {
      if (auto view = weak.lock()) view->storedValueChanged(value);
    });
  }
  storedValueChanged(associatedUserDefaultsKey_.empty() ? nullptr : defaults->objectForKey(associatedUserDefaultsKey_));
}

void MASShortcutView::storedValueChanged(const id& value) {
  shortcutValue_ = MASShortcutBinder::shortcutFromStoredValue(value);
  refresh();
}

std::string MASShortcutView::shownText() const {
  if (recording_) return std::string(needsModifier_ ? Constants::needsModifierPrompt : Constants::recordingPrompt);
  return shortcutValue_ ? shortcutValue_->displayName() : std::string(Constants::placeholder);
}

void MASShortcutView::refresh() {
  label_->setStringValue(shownText());
  layer()->setBorderColor((recording_ ? NSColor::keyboardFocusIndicatorColor() : NSColor::grayColor())->CGColor());
  setNeedsDisplay(true);
}

void MASShortcutView::setRecording(bool recording) {
  recording_ = recording;
  needsModifier_ = false;
  refresh();
}

std::shared_ptr<NSView> MASShortcutView::hitTest(NSPoint pointInSuperview) {
  return NSView::hitTest(pointInSuperview) ? sharedAs<NSView>() : nullptr;
}

void MASShortcutView::mouseDown(const std::shared_ptr<NSEvent>&) {
  if (auto w = window()) w->makeFirstResponder(sharedAs<NSResponder>());
  setRecording(!recording_);
}

bool MASShortcutView::resignFirstResponder() {
  if (recording_) setRecording(false);
  return true;
}

void MASShortcutView::keyDown(const std::shared_ptr<NSEvent>& event) {
  if (!recording_) {
    NSView::keyDown(event);
    return;
  }
  auto shortcut = MASShortcut::shortcutWithEvent(event);
  bool plain = shortcut->modifierFlags() == 0;
  if (plain && shortcut->keyCode() == NSKeyCode::escape) {
    setRecording(false);
    return;
  }
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (plain && (shortcut->keyCode() == NSKeyCode::deleteKey || shortcut->keyCode() == NSKeyCode::forwardDelete)) {
    recording_ = false;
    if (!associatedUserDefaultsKey_.empty()) defaults->removeObjectForKey(associatedUserDefaultsKey_);
    shortcutValue_.reset();
    refresh();
    return;
  }
  if (!shortcut->isValidGlobalShortcut()) {
    // A key that types text cannot be taken from every program: keep listening.
    needsModifier_ = true;
    refresh();
    return;
  }
  recording_ = false;
  shortcutValue_ = shortcut;
  if (!associatedUserDefaultsKey_.empty()) {
    if (auto data = NSKeyedArchiver::archivedDataWithRootObject(shortcut)) {
      defaults->setObject(*data, associatedUserDefaultsKey_);
    }
  }
  refresh();
}
