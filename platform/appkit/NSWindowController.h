#pragma once
// Owns a window, loaded on first use from the interface registered under its window nib
// name (the builder sets the window outlet) or made in code.

#include <memory>
#include <string>

#include "platform/appkit/NSResponder.h"

class NSWindow;

class NSWindowController : public NSResponder {
 public:
  static std::shared_ptr<NSWindowController> initWithWindow(const std::shared_ptr<NSWindow>& window);
  static std::shared_ptr<NSWindowController> initWithWindowNibName(std::string name);

  std::shared_ptr<NSWindow> window();
  void setWindow(const std::shared_ptr<NSWindow>& window);
  bool isWindowLoaded() const { return window_ != nullptr; }
  const std::string& windowNibName() const { return windowNibName_; }

  virtual void loadWindow();
  virtual void windowWillLoad() {}
  virtual void windowDidLoad() {}
  void showWindow(const std::shared_ptr<NSObject>& sender);
  void close();

  std::shared_ptr<NSResponder> nextResponder() const override;
  GLIMDECK_OBJECT(NSWindowController)

 protected:
  explicit NSWindowController(std::string windowNibName = {}) : windowNibName_(std::move(windowNibName)) {}

 private:
  std::string windowNibName_;
  std::shared_ptr<NSWindow> window_;
  bool loading_ = false;
};
