#pragma once
// The shortcut recorder: shows the shortcut stored under its user-defaults key; a click
// starts recording, the next key pressed with Command, Control or Option is stored under
// the key (the binder follows), Escape cancels and Delete clears the stored shortcut.

#include <memory>
#include <string>

#include "platform/appkit/NSTextField.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/services/MASShortcut.h"

class MASShortcutView : public NSView {
 public:
  struct Constants {
    static constexpr std::string_view placeholder = "Record Shortcut";
    static constexpr std::string_view recordingPrompt = "Type Shortcut";
    static constexpr std::string_view needsModifierPrompt = "Add Ctrl, Alt or Super";
  };

  static std::shared_ptr<MASShortcutView> initWithFrame(NSRect frame);

  const std::string& associatedUserDefaultsKey() const { return associatedUserDefaultsKey_; }
  // Shows what is stored under the key and writes what is recorded there.
  void setAssociatedUserDefaultsKey(std::string_view key);
  std::shared_ptr<MASShortcut> shortcutValue() const { return shortcutValue_; }
  bool isRecording() const { return recording_; }
  // The text the recorder shows now.
  std::string shownText() const;

  bool acceptsFirstResponder() const override { return true; }
  bool resignFirstResponder() override;
  // The recorder takes clicks on its label too.
  std::shared_ptr<NSView> hitTest(NSPoint pointInSuperview) override;
  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void keyDown(const std::shared_ptr<NSEvent>& event) override;
  std::string dumpText() const override { return shownText(); }

  GLIMDECK_OBJECT(MASShortcutView)

 protected:
  using NSView::NSView;
  void didInit() override;

 private:
  void setRecording(bool recording);
  void storedValueChanged(const id& value);
  void refresh();

  std::string associatedUserDefaultsKey_;
  std::shared_ptr<MASShortcut> shortcutValue_;
  bool recording_ = false;
  bool needsModifier_ = false;
  std::shared_ptr<NSTextField> label_;
  std::unique_ptr<NSUserDefaultsObservation> observation_;
};
