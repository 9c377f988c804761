// The autosuggest strip against the stand-in, through the simulator: replies for outdated
// text, its height, the arrow keys, a clicked term and clicks outside it.

#include <gtest/gtest.h>

#include "browse/AutosuggestCollectionViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSString.h"
#include "service/Webapp.h"
#include "tests/support/StandinFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class TermLog : public AutosuggestCollectionViewControllerDelegate {
 public:
  void didSelectTermWithTerm(const std::string& term) override { heard.push_back("clicked " + term); }
  void selectedTermChangedWithSelectedTerm(const std::string& term) override { heard.push_back(term); }
  std::vector<std::string> heard;
};

class AutosuggestTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    // The reply lists the prefix followed by a digit, as many as the prefix's length.
    standin().addRoute("GET", "/v1/suggest", [](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
      auto prefix = request.queryValue("tag").value_or("");
      std::string json = R"({"results": [)";
      for (std::size_t i = 0; i < prefix.size(); ++i) json += (i ? "," : "") + ("\"" + prefix + std::to_string(i) + "\"");
      response.setJson(json + "]}");
    });
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 480, 500), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    strip->view()->setFrame(NSMakeRect(0, 400, 480, 0));
    window->contentView()->addSubview(strip->view());
    strip->delegate = log;
  }
  void TearDown() override {
    strip.reset();
    StandinTest::TearDown();
  }
  // Types the prefix and waits until the strip shows its reply.
  void type(const std::string& prefix) {
    strip->setCurrentPrefix(prefix);
    ASSERT_TRUE(runUntil([&] { return strip->currentTerms.size() == prefix.size(); }));
  }
  // Every request answered and its reply handled on the main queue.
  void settle() {
    ASSERT_TRUE(runUntil([] { return Webapp::session()->allTasks().empty(); }));
    Webapp::session()->delegateQueue()->sync([] {});
    drainMainQueue();
  }
  std::optional<std::size_t> selected() { return strip->collectionView.lock()->selectionIndexes().firstIndex(); }

  std::shared_ptr<AutosuggestCollectionViewController> strip = AutosuggestCollectionViewController::make();
  std::shared_ptr<TermLog> log = std::make_shared<TermLog>();
  std::shared_ptr<NSWindow> window;
  UISimulator ui;
};

TEST_F(AutosuggestTest, AReplyForOutdatedTextNeverReachesTheStrip) {
  standin().injectFault("/v1/suggest", Fault::stall(), 1);
  strip->setCurrentPrefix("ca");
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  type("cat");
  standin().releaseStalls();
  settle();
  EXPECT_EQ(strip->currentTerms, (std::vector<std::string>{"cat0", "cat1", "cat2"}));
  EXPECT_EQ(strip->view()->frame(), NSMakeRect(0, 205, 480, 195));  // grown downwards from its top edge
}

TEST_F(AutosuggestTest, SevenTermsShowFiveRowsAndTheArrowKeysReachOnlyThose) {
  type("abcdefg");
  EXPECT_DUMP(dumpViewTree(strip->view()), "browse/expected/autosuggest-seven-terms.txt");
  for (int press = 0; press < 6; ++press) strip->arrowPressedWithUp(false);
  EXPECT_EQ(selected(), 4u);
  EXPECT_EQ(strip->selectedTerm(), "abcdefg4");
  EXPECT_EQ(log->heard, (std::vector<std::string>{"abcdefg0", "abcdefg1", "abcdefg2", "abcdefg3", "abcdefg4"}));

  type("abc");
  strip->arrowPressedWithUp(true);  // nothing selected: up does nothing
  EXPECT_EQ(selected(), std::nullopt);
  for (int press = 0; press < 3; ++press) strip->arrowPressedWithUp(false);
  EXPECT_EQ(selected(), 2u);
  log->heard.clear();
  strip->arrowPressedWithUp(false);  // the last row: no wrap
  EXPECT_EQ(selected(), 2u);
  strip->arrowPressedWithUp(true);
  strip->arrowPressedWithUp(true);
  strip->arrowPressedWithUp(true);  // up from the first row clears, unreported
  EXPECT_EQ(selected(), std::nullopt);
  EXPECT_EQ(log->heard, (std::vector<std::string>{"abc1", "abc0"}));
}

TEST_F(AutosuggestTest, AClickedTermIsReportedAndClicksOutsideCollapseTheStrip) {
  type("dog");
  auto row = strip->collectionView.lock()->itemAtIndexPath({1, 0});
  ASSERT_TRUE(row);
  ui.click(row->view());  // on its term
  EXPECT_EQ(log->heard, std::vector<std::string>{"clicked dog1"});
  EXPECT_EQ(selected(), std::nullopt);
  EXPECT_EQ(strip->view()->frame().size.height, 195);  // a click inside keeps it open

  auto elsewhere = NSView::initWithFrame(NSMakeRect(0, 0, 100, 100));
  window->contentView()->addSubview(elsewhere);
  ui.click(elsewhere);
  EXPECT_EQ(strip->view()->frame(), NSMakeRect(0, 400, 480, 0));
  EXPECT_TRUE(strip->currentTerms.empty());

  // A click in another window of the application is outside, even where the strip's
  // coordinates would hold the point.
  type("dog");
  auto other = NSWindow::initWithContentRect(NSMakeRect(600, 0, 480, 500), NSWindowStyleMaskTitled);
  other->makeKeyAndOrderFront(nullptr);
  ui.click(other->contentView(), NSMakePoint(100, 300));
  EXPECT_TRUE(strip->currentTerms.empty());
}

}  // namespace
