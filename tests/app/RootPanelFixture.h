#pragma once
// The fixture of the root panel suites: the collections' fixture (stand-in, store, sign-in)
// with an analytics client that has an install id, so that the panel's events reach the
// stand-in, and the panel shown in a key window.

#include <algorithm>
#include <string>
#include <vector>

#include "app/RootViewController.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "service/AssetCache.h"
#include "tests/collections/CollectionsFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"
#include "ui/QLXButton.h"

class RootPanelTest : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    NSApplication::resetSharedApplication();
    NSMenu::resetMenus();
    NSPasteboard::resetPasteboards();
    NSWorkspace::sharedWorkspace()->setOpener([this](const std::shared_ptr<NSURL>& url) {
      ui.openedURLs.push_back(url->absoluteString());
      return true;
    });
    AssetCache::shared()->setMapping({});
    AssetCache::shared()->setOrder({});
    // Tiles are not under test here: their media is refused at once.
    standin().injectFault("/media", Fault::status500());
    NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
    PlovexAnalytics::setSharedPlovexAnalytics(PlovexAnalytics::init());
  }
  void TearDown() override {
    if (panel) panel->contentCollectionView->reset();
    if (window) window->orderOut(nullptr);
    panel.reset();
    window.reset();
    NSMenu::resetMenus();
    NSWorkspace::sharedWorkspace()->setOpener(nullptr);
    NSApplication::resetSharedApplication();
    CollectionsTest::TearDown();
  }

  // Makes the panel, shows it and waits for the home grid's featured tags.
  void show() {
    panel = RootViewController::init();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 600), NSWindowStyleMaskTitled);
    window->setContentViewController(panel);
    window->makeKeyAndOrderFront(nullptr);
    panel->noteViewWillAppear();
    panel->noteViewDidAppear();
    ASSERT_TRUE(runUntil([&] { return !panel->contentCollectionView->mainSection().empty(); }));
    window->layoutIfNeeded();
  }

  // The panel closes and opens again.
  void reopen() {
    panel->noteViewWillDisappear();
    panel->noteViewDidDisappear();
    panel->noteViewWillAppear();
    panel->noteViewDidAppear();
  }

  // The panel's own members of the first logged event of that name, "key=value" in key
  // order ("category=trending vornIDKey=12"), or "(none)" when none came.
  std::string event(std::string_view name) {
    const std::string path = "/quorb.registerevent/" + std::string(name);
    auto request = standin().waitForRequest([&](const StandinRequest& r) { return r.path == path; }, 10.0);
    return request ? members(*request) : "(none)";
  }
  // Every logged event of that name so far, as `event` gives each, sorted: events are sent
  // side by side, so the order they reach the stand-in in is not the order they were sent.
  std::vector<std::string> events(std::string_view name) {
    const std::string path = "/quorb.registerevent/" + std::string(name);
    std::vector<std::string> found;
    for (const auto& r : standin().requests())
      if (r.path == path) found.push_back(members(r));
    std::ranges::sort(found);
    return found;
  }
  static std::string members(const StandinRequest& request) {
    auto parsed = NSJSONSerialization::JSONObjectWithBytes(request.queryValue("data").value_or(""));
    auto data = parsed ? asA<NSDictionary>(*parsed) : nullptr;
    std::string text;
    for (const char* key : {"actions", "category", "info", "tag", "tag1", "tag2", "vornIDKey"}) {
      auto value = data ? data->objectForKeyAs<NSString>(key) : nullptr;
      if (value) text += (text.empty() ? "" : " ") + std::string(key) + "=" + value->string();
    }
    return text;
  }
  // How many events of that name reached the stand-in by now.
  std::size_t eventCount(std::string_view name) {
    const std::string path = "/quorb.registerevent/" + std::string(name);
    return static_cast<std::size_t>(std::ranges::count_if(standin().requests(), [&](const auto& r) { return r.path == path; }));
  }

  // Toolbar and menu paths into the overlays.
  void clickUpload(RootViewController& shown) { ui.click(std::static_pointer_cast<NSView>(shown.uploadButton.lock())); }
  void chooseFromSettings(const std::string& title) {
    ui.click(panel->searchTextField.lock());
    ASSERT_TRUE(ui.openMenuWith(panel->moreButton.lock()));
    ASSERT_TRUE(ui.chooseMenuItem({title}));
  }
  void signInForPanel() { signIn("ada", "token-ada"); }

  std::shared_ptr<RootViewController> panel;
  std::shared_ptr<NSWindow> window;
  UISimulator ui;
};
