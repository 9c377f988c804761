#include "platform/appkit/NSAlert.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSScreen.h"

namespace {

// The alert's content: Return presses the first button, Escape the one titled "Cancel".
class AlertContentView : public NSView {
 public:
  static std::shared_ptr<AlertContentView> make(NSRect frame) {
    return finishInit(std::shared_ptr<AlertContentView>(new AlertContentView(frame)));
  }
  std::function<void(bool cancel)> onKey;
  bool acceptsFirstResponder() const override { return true; }
  void keyDown(const std::shared_ptr<NSEvent>& event) override {
    const auto key = event->keyCode();
    if ((key == NSKeyCode::returnKey || key == NSKeyCode::keypadEnter) && onKey) return onKey(false);
    if (key == NSKeyCode::escape && onKey) return onKey(true);
    NSView::keyDown(event);
  }

 private:
  using NSView::NSView;
};

std::shared_ptr<NSTextField> wrappingLabel(const std::string& text, const std::shared_ptr<NSFont>& font, double width) {
  auto label = NSTextField::labelWithString(text);
  label->setFont(font);
  label->cell()->wraps = true;
  label->cell()->lineBreakMode = NSLineBreakMode::byWordWrapping;
  label->setFrame(NSMakeRect(0, 0, width, 0));
  // Wrapped at the width: the height the text needs there.
  const NSSize needed = label->cell()->cellSizeForBounds(NSMakeRect(0, 0, width, 10000));
  label->setFrame(NSMakeRect(0, 0, width, std::ceil(needed.height)));
  return label;
}

}  // namespace

std::shared_ptr<NSButton> NSAlert::addButtonWithTitle(std::string title) {
  const std::size_t index = buttons_.size();
  std::weak_ptr<NSAlert> weak = sharedAs<NSAlert>();
  auto button = NSButton::buttonWithTitle(std::move(title), [weak, index](const std::shared_ptr<NSObject>&) {
    if (auto alert = weak.lock()) alert->press(index);
  });
  buttons_.push_back(button);
  return button;
}

std::shared_ptr<NSWindow> NSAlert::window() {
  if (window_) return window_;
  if (buttons_.empty()) addButtonWithTitle(std::string(Constants::defaultButtonTitle));
  const double margin = Constants::margin;
  const double textWidth = Constants::width - 2 * margin;
  auto message = wrappingLabel(messageText, NSFont::boldSystemFontOfSize(13), textWidth);
  auto detail = wrappingLabel(informativeText, NSFont::systemFontOfSize(11), textWidth);
  // Push buttons of the usual size, whatever their titles measure.
  double buttonHeight = Constants::buttonHeight;
  for (const auto& button : buttons_) buttonHeight = std::max(buttonHeight, button->frame().size.height);
  const double height = margin + message->frame().size.height + 8 + detail->frame().size.height + margin +
                        buttonHeight + margin;

  auto content = AlertContentView::make(NSMakeRect(0, 0, Constants::width, height));
  // Buttons along the bottom, the first at the right.
  double right = Constants::width - margin;
  for (const auto& button : buttons_) {
    const NSSize size{std::max(button->frame().size.width + 24, 80.0), buttonHeight};
    button->setFrame(NSMakeRect(right - size.width, margin, size.width, size.height));
    right -= size.width + 8;
    content->addSubview(button);
  }
  double top = height - margin;
  for (const auto& label : {message, detail}) {
    const NSSize size = label->frame().size;
    label->setFrame(NSMakeRect(margin, top - size.height, size.width, size.height));
    content->addSubview(label);
    top -= size.height + 8;
  }
  std::weak_ptr<NSAlert> weak = sharedAs<NSAlert>();
  content->onKey = [weak](bool cancel) {
    auto alert = weak.lock();
    if (!alert) return;
    if (!cancel) return alert->press(0);
    for (std::size_t i = 0; i < alert->buttons_.size(); ++i) {
      if (alert->buttons_[i]->title() == "Cancel") return alert->press(i);
    }
  };

  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, Constants::width, height), NSWindowStyleMaskTitled);
  window->setContentView(content);
  window->title = messageText;
  if (auto screen = NSScreen::mainScreen()) {
    const NSRect area = screen->visibleFrame();
    // Centred across, a little above the middle, as a question that stops the work would be.
    window->setFrameOrigin(NSMakePoint(area.origin.x + (area.size.width - window->frame().size.width) / 2,
                                       area.origin.y + (area.size.height - window->frame().size.height) * 2 / 3));
  }
  window->setInitialFirstResponder(content);
  window_ = window;
  return window_;
}

NSModalResponse NSAlert::runModal() {
  auto shown = window();
  auto keep = sharedAs<NSAlert>();
  shown->makeKeyAndOrderFront(nullptr);
  shown->makeFirstResponder(shown->contentView());
  const NSModalResponse response = NSApplication::sharedApplication()->runModalForWindow(shown);
  shown->orderOut(nullptr);
  return response;
}

void NSAlert::press(std::size_t index) {
  auto app = NSApplication::sharedApplication();
  if (window_ && app->modalWindow() == window_) app->stopModalWithCode(NSAlertFirstButtonReturn + static_cast<long>(index));
}
