#pragma once
// A small window that tells the user something and waits for a button: a bold message, a
// line or two of detail under it and the buttons added, the first at the right. runModal
// shows it in front of everything and runs the application modally until a button is
// pressed (Return presses the first, Escape one titled "Cancel"), then closes it.

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"

// What runModal answers: the first button added, the second, the third...
constexpr NSModalResponse NSAlertFirstButtonReturn = 1000;
constexpr NSModalResponse NSAlertSecondButtonReturn = 1001;
constexpr NSModalResponse NSAlertThirdButtonReturn = 1002;

class NSAlert : public NSObject {
 public:
  struct Constants {
    static constexpr double width = 420.0;
    static constexpr double margin = 20.0;
    static constexpr double buttonHeight = 28.0;
    static constexpr std::string_view defaultButtonTitle = "OK";
  };

  static std::shared_ptr<NSAlert> make() { return create(); }

  std::string messageText;
  std::string informativeText;

  // Buttons come in the order added; an alert without any gets one "OK" when it shows.
  std::shared_ptr<NSButton> addButtonWithTitle(std::string title);
  const std::vector<std::shared_ptr<NSButton>>& buttons() const { return buttons_; }

  // The alert's window, laid out from the texts and buttons as they are the first time it is
  // asked for.
  std::shared_ptr<NSWindow> window();
  NSModalResponse runModal();

  GLIMDECK_OBJECT(NSAlert)

 private:
  NSAlert() = default;
  void press(std::size_t index);

  std::vector<std::shared_ptr<NSButton>> buttons_;
  std::shared_ptr<NSWindow> window_;
};
