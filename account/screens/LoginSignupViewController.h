#pragma once
// The form through which a user logs in to a service account or signs up for one. The root
// panel makes it once, is its delegate, lays it over the panel and removes it when it reports
// that it was cancelled or that authentication finished. One form serves both modes: log-in
// hides the e-mail row and the consent box, sign-up hides "Forgot password?".
//
// Submitting sends the account call with the texts as typed, shows the loading overlay while
// it runs and handles the reply on the main thread: the service's complaints go under their
// fields, a log-in that needs the terms accepted first shows the terms screen (and logs in
// again once they are), and a success installs the user, merges the user's packs into the
// local collections and tells the owner.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "account/QuorbUser.h"
#include "account/screens/TermsOfServiceViewController.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSViewController.h"

class CheckBoxControl;
class NSLayoutConstraint;
class NSProgressIndicator;
class QLXButton;
class QLXLabel;
class QLXView;

enum class AuthenticationState { login, signup };
std::string_view rawValue(AuthenticationState state);
// Exactly "login" or "signup"; anything else is no state.
std::optional<AuthenticationState> authenticationStateWithRawValue(std::string_view raw);

// Where an error is shown.
enum class AuthenticationInputType { username, email, password, tos };

class LoginSignupViewControllerDelegate {
 public:
  virtual ~LoginSignupViewControllerDelegate() = default;
  virtual void authenticationDidCancel() = 0;
  virtual void authenticationDidFinish() = 0;
};

class LoginSignupViewController : public NSViewController,
                                  public NSTextFieldDelegate,
                                  public NSTextViewDelegate,
                                  public TermsOfServiceViewControllerDelegate {
 public:
  struct Constants {
    static constexpr std::string_view signupTitle = "Sign up with Zolto";
    static constexpr std::string_view loginTitle = "Log in";
    static constexpr std::string_view signupButtonTitle = "SIGN UP";
    static constexpr std::string_view loginButtonTitle = "LOG IN";
    static constexpr std::string_view toSignupTitle = "Don\u2019t have an account? Sign up";
    static constexpr std::string_view toLoginTitle = "Already have an account? Log in";
    static constexpr std::string_view forgotPasswordTitle = "Forgot password?";
    static constexpr std::string_view usernamePlaceholder = "Enter username here";
    static constexpr std::string_view emailPlaceholder = "Enter email address";
    static constexpr std::string_view passwordPlaceholder = "Enter password here";
    static constexpr std::string_view emptyFieldMessage = "Please enter a value.";
    static constexpr std::string_view acceptTermsMessage = "Please accept the terms of service to create an account.";
    static constexpr std::string_view incorrectLoginMessage = "Incorrect username or password.";
    static constexpr std::string_view generalErrorMessage = "An error has occurred. Please try again.";
    // When a typed or pasted text did not fit its field (the limits of InputLimits).
    static constexpr std::string_view usernameTooLongMessage = "Usernames can be at most 32 characters.";
    static constexpr std::string_view emailTooLongMessage = "Email addresses can be at most 254 characters.";
    static constexpr std::string_view passwordTooLongMessage = "Passwords can be at most 128 characters.";
    static constexpr std::string_view termsLinkWord = "Terms of Service";
    static constexpr std::string_view privacyLinkWord = "Privacy Policy";
    static constexpr std::string_view forgotPasswordPath = "/forgot-password";
    // The service's public web site, where its password-reset page lives.
    static constexpr std::string_view webSiteRoot = "https://zolto.com";
    static constexpr std::string_view usernameKey = "username";
    static constexpr std::string_view passwordKey = "password";
    static constexpr std::string_view emailKey = "email";
    static constexpr std::string_view loginKey = "login";
    static constexpr std::string_view regularFontName = "Avenir Next Regular";
    static constexpr std::string_view demiBoldFontName = "AvenirNext-DemiBold";
    static constexpr double placeholderFontSize = 15.0;
    static constexpr double errorFontSize = 13.0;
    static constexpr double forgotPasswordFontSize = 13.0;
    static constexpr double authenticationButtonFontSize = 18.0;
    static constexpr double toggleButtonFontSize = 15.0;
    static constexpr double cornerRadius = 3.0;
    static constexpr std::string_view linkoutEvent = "tos_linkout_tap";
    static constexpr std::string_view splashEvent = "tos_splash_screen";
    static constexpr std::string_view infoKey = "info";
    static constexpr double fadeDuration = 0.25;
  };

  // Loads the interface named after the class.
  static std::shared_ptr<LoginSignupViewController> init();

  // Outlets.
  std::weak_ptr<QLXView> containerView;
  std::weak_ptr<QLXLabel> titleLabel;
  std::weak_ptr<NSTextField> usernameTextField;
  std::weak_ptr<QLXLabel> usernameTextFieldHeader;
  std::weak_ptr<QLXLabel> usernameTextFieldErrorLabel;
  std::weak_ptr<NSLayoutConstraint> usernameTextFieldHeaderTopSpacing;
  std::weak_ptr<NSTextField> emailTextField;
  std::weak_ptr<NSLayoutConstraint> emailTextFieldHeight;
  std::weak_ptr<QLXLabel> emailTextFieldHeader;
  std::weak_ptr<QLXLabel> emailTextFieldErrorLabel;
  std::weak_ptr<NSLayoutConstraint> emailTextFieldHeaderHeight;
  std::weak_ptr<NSLayoutConstraint> emailInputVerticalSpacing;
  std::weak_ptr<NSLayoutConstraint> emailPasswordGapConstraint;
  std::weak_ptr<NSTextField> passwordTextField;
  std::weak_ptr<QLXLabel> passwordTextFieldHeader;
  std::weak_ptr<QLXLabel> passwordTextFieldErrorLabel;
  std::weak_ptr<QLXButton> forgotPasswordButton;
  std::weak_ptr<QLXButton> authenticationButton;
  std::weak_ptr<NSView> authenticationButtonContainer;
  std::weak_ptr<QLXButton> stateToggleButton;
  std::weak_ptr<NSView> loadingOverlay;
  std::weak_ptr<NSProgressIndicator> circularProgressIndicator;
  std::weak_ptr<QLXLabel> tosCheckBoxErrorLabel;
  std::weak_ptr<CheckBoxControl> tosCheckBox;
  std::weak_ptr<NSTextView> tosClickOutTextView;
  // The terms screen while a log-in waits for the user's consent.
  std::shared_ptr<TermsOfServiceViewController> termsOfServiceViewController;

  std::shared_ptr<LoginSignupViewControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<LoginSignupViewControllerDelegate>& delegate) { delegate_ = delegate; }

  // The mode; the owner sets it back to login each time it shows the form.
  AuthenticationState currentState = AuthenticationState::login;

  void awakeFromNib() override;
  void viewDidLoad() override;
  // Empties the fields, clears the errors and unticks the box, and shows the mode's rows.
  void updateInterfaceForState();

  void tappedToggleStateButton(const std::shared_ptr<NSObject>& sender);
  void tappedForgotPasswordButton(const std::shared_ptr<NSObject>& sender);
  void tappedCloseButton(const std::shared_ptr<NSObject>& sender);
  void tappedAuthenticationButton(const std::shared_ptr<NSObject>& sender);

  // The service's complaints, by field name.
  void displayErrorsWithErrorMap(const std::shared_ptr<NSDictionary>& errorMap);
  // Shows what is missing; false when anything is.
  bool validateInput();
  void clearErrors();
  void showError(std::string_view message, AuthenticationInputType place);

  // Tab and Shift-Tab move between the form's stops; Return in the password field submits.
  bool control(const std::shared_ptr<NSControl>& control, const std::shared_ptr<NSTextView>& textView,
               std::string_view doCommandBySelector) override;
  // A text that did not fit its field: the field keeps what fitted and says why below it.
  void controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>& control, std::string_view string,
                                             std::string_view errorDescription) override;
  bool textView(const std::shared_ptr<NSTextView>& textView, const std::shared_ptr<NSObject>& clickedOnLink,
                std::uint64_t atIndex) override;
  using NSTextViewDelegate::textView;

  // Submission.
  void login(bool includeTOSFlag);
  void signup();
  static void handleLoginResult(const std::weak_ptr<LoginSignupViewController>& screen,
                                const std::shared_ptr<QuorbUser>& user, bool requiresTOS,
                                const std::shared_ptr<NSError>& error, const std::shared_ptr<NSDictionary>& errorMap);
  static void handleSignupResult(const std::weak_ptr<LoginSignupViewController>& screen,
                                 const std::shared_ptr<QuorbUser>& user, const std::shared_ptr<NSError>& error,
                                 const std::shared_ptr<NSDictionary>& errorMap);
  void showTermsOfService();
  void hideTermsOfService();

  void didDismissTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) override;
  void didAcceptTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) override;
  void didDeclineTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) override;

  // Tab and Shift-Tab from the consent box, which asks the responders above it.
  bool respondsToCommand(std::string_view selector) const override;

  // Registers the builder of the interface (done once, on first use).
  static void registerInterface();

  GLIMDECK_OBJECT(LoginSignupViewController)

 protected:
  LoginSignupViewController() = default;

 private:
  void submit();
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) override;
  // The stops Tab goes through, in order: the user name, the e-mail (sign-up), the password,
  // the consent box (sign-up). Shift-Tab goes back through them.
  std::vector<std::shared_ptr<NSView>> keyStops() const;
  // Gives the keys to the stop after (or before) the one that has them, when that one is a
  // stop of the form.
  void moveKeys(const std::shared_ptr<NSView>& from, bool forward);
  void configureTOSClickOutText();
  // The complaints of a failed call, on the form when it is still there.
  static void showFailure(const std::weak_ptr<LoginSignupViewController>& screen, const std::shared_ptr<NSError>& error,
                          const std::shared_ptr<NSDictionary>& errorMap);
  bool isShowingAnError() const;
  // The rows move to give a message all the lines it needs.
  void relayoutForMessages();
  static void completeAuthentication(const std::weak_ptr<LoginSignupViewController>& screen,
                                     const std::shared_ptr<QuorbUser>& user);
  void setLoadingOverlayHidden(bool hidden);

  std::weak_ptr<LoginSignupViewControllerDelegate> delegate_;
  // A log-in or sign-up is under way: another submission would send a second call.
  bool callUnderWay_ = false;
};
