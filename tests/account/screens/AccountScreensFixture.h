#pragma once
// The fixture of the account screens: the stand-in, a fresh store and collection manager, an
// analytics client whose install id is known (so the screens' events reach the stand-in), a
// key window to show a screen in, and the simulator with the desktop's address opening
// captured.

#include <gtest/gtest.h>

#include <algorithm>

#include "collections/CollectionManager.h"
#include "collections/CoreDataContext.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/PlovexAnalytics.h"
#include "tests/support/StandinFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

class AccountScreensTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    NSApplication::resetSharedApplication();
    NSUserDefaults::resetStandardUserDefaults();
    NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), PlovexAnalytics::Constants::analyticsKey);
    PlovexAnalytics::setSharedPlovexAnalytics(PlovexAnalytics::init());
    CoreDataContext::reset();
    CollectionManager::setSharedInstance(nullptr);
    NSWorkspace::sharedWorkspace()->setOpener([this](const std::shared_ptr<NSURL>& url) {
      ui.openedURLs.push_back(url->absoluteString());
      return true;
    });
    // The size of the panel the screens lie over.
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 600), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
  }
  void TearDown() override {
    if (auto manager = CollectionManager::sharedInstance()) {
      manager->vornUploadQueue()->waitUntilAllOperationsAreFinished();
      manager->collectionSynchronizationQueue()->waitUntilAllOperationsAreFinished();
    }
    drainMainQueue();
    window = nullptr;
    NSWorkspace::sharedWorkspace()->setOpener(nullptr);
    CollectionManager::setSharedInstance(nullptr);
    CoreDataContext::reset();
    PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
    NSUserDefaults::resetStandardUserDefaults();
    NSApplication::resetSharedApplication();
    StandinTest::TearDown();
  }

  // Shows a screen's view filling the window, laid out.
  void show(const std::shared_ptr<NSView>& view) {
    view->setFrame(window->contentView()->bounds());
    window->contentView()->addSubview(view);
    settleLayout(view);
    // A turn of the run loop passes before the user acts on a new screen.
    drainMainQueue();
  }
  static void settleLayout(const std::shared_ptr<NSView>& view) {
    view->setNeedsLayout(true);
    view->layoutSubtreeIfNeeded();
  }
  // Runs the animations of the interface kit (check-box fills, fades) to their end.
  void finishAnimations() { ui.advance(NSAnimationContext::defaultDuration() + 0.01); }

  // The analytics events the stand-in received as "name info", sorted (each is sent on its
  // own, so they may arrive in any order); waits until `count` of them arrived.
  std::vector<std::string> events(std::size_t count) {
    std::vector<std::string> seen;
    runUntil([&] {
      seen.clear();
      for (const auto& request : standin().requests()) {
        constexpr std::string_view prefix = "/quorb.registerevent/";
        if (!request.path.starts_with(prefix)) continue;
        auto parsed = NSJSONSerialization::JSONObjectWithBytes(request.queryValue("data").value_or(""));
        auto data = parsed ? asA<NSDictionary>(*parsed) : nullptr;
        auto info = data ? data->objectForKeyAs<NSString>("info") : nullptr;
        seen.push_back(request.path.substr(prefix.size()) + " " + (info ? info->string() : "<none>"));
      }
      return seen.size() >= count;
    });
    std::ranges::sort(seen);
    return seen;
  }
  static std::vector<std::string> sorted(std::vector<std::string> list) {
    std::ranges::sort(list);
    return list;
  }

  std::shared_ptr<NSWindow> window;
  UISimulator ui;
};
