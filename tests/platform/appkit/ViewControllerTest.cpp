// View controllers and window controllers loaded from registered interface builders, in
// the order their owners rely on; layout from constraint records.

#include <gtest/gtest.h>

#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

std::vector<std::string> steps;

class LoggingView : public NSView {
 public:
  static std::shared_ptr<LoggingView> make(NSRect frame) {
    return finishInit(std::shared_ptr<LoggingView>(new LoggingView(frame)));
  }
  void awakeFromNib() override { steps.push_back("view awakeFromNib"); }
  GLIMDECK_OBJECT(LoggingView)

 private:
  using NSView::NSView;
};

class PanelController : public NSViewController {
 public:
  static std::shared_ptr<PanelController> make() { return std::shared_ptr<PanelController>(new PanelController()); }
  std::weak_ptr<NSView> titleView;  // an outlet
  std::shared_ptr<NSLayoutConstraint> titleHeight;

  void awakeFromNib() override {
    steps.push_back(std::string("awakeFromNib outlet ") + (titleView.lock() ? "set" : "missing"));
  }
  void viewDidLoad() override { steps.push_back("viewDidLoad"); }
  void viewWillLayout() override { steps.push_back("viewWillLayout"); }
  void viewDidLayout() override { steps.push_back("viewDidLayout"); }
  void viewWillAppear() override { steps.push_back("viewWillAppear"); }
  void viewDidAppear() override { steps.push_back("viewDidAppear"); }
  void viewWillDisappear() override { steps.push_back("viewWillDisappear"); }
  void viewDidDisappear() override { steps.push_back("viewDidDisappear"); }
  GLIMDECK_OBJECT(PanelController)
};

// The builder of the "PanelController" interface: a 200x100 root with a title strip at the
// top whose height comes from a constraint record the controller can switch.
std::vector<std::shared_ptr<NSObject>> buildPanel(const std::shared_ptr<NSObject>& owner) {
  steps.push_back("build");
  auto root = LoggingView::make(NSMakeRect(0, 0, 200, 100));
  auto title = NSView::initWithFrame(NSZeroRect);
  root->addSubview(title);
  auto height = NSLayoutConstraint::constant(title, NSLayoutAttribute::height, 30);
  height->identifier = "titleHeight";
  root->addConstraint(height);
  std::weak_ptr<NSView> weakTitle = title;
  std::weak_ptr<NSLayoutConstraint> weakHeight = height;
  root->layoutHandler = [weakTitle, weakHeight](NSView& view) {
    auto t = weakTitle.lock();
    auto h = weakHeight.lock();
    if (!t || !h) return;
    double value = h->isActive() ? h->constant() : 0;
    t->setFrame(NSMakeRect(0, view.bounds().height() - value, view.bounds().width(), value));
  };
  root->setNeedsLayout(true);
  if (auto controller = asA<PanelController>(owner)) {
    controller->titleView = title;
    controller->titleHeight = height;
    controller->setView(root);
  }
  return {root};
}

class ViewControllerTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    steps.clear();
    NSNib::registerBuilder("PanelController", buildPanel);
  }
  void TearDown() override {
    NSNib::unregisterBuilder("PanelController");
    UITest::TearDown();
  }
};

TEST_F(ViewControllerTest, TheViewLoadsOnFirstUseWithOutletsSetBeforeAwakeFromNib) {
  auto controller = PanelController::make();
  EXPECT_FALSE(controller->isViewLoaded());
  EXPECT_EQ(controller->nibName(), "PanelController");
  auto view = controller->view();
  EXPECT_TRUE(controller->isViewLoaded());
  EXPECT_EQ(controller->view(), view) << "loaded once";
  EXPECT_EQ(steps, (std::vector<std::string>{"build", "view awakeFromNib", "awakeFromNib outlet set", "viewDidLoad"}));
  EXPECT_EQ(view->viewController(), controller);
}

TEST_F(ViewControllerTest, LayoutAndAppearanceCallsComeInPairsAroundTheWindow) {
  auto controller = PanelController::make();
  auto window = NSWindow::windowWithContentViewController(controller);
  steps.clear();
  window->makeKeyAndOrderFront(nullptr);
  drainMainQueue();
  EXPECT_EQ(steps, (std::vector<std::string>{"viewWillAppear", "viewWillLayout", "viewDidLayout", "viewDidAppear"}));
  EXPECT_TRUE(controller->isViewVisible());
  steps.clear();
  window->orderOut(nullptr);
  EXPECT_EQ(steps, (std::vector<std::string>{"viewWillDisappear", "viewDidDisappear"}));
  EXPECT_FALSE(controller->isViewVisible());
}

TEST_F(ViewControllerTest, SwitchingAConstraintConstantLaysTheViewOutAgain) {
  auto controller = PanelController::make();
  auto window = NSWindow::windowWithContentViewController(controller);
  window->makeKeyAndOrderFront(nullptr);
  drainMainQueue();
  EXPECT_EQ(dumpWindow(window), "LoggingView (0, 0, 200, 100)\n  NSView (0, 70, 200, 30)\n");

  controller->titleHeight->animator()->setConstant(50);
  EXPECT_EQ(controller->titleHeight->constant(), 50) << "the animator sets the value at once";
  drainMainQueue();
  EXPECT_EQ(controller->titleView.lock()->frame(), NSMakeRect(0, 50, 200, 50));

  controller->titleHeight->setActive(false);
  drainMainQueue();
  EXPECT_EQ(controller->titleView.lock()->frame().size.height, 0);
  EXPECT_EQ(controller->view()->constraintWithIdentifier("titleHeight"), controller->titleHeight);

  steps.clear();
  controller->titleHeight->setActive(false);
  drainMainQueue();
  EXPECT_TRUE(steps.empty()) << "setting the same value lays nothing out";
}

TEST_F(ViewControllerTest, AWindowLaysOutWhatWasMarkedWhereverItWasMarked) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 100), NSWindowStyleMaskBorderless);
  window->makeKeyAndOrderFront(nullptr);
  drainMainQueue();
  int laidOut = 0;
  auto counting = [&laidOut](NSView&) { ++laidOut; };
  // Marked before it joins the window, deep in a subtree that joins later.
  auto outer = NSView::initWithFrame(NSMakeRect(0, 0, 100, 50));
  auto inner = NSView::initWithFrame(NSMakeRect(0, 0, 50, 20));
  inner->layoutHandler = counting;
  outer->addSubview(inner);
  inner->setNeedsLayout(true);
  window->contentView()->addSubview(outer);
  drainMainQueue();
  EXPECT_EQ(laidOut, 1);
  EXPECT_FALSE(inner->needsLayout());
  // Marked while in the window.
  inner->setNeedsLayout(true);
  window->layoutIfNeeded();
  EXPECT_EQ(laidOut, 2);
  // A view that marks another while it is laid out gets it laid out in the same pass.
  auto other = NSView::initWithFrame(NSMakeRect(0, 60, 50, 20));
  other->layoutHandler = counting;
  outer->addSubview(other);
  window->layoutIfNeeded();
  const int before = laidOut;
  inner->layoutHandler = [&](NSView& view) {
    ++laidOut;
    other->setNeedsLayout(true);
    (void)view;
  };
  inner->setNeedsLayout(true);
  window->layoutIfNeeded();
  EXPECT_EQ(laidOut, before + 2);
  EXPECT_FALSE(other->needsLayout());
  // Nothing marked: nothing laid out.
  window->layoutIfNeeded();
  EXPECT_EQ(laidOut, before + 2);
}

TEST_F(ViewControllerTest, AMissingInterfaceGivesAnEmptyViewAndSaysSo) {
  auto controller = NSViewController::initWithNibName("NoSuchScreen");
  auto view = controller->view();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->subviews().empty());
  EXPECT_TRUE(printed("No interface named \"NoSuchScreen\" is registered"));
}

TEST_F(ViewControllerTest, ABuilderThatFailsDoesNotTakeTheProcessDown) {
  NSNib::registerBuilder("Broken", [](const auto&) -> std::vector<std::shared_ptr<NSObject>> {
    throw std::runtime_error("outlet missing");
  });
  auto controller = NSViewController::initWithNibName("Broken");
  EXPECT_NE(controller->view(), nullptr);
  EXPECT_TRUE(printed("Could not load the interface \"Broken\": outlet missing"));
  NSNib::unregisterBuilder("Broken");
}

TEST_F(ViewControllerTest, WindowControllersLoadTheirWindowFromTheInterface) {
  NSNib::registerBuilder("PreferencesWindowController", [](const std::shared_ptr<NSObject>& owner) {
    auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 338, 200), NSWindowStyleMaskTitled);
    window->title = "Preferences";
    if (auto controller = asA<NSWindowController>(owner)) controller->setWindow(window);
    return std::vector<std::shared_ptr<NSObject>>{window};
  });
  auto controller = NSWindowController::initWithWindowNibName("PreferencesWindowController");
  EXPECT_FALSE(controller->isWindowLoaded());
  controller->showWindow(nullptr);
  auto window = controller->window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->title, "Preferences");
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_EQ(window->windowController(), controller);
  EXPECT_EQ(window->contentView()->frame().size, (NSSize{338, 200}));
  controller->close();
  EXPECT_FALSE(window->isVisible());
  NSNib::unregisterBuilder("PreferencesWindowController");
}

TEST_F(ViewControllerTest, ChildControllersBelongToOneParent) {
  auto parent = PanelController::make();
  auto other = PanelController::make();
  auto child = NSViewController::make();
  parent->addChildViewController(child);
  other->addChildViewController(child);
  EXPECT_TRUE(parent->childViewControllers().empty());
  EXPECT_EQ(child->parentViewController(), other);
  child->removeFromParentViewController();
  EXPECT_TRUE(other->childViewControllers().empty());
}

}  // namespace
