#pragma once
// Gesture recognisers take the mouse events of the view they are attached to (and of its
// subviews) before the views do, and call their action when they recognise a gesture.

#include <functional>
#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSView;
class NSEvent;
class NSGestureRecognizer;

enum class NSGestureRecognizerState { possible = 0, began, changed, ended, cancelled, failed };

// The action of a recogniser (or a control): what to run with the sender.
using NSAction = std::function<void(const std::shared_ptr<NSObject>& sender)>;

// An action that calls a member function of a target held weakly; gone targets hear nothing.
template <typename T>
NSAction targetAction(const std::shared_ptr<T>& target, void (T::*method)(const std::shared_ptr<NSObject>&)) {
  std::weak_ptr<T> weak = target;
  return [weak, method](const std::shared_ptr<NSObject>& sender) {
    if (auto strong = weak.lock()) ((*strong).*method)(sender);
  };
}
template <typename T>
NSAction targetAction(const std::shared_ptr<T>& target, void (T::*method)()) {
  std::weak_ptr<T> weak = target;
  return [weak, method](const std::shared_ptr<NSObject>&) {
    if (auto strong = weak.lock()) ((*strong).*method)();
  };
}

class NSGestureRecognizer : public NSObject {
 public:
  bool isEnabled = true;
  NSAction action;

  std::shared_ptr<NSView> view() const { return view_.lock(); }
  NSGestureRecognizerState state() const { return state_; }
  // Where the last event happened, in the given view's coordinates (window base without one).
  NSPoint locationInView(const std::shared_ptr<NSView>& view) const;

  virtual void mouseDown(const std::shared_ptr<NSEvent>& event);
  virtual void mouseDragged(const std::shared_ptr<NSEvent>& event);
  virtual void mouseUp(const std::shared_ptr<NSEvent>& event);

  GLIMDECK_OBJECT(NSGestureRecognizer)

 protected:
  NSGestureRecognizer() = default;
  void setState(NSGestureRecognizerState state) { state_ = state; }
  void fire();
  std::shared_ptr<NSEvent> lastEvent_;

 private:
  friend class NSView;
  void setView(const std::shared_ptr<NSView>& view) { view_ = view; }
  std::weak_ptr<NSView> view_;
  NSGestureRecognizerState state_ = NSGestureRecognizerState::possible;
};

// Recognises a click (or as many clicks as required) that ends inside its view.
class NSClickGestureRecognizer : public NSGestureRecognizer {
 public:
  static std::shared_ptr<NSClickGestureRecognizer> initWithTarget(NSAction action);
  static std::shared_ptr<NSClickGestureRecognizer> make() { return initWithTarget(nullptr); }

  long numberOfClicksRequired = 1;
  // Bit 0 the primary button.
  unsigned buttonMask = 0x1;

  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;

  GLIMDECK_OBJECT(NSClickGestureRecognizer)

 private:
  NSClickGestureRecognizer() = default;
};
