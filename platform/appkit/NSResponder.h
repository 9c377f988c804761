#pragma once
// An object in the chain that events travel along: a view, its view controller, its
// superviews, the window, the application. A handler that does not pass an event on to
// the next responder ends it there.

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class NSEvent;
class NSTouchBar;

class NSResponder : public NSObject {
 public:
  // The responder that gets what this one does not handle. Views answer their view
  // controller or superview; others answer what was set.
  virtual std::shared_ptr<NSResponder> nextResponder() const { return nextResponder_.lock(); }
  virtual void setNextResponder(const std::shared_ptr<NSResponder>& next) { nextResponder_ = next; }

  virtual bool acceptsFirstResponder() const { return false; }
  virtual bool becomeFirstResponder() { return true; }
  virtual bool resignFirstResponder() { return true; }

  // Called on every object an interface builder made, once its outlets are connected.
  virtual void awakeFromNib() {}

  virtual void mouseDown(const std::shared_ptr<NSEvent>& event);
  virtual void mouseUp(const std::shared_ptr<NSEvent>& event);
  virtual void mouseDragged(const std::shared_ptr<NSEvent>& event);
  virtual void mouseMoved(const std::shared_ptr<NSEvent>& event);
  virtual void mouseEntered(const std::shared_ptr<NSEvent>& event);
  virtual void mouseExited(const std::shared_ptr<NSEvent>& event);
  virtual void rightMouseDown(const std::shared_ptr<NSEvent>& event);
  virtual void rightMouseUp(const std::shared_ptr<NSEvent>& event);
  virtual void rightMouseDragged(const std::shared_ptr<NSEvent>& event);
  virtual void otherMouseDown(const std::shared_ptr<NSEvent>& event);
  virtual void otherMouseUp(const std::shared_ptr<NSEvent>& event);
  virtual void scrollWheel(const std::shared_ptr<NSEvent>& event);
  virtual void keyDown(const std::shared_ptr<NSEvent>& event);
  virtual void keyUp(const std::shared_ptr<NSEvent>& event);
  virtual void flagsChanged(const std::shared_ptr<NSEvent>& event);
  virtual void cursorUpdate(const std::shared_ptr<NSEvent>& event);

  // Editing commands by selector name ("insertNewline:", "insertTab:", "cancelOperation:").
  // Answers whether this responder or one further along handled it.
  virtual bool tryToPerform(std::string_view selector, const std::shared_ptr<NSObject>& sender);
  virtual bool respondsToCommand(std::string_view /*selector*/) const { return false; }
  virtual void doCommandBySelector(std::string_view selector);

  // The Touch Bar this responder shows: made by makeTouchBar on first read, then kept.
  std::shared_ptr<NSTouchBar> touchBar();
  void setTouchBar(std::shared_ptr<NSTouchBar> touchBar);
  virtual std::shared_ptr<NSTouchBar> makeTouchBar() { return nullptr; }

  // Sends the event to the handler its type names.
  void dispatchEventByType(const std::shared_ptr<NSEvent>& event);

  GLIMDECK_OBJECT(NSResponder)

 protected:
  NSResponder() = default;
  // Runs a command this responder answers to (when respondsToCommand says so).
  virtual void performCommand(std::string_view /*selector*/, const std::shared_ptr<NSObject>& /*sender*/) {}

 private:
  std::weak_ptr<NSResponder> nextResponder_;
  std::shared_ptr<NSTouchBar> touchBar_;
  bool touchBarMade_ = false;
};
