// What the service did not take while the application ran (a GIF saved during an outage, a
// favourite taken back while the service failed) goes again when the application next
// starts, and again at growing intervals while the service keeps failing.

#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "tests/app/ShellReset.h"
#include "tests/collections/CollectionsFixture.h"

namespace {

class UnsentChangesTest : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    resetShellState();
  }
  void TearDown() override {
    if (delegate) delegate->applicationWillTerminate(nullptr);
    delegate.reset();
    resetShellState();
    CollectionsTest::TearDown();
  }
  // The application starts, and its panel (opened at launch) is put away so that time can pass.
  void launch() {
    delegate = AppDelegate::init();
    NSApp()->setDelegate(delegate);
    NSApp()->finishLaunching();
    advance(AppDelegate::Constants::openDelayAtLaunch);
    delegate->closePopoverWithSender(nullptr, false);
  }
  std::size_t sent(const std::string& path, const std::string& pid) {
    return static_cast<std::size_t>(std::ranges::count_if(standin().requests(), [&](const StandinRequest& r) {
      return r.path == path && (r.queryValue("postid") == pid || r.queryValue("pid") == pid);
    }));
  }

  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(UnsentChangesTest, TheNextLaunchSendsThemAndFailuresAreTriedAgainLaterAndLater) {
  auto amy = signIn("amy", "tok-amy");
  auto& state = standin().state();
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(7)));
  ASSERT_TRUE(eventually([&] { return state.liked(amy.userid).size() == 1; }));
  ASSERT_TRUE(eventually([&] { return !manager()->getFavoritesCollection()->interruptedUploadContent(); }));
  standin().injectFault("/quorb.makevornpost", Fault::status500());
  standin().injectFault("/quorb.like", Fault::status500());
  manager()->getSavedCollection()->append(item(4));
  EXPECT_FALSE(manager()->favoriteVornWithVorn(item(7)));
  ASSERT_TRUE(eventually([&] { return sent("/quorb.makevornpost", itemId(4)) == 1 && sent("/quorb.like", itemId(7)) == 2; }));
  settle();
  relaunch();

  // The service is still failing at the launch (its refresh of the user too, which would
  // hand the account over once more when it answers).
  standin().clearFaults();
  standin().injectFault("/quorb.", Fault::status500());
  launch();
  // Each round ends when the application has heard the service's answers.
  auto answered = [&] { return !manager()->isSending(itemId(4)) && !manager()->isRemoving(itemId(7)); };
  ASSERT_TRUE(eventually([&] { return sent("/quorb.makevornpost", itemId(4)) == 2 && sent("/quorb.like", itemId(7)) == 3; }));
  ASSERT_TRUE(eventually(answered));
  settle();
  double wait = CollectionManager::Constants::resendFirstDelay;
  for (std::size_t attempt = 3; attempt <= 5; ++attempt, wait *= 2) {
    advance(wait - 1);
    settle();
    EXPECT_EQ(sent("/quorb.makevornpost", itemId(4)), attempt - 1) << "not before " << wait << " s";
    advance(1);
    ASSERT_TRUE(eventually([&] { return sent("/quorb.makevornpost", itemId(4)) == attempt; })) << wait;
    ASSERT_TRUE(eventually([&] { return sent("/quorb.like", itemId(7)) == attempt + 1; })) << wait;
    ASSERT_TRUE(eventually(answered));
    settle();
  }
  EXPECT_TRUE(state.saved(amy.userid).empty());
  standin().clearFaults();
  advance(wait);
  EXPECT_TRUE(eventually([&] { return state.saved(amy.userid) == std::vector<std::string>{itemId(4)}; }));
  EXPECT_TRUE(eventually([&] { return state.liked(amy.userid).empty(); }));
  EXPECT_TRUE(eventually([&] { return !manager()->hasUnsentChanges(); }));
}

}  // namespace
