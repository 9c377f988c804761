// The panel's text fields through X input: a click inside an emoji puts the caret at one of
// its edges and what is typed there keeps the emoji whole, and thousands of characters
// pasted from another program's clipboard are cut to what the field takes, with a message,
// while the panel goes on answering.

#include "model/InputLimits.h"
#include "platform/appkit/NSFont.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

// Where the text of the forms' inputs begins, from the panel's left: the card's inset, the
// row's and the cell's.
constexpr double kFieldTextLeft = 20 + 30 + 10;
// The sign-up form's user name caption and the error line under its input, in the panel.
constexpr NSRect kSignupUsernameCaption{{50, 72}, {300, 25}};
constexpr NSRect kSignupUsernameError{{50, 141}, {300, 20}};
constexpr std::string_view kFieldGrin = "\U0001F600";

class TextFieldTest : public DesktopUserTest {
 protected:
  void SetUp() override {
    DesktopUserTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(launch());
    ASSERT_NO_FATAL_FAILURE(acceptTerms());
    clickPanel(P::accountButton);
    ASSERT_TRUE(panelShows(P::loginCard, isNearWhite)) << "the log-in form opens";
  }
};

TEST_F(TextFieldTest, AClickInsideAnEmojiAndTypingKeepTheEmojiWhole) {
  const std::string text = "a" + std::string(kFieldGrin) + "b";
  copyInAnotherProgram(text);
  clickPanel(P::loginUsername);
  pressKeys("ctrl+v");
  ASSERT_TRUE(focusedFieldHolds(text)) << clipboard();

  // The form's font, as the field draws it: where the emoji lies on the line.
  auto font = NSFont::fontWithName("Avenir Next Regular", 15);
  ASSERT_TRUE(font);
  const double emojiLeft = kFieldTextLeft + font->sizeOfString("a").width;
  const double emojiWidth = font->sizeOfString(kFieldGrin).width;
  ASSERT_GT(emojiWidth, 4);
  // Past the emoji's middle the caret goes after it, before its middle before it.
  clickPanel({emojiLeft + emojiWidth * 0.75, P::loginUsername.y});
  typeText("x");
  EXPECT_TRUE(focusedFieldHolds("a" + std::string(kFieldGrin) + "xb")) << clipboard();
  clickPanel({emojiLeft + emojiWidth * 0.25, P::loginUsername.y});
  typeText("y");
  EXPECT_TRUE(focusedFieldHolds("ay" + std::string(kFieldGrin) + "xb")) << clipboard();
  EXPECT_EQ(clipboard().find("\uFFFD"), std::string::npos);
  expectScreenMatchesRepaint("typed around the emoji");
}

TEST_F(TextFieldTest, APasteOfTenThousandCharactersIsCutWithAMessageAndThePanelGoesOnAnswering) {
  clickPanel(P::loginToSignup);
  ASSERT_TRUE(panelShows(P::signupSubmitFill, isBlueish)) << "the sign-up form replaces the log-in form";
  const std::string pasted(10'500, 'u');
  copyInAnotherProgram(pasted);
  clickPanel(P::signupUsername);
  pressKeys("ctrl+v");
  // The panel takes the next keys at once: Tab moves on, and what is typed lands.
  pressKeys("Tab");
  typeText("e@x.example");
  EXPECT_TRUE(focusedFieldHolds("e@x.example")) << clipboard().size() << " characters";
  clickPanel(P::signupUsername);
  EXPECT_TRUE(focusedFieldHolds(std::string(InputLimits::username, 'u'))) << clipboard().size() << " characters";

  // The caption turns red and the line under the input says why the paste was cut.
  EXPECT_GT(panelPixelsIn(kSignupUsernameCaption, isErrorRed, "cut"), 20);
  EXPECT_GT(panelPixelsIn(kSignupUsernameError, [](std::uint32_t rgb) { return (rgb & 0xFF) < 100; }, "cut"), 20)
      << "the message under the input";
  expectScreenMatchesRepaint("after the paste");
  EXPECT_FALSE(standinReceived("/quorb.signup")) << "nothing went to the service";
}

}  // namespace
