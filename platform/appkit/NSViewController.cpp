#include "platform/appkit/NSViewController.h"

#include <algorithm>

#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/KeepAlive.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/ScopedValueRollback.h"

std::shared_ptr<NSViewController> NSViewController::initWithNibName(std::string nibName) {
  return create(std::move(nibName));
}

std::shared_ptr<NSView> NSViewController::view() {
  loadViewIfNeeded();
  return view_;
}

void NSViewController::setView(const std::shared_ptr<NSView>& view) {
  if (view_ && view_->viewController_.lock().get() == this) view_->viewController_.reset();
  view_ = view;
  if (view) view->viewController_ = sharedAs<NSViewController>();
}

void NSViewController::loadViewIfNeeded() {
  if (view_ || loading_) return;
  KeepAlive keep(*this);
  {
    ScopedValueRollback loading(loading_, true);
    loadView();
  }
  if (!view_) {
    // A missing or broken interface must not leave callers with no view at all.
    setView(NSView::initWithFrame(NSZeroRect));
  }
  viewDidLoad();
}

void NSViewController::loadView() {
  auto name = nibName();
  auto nib = NSNib::initWithNibNamed(name);
  if (!nib) {
    OutputSink::print("No interface named \"" + name + "\" is registered");
    return;
  }
  std::vector<std::shared_ptr<NSObject>> objects;
  auto self = sharedAs<NSViewController>();
  // The builder sets the view outlet before awakeFromNib; when it did not, the first
  // top-level view is the controller's view.
  if (!nib->instantiateWithOwner(self, &objects)) return;
  if (!view_) {
    for (auto& object : objects) {
      if (auto v = asA<NSView>(object)) {
        setView(v);
        break;
      }
    }
  }
}

void NSViewController::noteViewWillAppear() { viewWillAppear(); }

void NSViewController::noteViewDidAppear() {
  appeared_ = true;
  viewDidAppear();
}

void NSViewController::noteViewWillDisappear() { viewWillDisappear(); }

void NSViewController::noteViewDidDisappear() {
  appeared_ = false;
  viewDidDisappear();
}

void NSViewController::addChildViewController(const std::shared_ptr<NSViewController>& child) {
  if (!child || child.get() == this) return;
  child->removeFromParentViewController();
  children_.push_back(child);
  child->parent_ = sharedAs<NSViewController>();
}

void NSViewController::removeFromParentViewController() {
  auto parent = parent_.lock();
  if (!parent) return;
  auto self = sharedAs<NSViewController>();
  std::erase(parent->children_, self);
  parent_.reset();
}

std::shared_ptr<NSResponder> NSViewController::nextResponder() const {
  if (auto explicitNext = NSResponder::nextResponder()) return explicitNext;
  if (view_) {
    if (auto parent = view_->superview()) return parent;
    return view_->window();
  }
  return nullptr;
}
