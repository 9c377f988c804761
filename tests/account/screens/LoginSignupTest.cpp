// The log-in and sign-up form through the simulator against the stand-in: its two looks,
// validation, the service's complaints, the terms splash of a log-in, a success that signs
// in and takes the user's packs in, Tab and Return, the links and closing.

#include "account/QuorbUserManager.h"
#include "account/screens/LoginSignupViewController.h"
#include "model/InputLimits.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/render/TextLayout.h"
#include "platform/foundation/NSNumber.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSColorPalette.h"
#include "tests/account/screens/AccountScreensFixture.h"
#include "tests/support/PNGPixels.h"
#include "ui/CheckBoxControl.h"
#include "ui/QLXButton.h"
#include "ui/QLXLabel.h"
#include "ui/QLXView.h"

namespace {

class OwnerLog : public LoginSignupViewControllerDelegate {
 public:
  int cancelled = 0;
  int finished = 0;
  void authenticationDidCancel() override { ++cancelled; }
  void authenticationDidFinish() override { ++finished; }
};

class LoginSignupTest : public AccountScreensTest {
 protected:
  void SetUp() override {
    AccountScreensTest::SetUp();
    form->setDelegate(owner);
    show(form->view());
  }
  void type(const std::weak_ptr<NSTextField>& field, const std::string& text) {
    ui.click(field.lock());
    ui.typeText(text);
  }
  void fill(const std::string& username, const std::string& password) {
    type(form->usernameTextField, username);
    type(form->passwordTextField, password);
  }
  // The button under the form: from log-in to sign-up, and back.
  void switchMode() {
    ui.click(form->stateToggleButton.lock());
    settleLayout(form->view());
    drainMainQueue();
  }
  void tick(const std::weak_ptr<CheckBoxControl>& box) {
    ui.click(box.lock()->checkBox());
    finishAnimations();
  }
  // Submits with the main button and waits for the reply to be handled.
  void submit() {
    ui.click(form->authenticationButton.lock());
    ASSERT_TRUE(runUntil([&] { return form->loadingOverlay.lock()->isHidden(); }));
  }
  // The error lines that show something, as "place: text".
  std::vector<std::string> errors() {
    std::vector<std::string> shown;
    const std::pair<const char*, std::weak_ptr<QLXLabel>> lines[] = {
        {"username", form->usernameTextFieldErrorLabel}, {"email", form->emailTextFieldErrorLabel},
        {"password", form->passwordTextFieldErrorLabel}, {"tos", form->tosCheckBoxErrorLabel}};
    for (const auto& [place, line] : lines) {
      if (!line.lock()->isHidden()) shown.push_back(std::string(place) + ": " + line.lock()->stringValue());
    }
    return shown;
  }
  std::size_t requests(std::string_view path) {
    return std::ranges::count_if(standin().requests(), [&](const auto& request) { return request.path == path; });
  }
  std::shared_ptr<NSObject> focused() {
    auto editor = asA<NSTextView>(window->firstResponder());
    return editor ? editor->delegateObject() : window->firstResponder();
  }

  using Stops = std::vector<std::shared_ptr<NSObject>>;
  // The form's stops in Tab order (those of the mode shown).
  Stops stops() {
    Stops all{form->usernameTextField.lock(), form->emailTextField.lock(), form->passwordTextField.lock(),
              form->tosCheckBox.lock()};
    if (form->currentState == AuthenticationState::login) return {all[0], all[2]};
    return all;
  }
  // The stops whose look says that they have the keys, from a picture of the form: the focus
  // colour just inside the edge of an input or of the box, at the middle of its left side.
  Stops stopsShowingTheKeys() {
    const auto file = home() / "form.png";
    EXPECT_TRUE(ViewTreeRenderer::writeViewPNG(form->view(), file));
    const auto picture = PNGPixels::read(file);
    Stops showing;
    for (const auto& stop : stops()) {
      auto box = asA<CheckBoxControl>(stop);
      auto view = box ? box->checkBox() : asA<NSView>(stop);
      const NSRect r = view->convertRectToView(view->bounds(), form->view());
      const auto rgb = picture.at(static_cast<int>(r.minX()) + (box ? 1 : 2), static_cast<int>(r.midY()));
      const int red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
      if (blue > red + 60 && blue > green + 30) showing.push_back(stop);
    }
    return showing;
  }
  // Where Tab (Shift-Tab when `back`) pressed `times` times gave the keys each time; each time
  // that stop alone shows them.
  Stops tabThrough(int times, bool back = false) {
    Stops went;
    for (int i = 0; i < times; ++i) {
      back ? ui.pressBacktab() : ui.pressTab();
      went.push_back(focused());
      EXPECT_EQ(stopsShowingTheKeys(), Stops{focused()}) << (back ? "Shift-Tab " : "Tab ") << i + 1;
      EXPECT_EQ(form->tosCheckBox.lock()->showsFocus(), focused() == form->tosCheckBox.lock());
    }
    return went;
  }

  std::shared_ptr<LoginSignupViewController> form = LoginSignupViewController::init();
  std::shared_ptr<OwnerLog> owner = std::make_shared<OwnerLog>();
};

TEST_F(LoginSignupTest, BothModesLookAsDesignedAndSwitchingEmptiesTheForm) {
  EXPECT_DUMP(dumpViewTree(form->view()), "account/screens/expected/login-form.txt");
  switchMode();
  EXPECT_DUMP(dumpViewTree(form->view()), "account/screens/expected/signup-form.txt");

  type(form->usernameTextField, "amy");
  tick(form->tosCheckBox);
  form->validateInput();
  ui.click(form->stateToggleButton.lock());
  ui.click(form->stateToggleButton.lock());
  EXPECT_EQ(form->currentState, AuthenticationState::signup);
  EXPECT_EQ(form->usernameTextField.lock()->stringValue(), "");
  EXPECT_FALSE(form->tosCheckBox.lock()->isChecked);
  EXPECT_EQ(errors(), std::vector<std::string>{});
  EXPECT_EQ(rawValue(*authenticationStateWithRawValue("signup")), "signup");
  EXPECT_FALSE(authenticationStateWithRawValue("Login"));
}

TEST_F(LoginSignupTest, ValidationNamesEveryEmptyFieldAndSendsNothing) {
  submit();
  EXPECT_EQ(errors(), (std::vector<std::string>{"username: Please enter a value.", "password: Please enter a value."}));
  EXPECT_EQ(form->usernameTextField.lock()->layer()->borderColor(), NSColorPalette::errorRed()->CGColor());
  switchMode();
  submit();
  EXPECT_EQ(errors(), (std::vector<std::string>{"username: Please enter a value.", "email: Please enter a value.",
                                                "password: Please enter a value.",
                                                "tos: Please accept the terms of service to create an account."}));
  EXPECT_EQ(requests("/quorb.login") + requests("/quorb.signup"), 0u);

  // Spaces are content: this goes to the service, whose complaint is shown in its words.
  ui.click(form->stateToggleButton.lock());
  fill("   ", "secret");
  submit();
  EXPECT_EQ(requests("/quorb.login"), 1u);
  EXPECT_EQ(errors(), std::vector<std::string>{"username: Wrong Password"});
}

TEST_F(LoginSignupTest, TheServicesComplaintsGoUnderTheirFields) {
  standin().state().accounts().seedUser("amy", "pw");
  switchMode();
  type(form->usernameTextField, "amy");
  type(form->emailTextField, "amy@example.com");
  type(form->passwordTextField, "pw2");
  tick(form->tosCheckBox);
  submit();
  EXPECT_EQ(errors(), std::vector<std::string>{"username: Username is taken"});
  EXPECT_EQ(form->usernameTextFieldHeader.lock()->textColor(), NSColorPalette::errorRed());

  struct Case {
    std::shared_ptr<NSDictionary> map;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {NSDictionary::make({{"username", NSString::make("is taken")}, {"login", NSNumber::numberWithInteger(1)}}),
       {"username: Incorrect username or password."}},
      {NSDictionary::make({{"email", NSNumber::numberWithInteger(5)}}), {}},
      {NSDictionary::make({{"email", NSString::make("is not valid")}, {"password", NSString::make("is short")}}),
       {"email: Email is not valid", "password: Password is short"}},
  };
  for (const auto& c : cases) {
    form->displayErrorsWithErrorMap(c.map);
    EXPECT_EQ(errors(), c.shown);
  }
}

TEST_F(LoginSignupTest, FailuresWithoutAFieldStillSayWhy) {
  standin().injectFault("/quorb.login", Fault::drop());
  fill("amy", "pw");
  submit();
  EXPECT_EQ(errors(), std::vector<std::string>{"username: An error has occurred. Please try again."});
  standin().clearFaults();
  // A reply that is neither user nor complaint reads as a wrong password.
  standin().addRoute("GET", "/quorb\\.login", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.setJson(R"({"tosacceptancerequired": false})");
  });
  submit();
  EXPECT_EQ(errors(), (std::vector<std::string>{"username: ", "password: Incorrect username or password."}));
  EXPECT_EQ(owner->finished, 0);
}

TEST_F(LoginSignupTest, ALogInThatNeedsTheTermsShowsTheSplashAndAcceptingLogsInAgain) {
  auto amy = standin().state().accounts().seedUser("amy", "pw", true);
  fill("amy", "pw");
  submit();
  auto splash = form->termsOfServiceViewController;
  ASSERT_TRUE(splash);
  EXPECT_EQ(splash->view()->superview(), form->view());
  EXPECT_FALSE(splash->requiresDenialConfirmation);
  EXPECT_EQ(events(1), std::vector<std::string>{"tos_splash_screen normal"});

  // Declining closes the splash after its fade and sends nothing.
  settleLayout(splash->view());
  ui.click(splash->bottomCheckBox.lock()->checkBox());
  finishAnimations();
  finishAnimations();
  EXPECT_FALSE(form->termsOfServiceViewController);
  EXPECT_FALSE(splash->view()->superview());
  EXPECT_EQ(requests("/quorb.login"), 1u);
  EXPECT_EQ(form->usernameTextField.lock()->stringValue(), "amy");

  submit();
  ASSERT_TRUE(form->termsOfServiceViewController);
  settleLayout(form->termsOfServiceViewController->view());
  ui.click(form->termsOfServiceViewController->topCheckBox.lock()->checkBox());
  finishAnimations();
  ASSERT_TRUE(runUntil([&] { return owner->finished == 1; }));
  auto logins = standin().requests();
  std::erase_if(logins, [](const auto& request) { return request.path != "/quorb.login"; });
  ASSERT_EQ(logins.size(), 3u);
  EXPECT_EQ(logins[1].queryValue("tos"), std::nullopt);
  EXPECT_EQ(logins[2].queryValue("tos"), "true");
  EXPECT_EQ(logins[2].queryValue("username"), "amy");
  EXPECT_EQ(QuorbUserManager::init()->quorbUser->userId, amy.userid);
}

TEST_F(LoginSignupTest, ASplashThatCameAgainDuringTheFadeStays) {
  standin().state().accounts().seedUser("amy", "pw", true);
  standin().addRoute("GET", "/quorb\\.login", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.setJson(R"({"user": {"id": 5, "username": "amy"}, "tosacceptancerequired": true})");
  });
  fill("amy", "pw");
  submit();
  form->didAcceptTOSWithTosController(form->termsOfServiceViewController);
  ASSERT_TRUE(runUntil([&] { return requests("/quorb.login") == 2 && form->loadingOverlay.lock()->isHidden(); }));
  auto second = form->termsOfServiceViewController;
  finishAnimations();
  EXPECT_EQ(form->termsOfServiceViewController, second);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->view()->superview(), form->view());
}

TEST_F(LoginSignupTest, SuccessSignsInClaimsLocalPacksAndMergesTheUsersPacksWithoutDeleting) {
  auto& state = standin().state();
  auto amy = state.accounts().seedUser("amy", "pw");
  const auto served = state.createCollection("cats", amy.userid);
  auto manager = CollectionManager::sharedInstance();
  auto local = manager->createNewCollection("made here", true, true);
  ASSERT_TRUE(runUntil([&] { return local->identifier() != 0 && local->anonymousToken(); }));

  fill("amy", "pw");
  ui.pressReturn();  // Return in the password field submits
  ASSERT_TRUE(runUntil([&] { return owner->finished == 1; }));
  EXPECT_TRUE(QuorbUser::authToken().has_value());
  EXPECT_EQ(QuorbUserManager::init()->quorbUser->username, "amy");
  ASSERT_TRUE(manager->getCollectionByIdentifier(served));
  EXPECT_EQ(manager->getCollectionByIdentifier(served)->name(), "cats");
  EXPECT_TRUE(runUntil([&] { return state.collection(local->identifier())->owner == amy.userid; }));
  EXPECT_TRUE(manager->getCollectionByIdentifier(local->identifier()));
  EXPECT_EQ(owner->finished, 1);
}

// One call at a time: submitting again while a call is under way sends nothing more.
TEST_F(LoginSignupTest, ASecondSubmissionWhileOneIsUnderWaySendsNothing) {
  standin().state().accounts().seedUser("amy", "pw");
  standin().injectFault("/quorb.login", Fault::stall());
  fill("amy", "pw");
  ui.pressReturn();
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  ui.pressReturn();
  ui.click(form->authenticationButton.lock());
  drainMainQueue();
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return owner->finished == 1; }));
  drainMainQueue();
  EXPECT_EQ(requests("/quorb.login"), 1u);
  EXPECT_EQ(owner->finished, 1);
}

TEST_F(LoginSignupTest, ReturnOutsideThePasswordFieldLinksAndClose) {
  ui.click(form->usernameTextField.lock());
  ui.pressReturn();
  EXPECT_EQ(errors(), std::vector<std::string>{}) << "Return outside the password field submits nothing";

  ui.click(form->forgotPasswordButton.lock());
  switchMode();
  ASSERT_TRUE(ui.clickText(form->tosClickOutTextView.lock(), "Privacy Policy"));
  EXPECT_EQ(ui.openedURLs, (std::vector<std::string>{"https://zolto.com/forgot-password", "https://zolto.com/legal-privacy"}));
  EXPECT_EQ(events(1), std::vector<std::string>{"tos_linkout_tap signup"});

  form->tappedCloseButton(nullptr);
  EXPECT_EQ(owner->cancelled, 1);
}

// The form is sent by keyboard alone: in sign-up Tab goes through the user name, the e-mail,
// the password and the consent box and round again, Shift-Tab goes back, Space ticks the box,
// and each stop shows while it has the keys; Return in the password field sends the form. In
// log-in, even after the box had the keys, Tab goes between the two fields.
TEST_F(LoginSignupTest, TheSignUpFormIsSentByKeyboardThroughEveryStopIncludingTheConsentBox) {
  switchMode();
  auto box = form->tosCheckBox.lock();
  const std::shared_ptr<NSObject> username = form->usernameTextField.lock(), email = form->emailTextField.lock(),
                                  password = form->passwordTextField.lock();
  EXPECT_EQ(focused(), username) << "the switched form gives its first field the keys";
  EXPECT_EQ(tabThrough(5), (Stops{email, password, box, username, email}));
  EXPECT_EQ(tabThrough(4, true), (Stops{username, box, password, email}));
  ASSERT_EQ(tabThrough(2), (Stops{password, box}));

  switchMode();
  EXPECT_EQ(focused(), username) << "the keys leave the hidden box for the first field";
  EXPECT_FALSE(box->showsFocus());
  EXPECT_EQ(stopsShowingTheKeys(), Stops{focused()});
  EXPECT_EQ(tabThrough(2), (Stops{password, username}));
  EXPECT_EQ(tabThrough(2, true), (Stops{password, username}));

  switchMode();
  ASSERT_EQ(focused(), username);
  for (const char* text : {"kim", "kim@example.com", "keys-only"}) {
    ui.typeText(text);
    tabThrough(1);
  }
  ASSERT_EQ(focused(), box);
  ui.pressKey(NSKeyCode::space, " ");
  finishAnimations();
  EXPECT_TRUE(box->isChecked) << "Space ticks the box";
  EXPECT_TRUE(box->showsFocus());
  ui.pressReturn();
  ASSERT_TRUE(runUntil([&] { return owner->finished == 1; })) << "Return on the box sends the form; errors: " << errors().size();
  EXPECT_EQ(requests("/quorb.signup"), 1u);
}

TEST_F(LoginSignupTest, OverThePanelEveryLineFitsAndNoMessageTouchesTheCaptionBelow) {
  switchMode();
  // The consent sentence shows whole: "Privacy Policy" is not cut off.
  auto consent = form->tosClickOutTextView.lock();
  auto shownWidth = consent->superview()->bounds().width();  // the scroll view's clip
  EXPECT_LE(consent->font()->sizeOfString(consent->string()).width, shownWidth);
  EXPECT_EQ(form->emailTextField.lock()->frame().height(), form->usernameTextField.lock()->frame().height())
      << "the e-mail input is as tall as the others";

  // The longest complaints, under the user name and the e-mail address at once.
  for (auto place : {AuthenticationInputType::username, AuthenticationInputType::email}) {
    form->showError("An error has occurred. Please try again.", place);
  }
  settleLayout(form->view());
  const std::pair<std::weak_ptr<QLXLabel>, std::weak_ptr<QLXLabel>> pairs[] = {
      {form->usernameTextFieldErrorLabel, form->emailTextFieldHeader},
      {form->emailTextFieldErrorLabel, form->passwordTextFieldHeader}};
  for (const auto& [line, caption] : pairs) {
    auto message = line.lock();
    auto text = message->font()->sizeOfString(message->stringValue());
    EXPECT_LE(text.height, message->frame().height()) << message->stringValue();
    EXPECT_LT(message->frame().maxY(), caption.lock()->frame().minY()) << caption.lock()->stringValue();
  }
  // In the log-in form the message of a failed log-in stands under the user name, clear of
  // the password's caption.
  switchMode();
  form->showError("Incorrect username or password.", AuthenticationInputType::username);
  settleLayout(form->view());
  EXPECT_LT(form->usernameTextFieldErrorLabel.lock()->frame().maxY(), form->passwordTextFieldHeader.lock()->frame().minY());
}

TEST_F(LoginSignupTest, EveryMessageShowsWholeAndTheRowsBelowMakeRoomForIt) {
  switchMode();
  submit();
  settleLayout(form->view());
  EXPECT_DUMP(dumpViewTree(form->view()), "account/screens/expected/signup-errors.txt");

  // The form's longest sentence and a long complaint of the service, at each place.
  struct Case {
    std::string message;
    AuthenticationInputType place;
    std::weak_ptr<QLXLabel> line;
  };
  const std::string complaint = "That name belongs to someone else already; choose another one, or log in if it is yours.";
  const Case cases[] = {
      {std::string(LoginSignupViewController::Constants::acceptTermsMessage), AuthenticationInputType::tos,
       form->tosCheckBoxErrorLabel},
      {complaint, AuthenticationInputType::username, form->usernameTextFieldErrorLabel},
      {complaint, AuthenticationInputType::email, form->emailTextFieldErrorLabel},
      {complaint, AuthenticationInputType::password, form->passwordTextFieldErrorLabel},
  };
  for (const auto& c : cases) {
    form->clearErrors();
    form->showError(c.message, c.place);
    settleLayout(form->view());
    auto line = c.line.lock();
    // What the message takes, wrapped in the line's width.
    auto probe = NSTextFieldCell::initTextCell(c.message);
    probe->setFont(line->font());
    probe->wraps = true;
    const NSSize needed = probe->cellSizeForBounds(NSMakeRect(0, 0, line->frame().width(), 1e6));
    EXPECT_LE(needed.height, line->frame().height()) << c.message;
    EXPECT_GT(needed.height, line->font()->defaultLineHeight() * 1.5) << "the case needs two lines: " << c.message;
    EXPECT_TRUE(line->textFieldCell()->wraps) << c.message;
    // Whatever comes below starts after the whole message.
    for (const auto& below : form->containerView.lock()->subviews()) {
      if (below == line || below->isHidden() || below->frame().minY() <= line->frame().minY()) continue;
      EXPECT_GE(below->frame().minY(), line->frame().maxY()) << c.message << " over " << describeView(*below);
    }
  }
}

TEST_F(LoginSignupTest, APasteLongerThanAFieldTakesIsCutAndTheFormSaysSo) {
  switchMode();
  const std::string pasted(10'500, 'u');
  struct Case {
    std::weak_ptr<NSTextField> field;
    std::uint64_t limit;
    std::string shown;
  };
  const Case cases[] = {
      {form->usernameTextField, InputLimits::username,
       "username: " + std::string(LoginSignupViewController::Constants::usernameTooLongMessage)},
      {form->emailTextField, InputLimits::email,
       "email: " + std::string(LoginSignupViewController::Constants::emailTooLongMessage)},
      {form->passwordTextField, InputLimits::password,
       "password: " + std::string(LoginSignupViewController::Constants::passwordTooLongMessage)},
  };
  const auto laidOut = TextLayout::bytesLaidOutOnThisThread();
  for (const auto& c : cases) {
    ui.click(c.field.lock());
    NSPasteboard::generalPasteboard()->clearContents();
    NSPasteboard::generalPasteboard()->setString(pasted, NSPasteboardTypeString);
    ui.pressKey(NSKeyCode::v, "v", NSEventModifierFlagCommand);
    window->display();
    EXPECT_EQ(c.field.lock()->stringValue(), std::string(c.limit, 'u'));
    const auto shown = errors();
    EXPECT_NE(std::ranges::find(shown, c.shown), shown.end()) << c.shown;
  }
  // The pasted text was never laid out whole, for drawing or for anything else.
  EXPECT_LT(TextLayout::bytesLaidOutOnThisThread() - laidOut, pasted.size());

  tick(form->tosCheckBox);
  submit();
  auto signups = standin().requests();
  std::erase_if(signups, [](const auto& request) { return request.path != "/quorb.signup"; });
  ASSERT_EQ(signups.size(), 1u);
  EXPECT_EQ(signups[0].queryValue("username"), std::string(InputLimits::username, 'u'));
  EXPECT_EQ(signups[0].queryValue("email").value_or("").size(), InputLimits::email);
}

}  // namespace
