// The application's shell as a person meets it: the launch order (with the daily collection
// sync, the former archive names and the open event only with an install id), the status
// icon and its popover, the global shortcut and its recorder, launch at login, the daily
// update check, drags out of the panel and GIFs dropped on the icon.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>

#include "app/AppDelegate.h"
#include "app/LoginUtilities.h"
#include "app/PreferencesWindowController.h"
#include "app/RootViewController.h"
#include "browse/DraggableAdTrackingCollectionViewController.h"
#include "platform/appkit/NSAppearance.h"
#include "platform/appkit/NSDraggingItem.h"
#include "platform/appkit/NSDraggingSession.h"
#include "model/AppConstants.h"
#include "platform/appkit/NSDraggingInfo.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSPasteboardItem.h"
#include "platform/appkit/NSViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/appkit/NSScreen.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/services/MASShortcutBinder.h"
#include "platform/services/MASShortcutMonitor.h"
#include "sdk/crash/Veverovodod.h"
#include "sdk/foundation/Murvane.h"
#include "service/Webapp.h"
#include "standin/GifMaker.h"
#include "tests/app/ShellReset.h"
#include "tests/collections/CollectionsFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

constexpr NSEventModifierFlags kShiftCommand = NSEventModifierFlagShift | NSEventModifierFlagCommand;

class AppShellTest : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    resetShell();
    NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
    PlovexAnalytics::setSharedPlovexAnalytics(PlovexAnalytics::init());
  }
  void TearDown() override {
    if (delegate) delegate->applicationWillTerminate(nullptr);
    delegate.reset();
    resetShell();
    CollectionsTest::TearDown();
  }
  void resetShell() { resetShellState(); }
  // One run of the application up to the end of its launch.
  void launch() {
    if (delegate) delegate->applicationWillTerminate(nullptr);
    resetShell();
    delegate = AppDelegate::init();
    NSApp()->setDelegate(delegate);
    NSApp()->finishLaunching();
  }
  std::size_t events(std::string_view name) {
    const std::string path = "/quorb.registerevent/" + std::string(name);
    standin().waitForRequest([&](const StandinRequest& r) { return r.path == path; }, 5.0);
    return static_cast<std::size_t>(
        std::ranges::count_if(standin().requests(), [&](const auto& r) { return r.path == path; }));
  }
  bool shown() const { return delegate->popover()->isShown(); }
  std::string icon() const { return delegate->statusItemView()->dumpText(); }
  void storeShortcut(std::uint16_t key, NSEventModifierFlags flags) {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(MASShortcut::initWithKeyCode(key, flags));
    NSUserDefaults::standardUserDefaults()->setObject(*data, globalKeyboardShortcutKey);
  }
  bool press(std::uint16_t key, NSEventModifierFlags flags) {
    bool taken = MASShortcutMonitor::sharedMonitor()->pressShortcut(key, flags);
    drainMainQueue();
    return taken;
  }

  UISimulator ui;
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(AppShellTest, TheFirstLaunchSetsUpTheShortcutAndTheLoginItemAndOpensThePanelUnderTheIcon) {
  launch();
  EXPECT_TRUE(delegate->isFirstOverallAppOpen());
  EXPECT_EQ(icon(), "image=StatusIcon-Active highlighted");
  EXPECT_TRUE(delegate->isOutsideClickMonitorInstalled());
  auto stored = MASShortcutBinder::shortcutFromStoredValue(
      NSUserDefaults::standardUserDefaults()->objectForKey(globalKeyboardShortcutKey));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->keyCode(), 5);
  EXPECT_EQ(stored->modifierFlags(), 0x120000u);
  EXPECT_TRUE(MASShortcutMonitor::sharedMonitor()->isShortcutRegistered(stored));
  EXPECT_TRUE(LoginUtilities::initialAutoLaunchHasBeenSet());
  ASSERT_TRUE(LoginUtilities::isLaunchAtStartup());
  EXPECT_EQ(LoginUtilities::itemRefInLoginItems()->resolve(),
            std::filesystem::weakly_canonical(NSBundle::mainBundle()->executablePath()));

  EXPECT_FALSE(shown());
  advance(0.2);
  ASSERT_TRUE(shown());
  EXPECT_FALSE(delegate->isFirstOverallAppOpen()) << "the first showing uses it up";
  auto root = delegate->rootController();
  ASSERT_TRUE(root);
  ASSERT_TRUE(root->isPresentingTermsOfServiceInterface());
  EXPECT_EQ(root->termsOfServiceViewController->currentLayout(),
            TermsOfServiceViewController::PresentationLayout::welcome);
  EXPECT_EQ(NSUserDefaults::standardUserDefaults()->integerForKey("termsOfServiceShown"), 2);
  EXPECT_EQ(NSApp()->keyWindow(), delegate->popover()->window());
  EXPECT_EQ(delegate->updater()->backgroundChecks(), 1);
  EXPECT_EQ(events(AppDelegate::Constants::applicationOpenEvent), 1u);
  EXPECT_EQ(events(AppDelegate::Constants::launchEvent), 1u);
  EXPECT_TRUE(delegate->collectionSyncTimer()->isValid());
  EXPECT_TRUE(Murvane::sharedInstance()->hasStarted(Veverovodod::kitClass()));

  // The panel hangs from the icon: its top at the icon's bottom, centred under it.
  NSRect item = delegate->statusItem()->window()->frame();
  NSRect panel = delegate->popover()->window()->frame();
  EXPECT_EQ(panel.maxY(), item.minY());
  EXPECT_EQ(panel.midX(), std::min(item.midX(), NSScreen::mainScreen()->frame().maxX() - panel.width() / 2));

  // The terms cover the search field: it takes no keys under them, neither as the panel first
  // shows nor when the shortcut brings it back.
  auto search = root->searchTextField.lock();
  auto window = delegate->popover()->window();
  EXPECT_NE(window->focusedView().get(), search.get()) << "the search field has the keys under the terms";
  EXPECT_TRUE(press(NSKeyCode::g, kShiftCommand));
  ASSERT_FALSE(shown());
  EXPECT_TRUE(press(NSKeyCode::g, kShiftCommand));
  ASSERT_TRUE(shown());
  ASSERT_TRUE(root->isPresentingTermsOfServiceInterface());
  EXPECT_NE(window->focusedView().get(), search.get()) << "the shortcut gave the search field the keys under the terms";
  ui.typeText("cats");
  EXPECT_EQ(search->stringValue(), "");

  delegate->applicationWillTerminate(nullptr);
  EXPECT_FALSE(delegate->collectionSyncTimer());
}

TEST_F(AppShellTest, TheLaunchSynchronisesTheCollectionsAtOnceAndThenOnceADayUntilTheEnd) {
  signIn("syncer", "token-syncer");
  auto kept = manager()->createNewCollection("kept", true, true);
  ASSERT_TRUE(eventually([&] { return kept->identifier() != 0; })) << "a pack the service knows has a stream";
  settle();
  auto synchronised = [&] {
    settle();
    auto lines = printedLines();
    return std::ranges::count_if(lines, [](const std::string& line) { return line.starts_with("SYNCHRONIZING: "); });
  };
  ASSERT_EQ(synchronised(), 0);
  launch();
  const auto perRun = synchronised();
  EXPECT_EQ(perRun, 2) << "Favorites and the user's pack, at launch";
  // The days pass with the panel closed, whose playing tiles would make each moment a frame.
  advance(0.2);
  delegate->closePopoverWithSender(nullptr, false);
  advance(86400.0 - 0.2 - 1.0);
  EXPECT_EQ(synchronised(), perRun);
  advance(1.0);
  EXPECT_EQ(synchronised(), 2 * perRun) << "a day after the launch";
  advance(86400.0);
  EXPECT_EQ(synchronised(), 3 * perRun);
  delegate->applicationWillTerminate(nullptr);
  advance(86400.0);
  EXPECT_EQ(synchronised(), 3 * perRun) << "never after the end";
}

TEST_F(AppShellTest, TheLaunchLetsArchivesOfTheFormerModuleNamesDecode) {
  std::vector<std::string> names;
  for (const char* module : {"Zolto", "Glimdeck", "Zolto_Glimdeck_for_Mac"}) {
    for (const char* record : {"VornObject", "PlovexUser", "QuorbUser"}) {
      names.push_back(std::string(module) + "." + record);
      NSKeyedUnarchiver::setClass("", names.back());  // as a process that never launched
    }
  }
  for (const auto& name : names) ASSERT_FALSE(NSKeyedUnarchiver::classForClassName(name)) << name;
  launch();
  for (const auto& name : names) {
    EXPECT_EQ(NSKeyedUnarchiver::classForClassName(name), name.substr(name.find('.') + 1)) << name;
  }
}

TEST_F(AppShellTest, WithoutAnInstallIdTheLaunchSendsNoOpenEvent) {
  NSUserDefaults::standardUserDefaults()->removeObjectForKey("analytics-key");
  standin().injectFault("/quorb.quorbid", Fault::stall(), 1);
  PlovexAnalytics::setSharedPlovexAnalytics(PlovexAnalytics::init());
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  launch();
  advance(0.2);
  ASSERT_TRUE(shown());
  // The id comes after all: what the launch did without it stays unsent.
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([] { return PlovexAnalytics::sharedPlovexAnalytics()->quorbID().has_value(); }));
  ASSERT_TRUE(runUntil([] { return Webapp::session()->allTasks().empty(); }));
  auto sent = [&](std::string_view name) {
    return std::ranges::count_if(standin().requests(), [&](const auto& r) {
      return r.path == "/quorb.registerevent/" + std::string(name);
    });
  };
  EXPECT_EQ(sent(AppDelegate::Constants::applicationOpenEvent), 0);
  EXPECT_EQ(sent(AppDelegate::Constants::launchEvent), 0);
  // With the id, the next opening of the panel is heard.
  delegate->closePopoverWithSender(nullptr, false);
  delegate->togglePopoverWithSender(nullptr);
  EXPECT_EQ(events(AppDelegate::Constants::launchEvent), 1u);
  EXPECT_EQ(sent(AppDelegate::Constants::applicationOpenEvent), 0);
}

TEST_F(AppShellTest, LaterLaunchesKeepTheUsersShortcutAndLoginItemChoices) {
  launch();
  // The user records another shortcut and takes the application out of the login items.
  storeShortcut(NSKeyCode::k, NSEventModifierFlagCommand | NSEventModifierFlagOption);
  LoginUtilities::toggleLaunchAtStartup();
  ASSERT_FALSE(LoginUtilities::isLaunchAtStartup());

  launch();
  EXPECT_FALSE(delegate->isFirstOverallAppOpen());
  EXPECT_FALSE(LoginUtilities::isLaunchAtStartup()) << "only the first run adds the login item";
  advance(0.2);
  ASSERT_TRUE(shown());
  EXPECT_FALSE(press(NSKeyCode::g, kShiftCommand)) << "the default never replaces a recorded shortcut";
  EXPECT_TRUE(press(NSKeyCode::k, NSEventModifierFlagCommand | NSEventModifierFlagOption));
  EXPECT_FALSE(shown());
  EXPECT_EQ(icon(), "image=StatusIcon-Light");
}

TEST_F(AppShellTest, ClicksOnTheIconToggleThePanelAndClicksElsewhereCloseIt) {
  launch();
  advance(0.2);
  auto view = delegate->statusItemView();
  ASSERT_TRUE(shown());

  ui.click(view);
  EXPECT_FALSE(shown());
  EXPECT_EQ(icon(), "image=StatusIcon-Light");
  EXPECT_FALSE(delegate->isOutsideClickMonitorInstalled());

  ui.click(view);
  EXPECT_TRUE(shown());
  EXPECT_EQ(icon(), "image=StatusIcon-Active highlighted");
  EXPECT_TRUE(delegate->isOutsideClickMonitorInstalled());

  ui.click(delegate->popover()->contentViewController()->view());
  EXPECT_TRUE(shown()) << "a click inside the panel keeps it";
  ui.clickInOtherApplication(NSMakePoint(20, 20));
  EXPECT_FALSE(shown());

  EXPECT_TRUE(press(NSKeyCode::g, kShiftCommand));
  EXPECT_TRUE(shown());
  EXPECT_TRUE(press(NSKeyCode::g, kShiftCommand));
  EXPECT_FALSE(shown());
}

TEST_F(AppShellTest, TheIconFollowsTheDesktopsLightOrDarkLook) {
  launch();
  advance(0.2);
  ASSERT_TRUE(shown());
  auto dark = NSAppearance::appearanceNamed(NSAppearanceNameDarkAqua);
  NSAppearance::setEffectiveAppearance(dark);
  EXPECT_EQ(icon(), "image=StatusIcon-Active highlighted") << "the open panel's icon stays";
  ui.click(delegate->statusItemView());
  EXPECT_EQ(icon(), "image=StatusIcon-Dark");
  NSAppearance::setEffectiveAppearance(NSAppearance::appearanceNamed(NSAppearanceNameAqua));
  EXPECT_EQ(icon(), "image=StatusIcon-Light") << "the desktop's change shows at once";
  NSAppearance::setEffectiveAppearance(dark);
  EXPECT_EQ(icon(), "image=StatusIcon-Dark");
  NSAppearance::setEffectiveAppearance(nullptr);
  EXPECT_EQ(icon(), "image=StatusIcon-Light");
}

// How many of the icon's pixels, laid on a tray of that grey, differ from the tray by a
// quarter of the scale or more in lightness: the part of the icon a user can make out.
int pixelsStandingOut(const NSImage& image, double tray) {
  int count = 0;
  for (int y = 0; y < image.pixelHeight(); ++y) {
    for (int x = 0; x < image.pixelWidth(); ++x) {
      auto p = image.pixelAt(x, y);
      const double a = p[3] / 255.0;
      const double lightness = (0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]) / 255.0;
      if (std::abs(a * lightness + (1 - a) * tray - tray) >= 0.25) ++count;
    }
  }
  return count;
}

TEST_F(AppShellTest, TheIconStandsOutOnALightTrayAndOnADarkOneOpenOrClosed) {
  launch();
  advance(0.2);
  ASSERT_TRUE(shown());
  constexpr double lightTray = 0.93, darkTray = 0.13;
  auto view = delegate->statusItemView();
  struct Look {
    std::string name;
    std::shared_ptr<NSAppearance> appearance;
    double tray;
  };
  const Look looks[] = {{"light", NSAppearance::appearanceNamed(NSAppearanceNameAqua), lightTray},
                        {"dark", NSAppearance::appearanceNamed(NSAppearanceNameDarkAqua), darkTray}};
  for (const auto& look : looks) {
    NSAppearance::setEffectiveAppearance(look.appearance);
    for (bool open : {true, false}) {
      if (shown() != open) ui.click(view);
      ASSERT_EQ(shown(), open);
      auto image = view->image();
      ASSERT_TRUE(image) << look.name;
      // The icon's pixels that are not transparent, about a third of its square.
      EXPECT_GE(pixelsStandingOut(*image, look.tray), image->pixelWidth() * image->pixelHeight() / 4)
          << look.name << (open ? ", the panel open: " : ", the panel closed: ") << image->name();
    }
  }
  NSAppearance::setEffectiveAppearance(nullptr);
}

TEST_F(AppShellTest, AGIFDroppedOnTheIconOpensThePanelWithTheLogInFormOrTheUploadScreen) {
  NSUserDefaults::standardUserDefaults()->setInteger(2, "termsOfServiceShown");
  LoginUtilities::setInitialAutoLaunch(true);
  launch();
  auto drop = [&] {
    auto gif = NSPasteboardItem::make();
    gif->setData(NSData::fromString(std::string("GIF89a\x01\x00\x01\x00", 10) + "\x00"), kUTTypeGIF);
    ui.dropFromOtherApplication(delegate->statusItemView(), {gif});
  };
  drop();
  auto root = delegate->rootController();
  EXPECT_TRUE(shown());
  EXPECT_TRUE(root->isPresentingLoginInterface()) << "nobody is signed in";
  EXPECT_FALSE(root->isPresentingTermsOfServiceInterface());

  delegate->closePopoverWithSender(nullptr, false);
  root->dismissLoginInterface();
  signIn("dropper", "drop-token");
  drop();
  EXPECT_TRUE(shown());
  EXPECT_TRUE(root->isPresentingUploadInterface());
  EXPECT_FALSE(delegate->isOutsideClickMonitorInstalled()) << "the upload screen keeps the panel open";
  ui.clickInOtherApplication(NSMakePoint(20, 20));
  EXPECT_TRUE(shown());
  root->didTapCancel();
  EXPECT_TRUE(delegate->isOutsideClickMonitorInstalled());
  ui.clickInOtherApplication(NSMakePoint(20, 20));
  EXPECT_FALSE(shown());
}

TEST_F(AppShellTest, TheUpdateCheckRunsAtMostOnceADayWhenThePanelOpens) {
  launch();
  auto reopen = [&] {
    delegate->closePopoverWithSender(nullptr, false);
    delegate->togglePopoverWithSender(nullptr);
    return delegate->updater()->backgroundChecks();
  };
  // The last check is moved back rather than the clock on: the panel's timers would run
  // through a whole day.
  auto lastCheckAgo = [](double seconds) {
    NSUserDefaults::standardUserDefaults()->setObject(NSDate::dateWithTimeIntervalSinceNow(-seconds),
                                                      AppDelegate::Constants::newVersionDate);
  };
  advance(0.2);
  EXPECT_EQ(delegate->updater()->backgroundChecks(), 1);
  EXPECT_EQ(reopen(), 1);
  lastCheckAgo(86000);
  EXPECT_EQ(reopen(), 1);
  lastCheckAgo(86500);
  EXPECT_EQ(reopen(), 2);
  EXPECT_EQ(reopen(), 2);
  // A check date ahead of the clock (it was set back) does not hold the checks off.
  lastCheckAgo(-30 * 86400.0);
  EXPECT_EQ(reopen(), 3);
  EXPECT_EQ(reopen(), 3);
}

TEST_F(AppShellTest, DragsOutOfThePanelCloseItAndACancelledDragBringsItBack) {
  launch();
  advance(0.2);
  auto center = NSNotificationCenter::defaultCenter();
  center->postNotificationName(std::string(AppDelegate::Constants::dragBeginNotification), nullptr);
  EXPECT_FALSE(shown()) << "a drag without its payload still closes the panel";
  EXPECT_EQ(icon(), "image=StatusIcon-Light");
  center->postNotificationName(std::string(AppDelegate::Constants::dragEndNotification), nullptr);
  EXPECT_TRUE(shown());
  EXPECT_EQ(icon(), "image=StatusIcon-Active highlighted");

  // With its payload the drag goes on from the panel's view once the panel is closed.
  struct Source : NSDraggingSource {
    NSDragOperation draggingSession(const std::shared_ptr<NSDraggingSession>&, NSDraggingContext) override {
      return NSDragOperationCopy;
    }
  };
  auto source = std::make_shared<Source>();
  auto payload = std::make_shared<DraggableAdTrackingCollectionViewController::DragBegin>();
  auto item = NSPasteboardItem::make();
  item->setString("https://zolto.example/g/1", NSPasteboardTypeString);
  payload->draggingItem = NSDraggingItem::initWithPasteboardWriter(item);
  payload->view = delegate->popover()->contentViewController()->view();
  payload->source = source;
  payload->event = NSEvent::mouseEventWithType(NSEventType::leftMouseDragged, NSMakePoint(10, 10), 0, 0,
                                               delegate->popover()->window()->windowNumber(), nullptr, 1, 1, 1.0);
  center->postNotificationName(std::string(AppDelegate::Constants::dragBeginNotification), payload);
  EXPECT_FALSE(shown());
  ASSERT_TRUE(NSDraggingSession::current());
  EXPECT_EQ(NSDraggingSession::current()->draggingPasteboard()->stringForType(NSPasteboardTypeString),
            "https://zolto.example/g/1");
}

TEST_F(AppShellTest, ThePreferencesRecordTheShortcutAndSwitchLaunchAtLogin) {
  launch();
  auto preferences = PreferencesWindowController::make();
  auto window = preferences->window();
  window->makeKeyAndOrderFront(nullptr);
  EXPECT_DUMP(dumpWindow(window), "app/expected/preferences.txt");
  auto checkbox = preferences->autoLaunchCheckbox.lock();
  auto recorder = preferences->shortcutView.lock();
  ASSERT_TRUE(checkbox && recorder);
  EXPECT_EQ(checkbox->state(), NSControlStateValueOn);

  // Recording: a key without Command, Control or Option is no shortcut; Escape gives up.
  ui.click(recorder);
  EXPECT_EQ(recorder->shownText(), "Type Shortcut");
  ui.pressKey(NSKeyCode::j, "J", NSEventModifierFlagShift);
  EXPECT_EQ(recorder->shownText(), "Add Ctrl, Alt or Super");
  ui.pressEscape();
  EXPECT_EQ(recorder->shownText(), "Shift+Ctrl+G");
  ui.click(recorder);
  ui.pressKey(NSKeyCode::j, "j", NSEventModifierFlagCommand | NSEventModifierFlagOption);
  EXPECT_EQ(recorder->shownText(), "Ctrl+Alt+J");
  EXPECT_FALSE(press(NSKeyCode::g, kShiftCommand)) << "the old shortcut is let go";
  EXPECT_TRUE(press(NSKeyCode::j, NSEventModifierFlagCommand | NSEventModifierFlagOption));

  // The check box asks the list, whatever it shows.
  ui.click(checkbox);
  EXPECT_FALSE(LoginUtilities::isLaunchAtStartup());
  ui.click(checkbox);
  EXPECT_TRUE(LoginUtilities::isLaunchAtStartup());
  LoginUtilities::toggleLaunchAtStartup();
  auto reopened = PreferencesWindowController::make();
  EXPECT_FALSE(reopened->autoLaunchCheckbox.lock()) << "outlets are set when the window loads";
  reopened->window();
  EXPECT_EQ(reopened->autoLaunchCheckbox.lock()->state(), NSControlStateValueOff);
}

TEST_F(AppShellTest, EscapeOrControlWClosesTheModalPreferencesAndEndsTheirSession) {
  launch();
  auto app = NSApplication::sharedApplication();
  struct Row {
    std::string what;
    std::function<void(UISimulator&, MASShortcutView&)> keys;
    bool closes;
  };
  const Row rows[] = {
      {"Escape", [](UISimulator& ui, MASShortcutView&) { ui.pressEscape(); }, true},
      {"Control-W", [](UISimulator& ui, MASShortcutView&) { ui.pressKey(NSKeyCode::w, "w", NSEventModifierFlagCommand); },
       true},
      {"W alone", [](UISimulator& ui, MASShortcutView&) { ui.pressKey(NSKeyCode::w, "w"); }, false},
      // While the recorder listens, Escape is its own: it stops listening and nothing closes.
      {"Escape while recording",
       [](UISimulator& ui, MASShortcutView& recorder) {
         ui.click(recorder.sharedAs<MASShortcutView>());
         ui.pressEscape();
       },
       false},
  };
  for (const auto& row : rows) {
    auto preferences = PreferencesWindowController::make();
    auto window = preferences->window();
    auto session = app->beginModalSessionForWindow(window);
    ASSERT_EQ(app->modalWindow(), window) << row.what;
    row.keys(ui, *preferences->shortcutView.lock());
    EXPECT_EQ(app->runModalSession(session) == NSModalResponseStop, row.closes) << row.what;
    EXPECT_EQ(window->isVisible(), !row.closes) << row.what;
    app->endModalSession(session);
    window->orderOut(nullptr);
  }
}

// ---- drops on the icon ------------------------------------------------------------------

class DropRecorder : public StatusItemViewDelegate {
 public:
  std::vector<std::size_t> drops;  // items per drop
  void didClickItemWithHighlighted(bool) override {}
  void didDragVornsWithVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) override {
    drops.push_back(vorns.size());
  }
};

TEST_F(AppShellTest, GIFsDroppedOnTheIconBecomeItemsOncePerDrop) {
  auto item = NSStatusBar::systemStatusBar()->statusItemWithLength(statusItemLength);
  auto view = StatusItemView::initWithStatusItem(item);
  auto recorder = std::make_shared<DropRecorder>();
  view->delegate = recorder;
  const std::string gif = GifMaker::animated({});
  auto file = [&](const std::string& name, const std::string& bytes) {
    auto path = home() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return "file://" + path.string();
  };
  auto item_ = [](std::vector<std::pair<std::string, std::string>> contents) {
    auto made = NSPasteboardItem::make();
    for (auto& [type, value] : contents) made->setData(NSData::fromString(value), type);
    return std::vector{made};
  };
  struct Case {
    const char* what;
    std::vector<std::shared_ptr<NSPasteboardItem>> items;
    std::vector<std::size_t> expected;
  };
  std::string twoFiles = file("a.gif", gif) + "\r\n" + file("notes.txt", "text") + "\r\n" + file("b.gif", gif);
  std::vector<Case> cases = {
      {"GIF data wins over file names", item_({{kUTTypeGIF, gif}, {NSFilenamesPboardType, twoFiles}}), {1}},
      {"files: the GIFs among them", item_({{NSFilenamesPboardType, twoFiles}}), {2}},
      {"files that are no GIFs: an empty list", item_({{NSFilenamesPboardType, file("c.txt", "x")}}), {0}},
      {"bytes called a GIF that are none", item_({{kUTTypeGIF, "<html>"}}), {}},
      {"a web address", item_({{NSURLPboardType, "https://example.com/a.gif"}}), {}},
  };
  for (auto& c : cases) {
    recorder->drops.clear();
    ui.dropFromOtherApplication(view, c.items);
    EXPECT_EQ(recorder->drops, c.expected) << c.what;
    EXPECT_TRUE(view->validDrops().empty()) << c.what;
  }
}

}  // namespace
