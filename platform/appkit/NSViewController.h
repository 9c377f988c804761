#pragma once
// A controller of one view tree, loaded on first use from the interface registered under
// its nib name (its class name unless given), with the lifecycle calls the views' owner
// relies on: awakeFromNib once the outlets are set, viewDidLoad, the layout pair and the
// appearance pair.

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSResponder.h"

class NSView;

class NSViewController : public NSResponder {
 public:
  static std::shared_ptr<NSViewController> initWithNibName(std::string nibName);
  static std::shared_ptr<NSViewController> make() { return initWithNibName({}); }

  // The view, loaded on first read.
  std::shared_ptr<NSView> view();
  void setView(const std::shared_ptr<NSView>& view);
  bool isViewLoaded() const { return view_ != nullptr; }
  void loadViewIfNeeded();
  // Builds the view from the interface file; override to make it in code instead.
  virtual void loadView();

  // The interface name; empty means the controller's class name.
  std::string nibName() const { return nibName_.empty() ? className() : nibName_; }
  std::string title;
  std::shared_ptr<NSObject> representedObject;

  virtual void viewDidLoad() {}
  virtual void viewWillAppear() {}
  virtual void viewDidAppear() {}
  virtual void viewWillDisappear() {}
  virtual void viewDidDisappear() {}
  virtual void viewWillLayout() {}
  virtual void viewDidLayout() {}

  // Tells the controller its view came on screen or left it (windows, popovers and
  // containers call these, in pairs).
  void noteViewWillAppear();
  void noteViewDidAppear();
  void noteViewWillDisappear();
  void noteViewDidDisappear();
  bool isViewVisible() const { return appeared_; }

  // Child controllers.
  const std::vector<std::shared_ptr<NSViewController>>& childViewControllers() const { return children_; }
  void addChildViewController(const std::shared_ptr<NSViewController>& child);
  void removeFromParentViewController();
  std::shared_ptr<NSViewController> parentViewController() const { return parent_.lock(); }

  std::shared_ptr<NSResponder> nextResponder() const override;
  GLIMDECK_OBJECT(NSViewController)

 protected:
  explicit NSViewController(std::string nibName = {}) : nibName_(std::move(nibName)) {}

 private:
  std::string nibName_;
  std::shared_ptr<NSView> view_;
  bool loading_ = false;
  bool appeared_ = false;
  std::weak_ptr<NSViewController> parent_;
  std::vector<std::shared_ptr<NSViewController>> children_;
};
