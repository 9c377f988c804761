#include "platform/appkit/NSWindowController.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/KeepAlive.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/ScopedValueRollback.h"

std::shared_ptr<NSWindowController> NSWindowController::initWithWindow(const std::shared_ptr<NSWindow>& window) {
  auto controller = std::shared_ptr<NSWindowController>(new NSWindowController());
  controller->setWindow(window);
  return controller;
}

std::shared_ptr<NSWindowController> NSWindowController::initWithWindowNibName(std::string name) {
  return create(std::move(name));
}

std::shared_ptr<NSWindow> NSWindowController::window() {
  if (!window_ && !loading_) {
    KeepAlive keep(*this);
    {
      ScopedValueRollback loading(loading_, true);
      windowWillLoad();
      loadWindow();
    }
    if (window_) windowDidLoad();
  }
  return window_;
}

void NSWindowController::setWindow(const std::shared_ptr<NSWindow>& window) {
  window_ = window;
  if (window) window->setWindowController(sharedAs<NSWindowController>());
}

void NSWindowController::loadWindow() {
  if (windowNibName_.empty()) return;
  auto nib = NSNib::initWithNibNamed(windowNibName_);
  if (!nib) {
    OutputSink::print("No interface named \"" + windowNibName_ + "\" is registered");
    return;
  }
  std::vector<std::shared_ptr<NSObject>> objects;
  if (!nib->instantiateWithOwner(sharedAs<NSWindowController>(), &objects)) return;
  if (!window_) {
    for (auto& object : objects) {
      if (auto w = asA<NSWindow>(object)) {
        setWindow(w);
        break;
      }
    }
  }
}

void NSWindowController::showWindow(const std::shared_ptr<NSObject>&) {
  if (auto w = window()) w->makeKeyAndOrderFront(sharedAs<NSWindowController>());
}

void NSWindowController::close() {
  if (window_) window_->close();
}

std::shared_ptr<NSResponder> NSWindowController::nextResponder() const {
  if (auto explicitNext = NSResponder::nextResponder()) return explicitNext;
  return NSApplication::sharedApplication();
}
