// The terms-of-service screen through the simulator: its normal look, the decline road with
// and without the warning step, accept, close, back, the links, the other two layouts and
// the dismissal counter, with the events each action sends.

#include "account/screens/TermsOfServiceViewController.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSTextView.h"
#include "tests/account/screens/AccountScreensFixture.h"
#include "ui/QLXButton.h"
#include "ui/QLXLabel.h"

namespace {

using TOS = TermsOfServiceViewController;

class DecisionLog : public TermsOfServiceViewControllerDelegate {
 public:
  std::vector<std::string> heard;
  void didDismissTOSWithTosController(const std::shared_ptr<TOS>&) override { heard.push_back("dismiss"); }
  void didAcceptTOSWithTosController(const std::shared_ptr<TOS>&) override { heard.push_back("accept"); }
  void didDeclineTOSWithTosController(const std::shared_ptr<TOS>&) override { heard.push_back("decline"); }
};

class TermsOfServiceTest : public AccountScreensTest {
 protected:
  std::shared_ptr<TOS> open(TOS::PresentationLayout layout, bool confirm = true, bool dismissable = true) {
    auto screen = TOS::init(layout, confirm, dismissable);
    screen->setDelegate(log);
    show(screen->view());
    return screen;
  }
  void tap(const std::weak_ptr<CheckBoxControl>& box) {
    ui.click(box.lock()->checkBox());
    finishAnimations();
  }
  std::int64_t dismissals() { return NSUserDefaults::standardUserDefaults()->integerForKey("termsOfServiceDismissal"); }
  std::shared_ptr<DecisionLog> log = std::make_shared<DecisionLog>();
};

TEST_F(TermsOfServiceTest, TheNormalScreenShowsThePromptBothBoxesAndTheLinkLine) {
  auto screen = open(TOS::PresentationLayout::normal);
  EXPECT_DUMP(dumpViewTree(screen->view()), "account/screens/expected/terms-normal.txt");
  auto line = screen->tosClickOutTextView.lock();
  EXPECT_TRUE(line->isSelectable());
  EXPECT_EQ(screen->analyticsDict(), (PlovexAnalytics::EventData{{"info", "normal"}}));
}

TEST_F(TermsOfServiceTest, DecliningWarnsFirstWhenConfirmationIsRequiredAndBackUndoesTheWarning) {
  auto screen = open(TOS::PresentationLayout::normal);
  tap(screen->bottomCheckBox);
  EXPECT_TRUE(log->heard.empty());
  EXPECT_EQ(screen->currentState(), TOS::TOSAcceptanceState::denialConfirmation);
  EXPECT_EQ(screen->bottomCheckBox.lock()->title(), "Confirmed, delete my Zolto personal account information");
  EXPECT_FALSE(screen->bottomCheckBox.lock()->isChecked);
  EXPECT_FALSE(screen->backButton.lock()->isHidden());
  EXPECT_EQ(screen->promptLabel.lock()->stringValue(),
            "If you don't accept by March 22, 2018, your account, login, and username will be deleted.");
  EXPECT_EQ(screen->promptLabelWidth.lock()->constant(), 430);
  EXPECT_EQ(screen->checkBoxContainerHeight.lock()->constant(), 91);
  EXPECT_EQ(screen->bottomCheckBoxHeight.lock()->constant(), 46);

  ui.click(screen->backButton.lock());
  EXPECT_EQ(screen->bottomCheckBox.lock()->title(), "Decline");
  EXPECT_TRUE(screen->backButton.lock()->isHidden());
  EXPECT_EQ(screen->promptLabelWidth.lock()->constant(), 390);
  EXPECT_EQ(screen->checkBoxContainerHeight.lock()->constant(), 70);
  EXPECT_EQ(screen->bottomCheckBoxHeight.lock()->constant(), 25);
  settleLayout(screen->view());
  EXPECT_DUMP(dumpViewTree(screen->view()), "account/screens/expected/terms-normal.txt");

  tap(screen->bottomCheckBox);
  tap(screen->bottomCheckBox);
  EXPECT_EQ(log->heard, std::vector<std::string>{"decline"});
  EXPECT_EQ(events(4), sorted({"tos_reject normal", "tos_back_tap normal", "tos_reject normal", "tos_decline normal"}));
}

TEST_F(TermsOfServiceTest, WithoutConfirmationTheFirstDeclineIsFinalAndAcceptAndCloseReachTheOwner) {
  auto screen = open(TOS::PresentationLayout::normal, false);
  screen->didTapBack(nullptr);  // nothing to go back from: only the event
  tap(screen->bottomCheckBox);
  EXPECT_EQ(screen->currentState(), TOS::TOSAcceptanceState::initial);
  tap(screen->topCheckBox);
  ui.click(screen->closeButton.lock());
  EXPECT_EQ(log->heard, (std::vector<std::string>{"decline", "accept", "dismiss"}));
  EXPECT_EQ(events(4), sorted({"tos_back_tap normal", "tos_decline normal", "tos_accept normal", "tos_close normal"}));
}

TEST_F(TermsOfServiceTest, BlockerAndWelcomeLayoutsAndTheirLinks) {
  auto blocker = open(TOS::PresentationLayout::blocker);
  EXPECT_TRUE(blocker->checkBoxContainer.lock()->isHidden());
  auto line = blocker->tosClickOutTextView.lock();
  EXPECT_EQ(line->string(), "By continuing, you agree to Zolto's Terms of Service and Privacy Policy.");
  EXPECT_EQ(line->frame().size, (NSSize{243, 49}));
  EXPECT_EQ(blocker->tosClickOutTop.lock()->constant(), 25);
  // Both words carry their page, whichever line holds them.
  const auto text = line->string();
  for (auto [word, page] : {std::pair{"Terms of Service", "https://zolto.com/legal-terms"},
                            std::pair{"Privacy Policy", "https://zolto.com/legal-privacy"}}) {
    auto link = line->textStorage()->attributesAtIndex(text.find(word))[NSLinkAttributeName];
    ASSERT_TRUE(asA<NSString>(link)) << word;
    EXPECT_EQ(asA<NSString>(link)->string(), page);
  }
  ASSERT_TRUE(ui.clickText(line, "Terms of Service"));
  EXPECT_EQ(ui.openedURLs, (std::vector<std::string>{"https://zolto.com/legal-terms"}));
  // A link that is no address is left to the text view, but still counted.
  EXPECT_FALSE(blocker->textView(line, NSString::make("not a url"), 0));
  EXPECT_FALSE(blocker->textView(line, nullptr, 0));
  EXPECT_EQ(events(3), std::vector<std::string>(3, "tos_linkout_tap blocker"));
  blocker->view()->removeFromSuperview();

  auto welcome = open(TOS::PresentationLayout::welcome);
  auto content = welcome->contentContainer.lock();
  ASSERT_EQ(content->subviews().size(), 1u);
  EXPECT_EQ(content->subviews()[0], welcome->welcomeUIContainer);
  EXPECT_EQ(welcome->welcomeTOSOKButton.lock()->title(), "OK");
  EXPECT_EQ(welcome->welcomeTOSOKButton.lock()->cornerRadius(), 3.0);
  ASSERT_TRUE(ui.clickText(welcome->welcomeTOSClickOutTextView.lock(), "Terms of Service"));
  EXPECT_EQ(ui.openedURLs.size(), 2u);
}

TEST_F(TermsOfServiceTest, OnlyADismissableScreenCountsItsShowingAndShowsItsCloseButton) {
  EXPECT_EQ(dismissals(), 0);
  auto fixed = open(TOS::PresentationLayout::normal, true, false);
  EXPECT_TRUE(fixed->closeButton.lock()->isHidden());
  EXPECT_EQ(dismissals(), 0);
  auto closable = open(TOS::PresentationLayout::normal);
  EXPECT_FALSE(closable->closeButton.lock()->isHidden());
  settleLayout(closable->view());
  EXPECT_EQ(dismissals(), 1);
  open(TOS::PresentationLayout::normal);
  EXPECT_EQ(dismissals(), 2);

  for (auto raw : {"normal", "blocker", "welcome"}) {
    EXPECT_EQ(TOS::rawValue(*TOS::presentationLayoutWithRawValue(raw)), raw);
  }
  EXPECT_FALSE(TOS::presentationLayoutWithRawValue("Normal"));
}

TEST_F(TermsOfServiceTest, OverThePanelEachLayoutIsCentredAndOnlyTheWarningOffersBack) {
  using Layout = TOS::PresentationLayout;
  for (auto layout : {Layout::normal, Layout::blocker, Layout::welcome}) {
    SCOPED_TRACE(TOS::rawValue(layout));
    auto screen = open(layout);
    auto root = screen->view();
    EXPECT_TRUE(screen->backButton.lock()->isHidden()) << "no Back before a decline";
    const NSRect close = screen->closeButton.lock()->frame();
    EXPECT_TRUE(close.minX() >= 0 && close.maxX() <= root->bounds().maxX()) << "the close button is inside";
    auto block = screen->contentContainer.lock()->subviews().front();
    for (const auto& shown : block->subviews()) {
      if (shown->isHidden()) continue;
      NSRect inRoot = shown->convertRectToView(shown->bounds(), root);
      EXPECT_NEAR(inRoot.midX(), root->bounds().midX(), 1.0) << shown->className() << " is centred";
    }
    screen->view()->removeFromSuperview();
  }
}

}  // namespace
