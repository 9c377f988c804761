// Menus through the simulator: items enabled by the responders that handle their actions,
// actions that reach the first responder along the chain that implements them, submenus,
// pop-up menus at a point, context menus for a view, and a host's presenter.

#include <functional>

#include <gtest/gtest.h>

#include <set>

#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

std::vector<std::string> commandLog;

// A view that handles the commands it is given; a click on it opens `menu` as its context menu.
class CommandView : public NSView {
 public:
  static std::shared_ptr<CommandView> make(std::string name, std::set<std::string> commands, NSRect frame) {
    auto view = finishInit(std::shared_ptr<CommandView>(new CommandView(frame)));
    view->name = std::move(name);
    view->commands = std::move(commands);
    return view;
  }
  std::string name;
  std::set<std::string> commands;
  std::shared_ptr<NSMenu> menu;

  bool respondsToCommand(std::string_view selector) const override { return commands.count(std::string(selector)) > 0; }
  bool acceptsFirstResponder() const override { return true; }
  void mouseUp(const std::shared_ptr<NSEvent>& event) override {
    if (menu) NSMenu::popUpContextMenu(menu, event, sharedAs<NSView>());
  }

 protected:
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) override {
    auto item = asA<NSMenuItem>(sender);
    commandLog.push_back(name + " " + std::string(selector) + " from " + (item ? item->title : "?"));
  }

 private:
  using NSView::NSView;
};

std::shared_ptr<NSMenu> cellMenu(const std::shared_ptr<NSObject>& explicitTarget) {
  auto menu = NSMenu::make();
  auto version = NSMenuItem::initWithTitle("Version: 1.0", "", "");
  version->setEnabled(false);
  menu->addItem(version);
  menu->addItemWithTitle("Copy GIF", "copyGif", "");
  menu->addItemWithTitle("Copy Link", "copyLink", "c")->state = NSControlStateValueOn;
  menu->addItemWithTitle("Paste", "paste:", "");
  menu->addItem(NSMenuItem::separatorItem());
  auto packs = NSMenu::make();
  packs->addItemWithTitle("Cats", "addToCollectionClicked:", "");
  packs->addItemWithTitle("Dogs", "addToCollectionClicked:", "");
  auto add = NSMenuItem::initWithTitle("Add to Pack", "", "");
  add->setSubmenu(packs);
  menu->addItem(add);
  auto aimed = menu->addItemWithTitle("Aimed Copy", "copyLink", "");
  aimed->target = explicitTarget;
  return menu;
}

class MenuTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    commandLog.clear();
    window = NSWindow::initWithContentRect(NSMakeRect(100, 100, 300, 300), NSWindowStyleMaskTitled);
    outer = CommandView::make("outer", {"copyGif", "addToCollectionClicked:", "copyLink"}, NSMakeRect(0, 0, 300, 300));
    inner = CommandView::make("inner", {"copyLink"}, NSMakeRect(50, 50, 100, 100));
    window->contentView()->addSubview(outer);
    outer->addSubview(inner);
    window->makeKeyAndOrderFront(nullptr);
  }
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<CommandView> outer, inner;
};

TEST_F(MenuTest, AContextMenusActionsReachTheFirstResponderThatImplementsThem) {
  inner->menu = cellMenu(outer);
  ASSERT_TRUE(ui.openMenuWith(inner));
  EXPECT_EQ(ui.openMenuText(),
            "Version: 1.0 [disabled]\n"
            "Copy GIF\n"
            "✓ Copy Link [c]\n"
            "Paste [disabled]\n"
            "---\n"
            "Add to Pack >\n"
            "  Cats\n"
            "  Dogs\n"
            "Aimed Copy\n");

  struct Choice {
    std::vector<std::string> path;
    bool chosen;
    std::string heard;
  };
  const Choice table[] = {
      {{"Copy GIF"}, true, "outer copyGif from Copy GIF"},
      {{"Copy Link"}, true, "inner copyLink from Copy Link"},
      {{"Add to Pack", "Dogs"}, true, "outer addToCollectionClicked: from Dogs"},
      {{"Aimed Copy"}, true, "outer copyLink from Aimed Copy"},
      {{"Paste"}, false, ""},
      {{"Version: 1.0"}, false, ""},
      {{"Add to Pack"}, false, ""},
  };
  for (const auto& row : table) {
    commandLog.clear();
    ASSERT_TRUE(ui.openMenuWith(inner));
    EXPECT_EQ(ui.chooseMenuItem(row.path), row.chosen) << row.path.back();
    EXPECT_EQ(commandLog, row.chosen ? std::vector<std::string>{row.heard} : std::vector<std::string>{})
        << row.path.back();
    EXPECT_EQ(ui.openMenuText().empty(), row.chosen) << "a choice closes the menu; a refused one leaves it open";
    ui.dismissMenu();
  }
}

TEST_F(MenuTest, AnItemOpensASubmenuOnlyWhenTheSubmenuShowsAnItem) {
  struct Row {
    std::string name;
    std::function<void(NSMenu&)> fill;
    bool enabled;
  };
  const Row rows[] = {
      {"empty", [](NSMenu&) {}, false},
      {"only hidden", [](NSMenu& m) { m.addItemWithTitle("Secret", "copyGif", "")->hidden = true; }, false},
      {"only a separator", [](NSMenu& m) { m.addItem(NSMenuItem::separatorItem()); }, false},
      {"a disabled item", [](NSMenu& m) { m.addItemWithTitle("Nobody handles this", "paste:", ""); }, true},
      {"a pack", [](NSMenu& m) { m.addItemWithTitle("Cats", "addToCollectionClicked:", ""); }, true},
  };
  for (const auto& row : rows) {
    auto menu = NSMenu::make();
    menu->addItemWithTitle("Copy GIF", "copyGif", "");
    auto submenu = NSMenu::make();
    row.fill(*submenu);
    auto add = NSMenuItem::initWithTitle("Add to Pack", "", "");
    add->setSubmenu(submenu);
    menu->addItem(add);
    inner->menu = menu;
    ASSERT_TRUE(ui.openMenuWith(inner)) << row.name;
    EXPECT_EQ(add->isEnabled(), row.enabled) << row.name;
    commandLog.clear();
    EXPECT_FALSE(ui.chooseMenuItem({"Add to Pack"})) << row.name;
    EXPECT_TRUE(commandLog.empty()) << row.name;
    ui.dismissMenu();
  }
}

TEST_F(MenuTest, APopUpMenuServesTheKeyWindowsFirstResponderAndTellsAPresenter) {
  struct Seen : NSMenu::Presenter {
    std::vector<std::string> events;
    void menuDidOpen(const std::shared_ptr<NSMenu>& menu, NSPoint at, const std::shared_ptr<NSView>& view) override {
      events.push_back("open " + std::to_string(menu->numberOfItems()) + " at " + std::to_string(int(at.x)) + "," +
                       std::to_string(int(at.y)) + (view ? " for a view" : ""));
    }
    void menuDidClose(const std::shared_ptr<NSMenu>&) override { events.push_back("close"); }
  };
  auto presenter = std::make_shared<Seen>();
  NSMenu::setPresenter(presenter);

  auto menu = NSMenu::make();
  menu->addItemWithTitle("Copy GIF", "copyGif", "");
  menu->addItemWithTitle("Copy Link", "copyLink", "");
  ASSERT_TRUE(window->makeFirstResponder(inner));
  ASSERT_TRUE(menu->popUpMenuPositioningItem(nullptr, {400, 500}, nullptr));
  EXPECT_EQ(ui.openMenuText(), "Copy GIF\nCopy Link\n");
  EXPECT_TRUE(ui.chooseMenuItem({"Copy Link"}));
  EXPECT_EQ(commandLog, std::vector<std::string>{"inner copyLink from Copy Link"});

  // With the focus elsewhere, nobody on the chain handles the actions.
  auto other = NSWindow::initWithContentRect(NSMakeRect(0, 0, 50, 50), NSWindowStyleMaskTitled);
  other->makeKeyAndOrderFront(nullptr);
  menu->popUpMenuPositioningItem(nullptr, {10, 20}, nullptr);
  EXPECT_EQ(ui.openMenuText(), "Copy GIF [disabled]\nCopy Link [disabled]\n");
  EXPECT_FALSE(ui.chooseMenuItem({"Copy GIF"}));
  ui.dismissMenu();

  // Without automatic enabling the item's own flag rules, but an action nobody handles
  // still goes nowhere.
  menu->autoenablesItems = false;
  menu->itemAtIndex(0)->setEnabled(true);
  menu->itemAtIndex(1)->setEnabled(false);
  menu->popUpMenuPositioningItem(nullptr, {10, 20}, inner);
  EXPECT_EQ(ui.openMenuText(), "Copy GIF\nCopy Link [disabled]\n");
  EXPECT_FALSE(ui.chooseMenuItem({"Copy Link"}));
  EXPECT_TRUE(ui.chooseMenuItem({"Copy GIF"}));
  EXPECT_FALSE(NSMenu::make()->popUpMenuPositioningItem(nullptr, {0, 0}, nullptr)) << "an empty menu does not open";

  EXPECT_EQ(presenter->events, (std::vector<std::string>{"open 2 at 400,500", "close", "open 2 at 10,20", "close",
                                                         "open 2 at 160,170 for a view", "close"}));
}

// A content view controller that handles the settings commands of its window.
class MenuServingController : public NSViewController {
 public:
  static std::shared_ptr<MenuServingController> make() {
    auto controller = std::shared_ptr<MenuServingController>(new MenuServingController());
    controller->setView(NSView::initWithFrame(NSMakeRect(0, 0, 200, 200)));
    return controller;
  }
  bool respondsToCommand(std::string_view selector) const override { return selector == "quitSelected"; }

 protected:
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>&) override {
    commandLog.push_back("panel " + std::string(selector));
  }
};

TEST_F(MenuTest, WithNoViewOfTheKeyWindowFirstResponderItsContentViewControllerServesAPopUpMenu) {
  auto panel = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 200), NSWindowStyleMaskTitled);
  auto controller = MenuServingController::make();
  panel->setContentViewController(controller);
  auto field = CommandView::make("field", {}, NSMakeRect(10, 10, 50, 20));
  controller->view()->addSubview(field);
  panel->makeKeyAndOrderFront(nullptr);

  auto menu = NSMenu::make();
  menu->addItemWithTitle("Quit", "quitSelected", "");
  for (bool fieldGone : {false, true}) {
    SCOPED_TRACE(fieldGone ? "the first responder went away" : "a view is first responder");
    commandLog.clear();
    if (fieldGone) {
      field->removeFromSuperview();
      field.reset();
    } else {
      ASSERT_TRUE(panel->makeFirstResponder(field));
    }
    ASSERT_TRUE(menu->popUpMenuPositioningItem(nullptr, {50, 50}, nullptr));
    EXPECT_EQ(ui.openMenuText(), "Quit\n");
    EXPECT_TRUE(ui.chooseMenuItem({"Quit"}));
    EXPECT_EQ(commandLog, std::vector<std::string>{"panel quitSelected"});
  }
}

}  // namespace
