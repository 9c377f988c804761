// The form of the log-in and sign-up screen: its modes, its look, validation, the display of
// errors, Tab and Return, and the links.
#include "account/screens/LoginSignupViewController.h"

#include <algorithm>

#include "model/AppConstants.h"
#include "model/InputLimits.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/appkit/NSProgressIndicator.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Unicode.h"
#include "platform/quartz/CALayer.h"
#include "service/PlovexAnalytics.h"
#include "ui/CheckBoxControl.h"
#include "ui/NSColorPalette.h"
#include "ui/NSMutableAttributedStringExtensions.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"
#include "ui/QLXLabel.h"
#include "ui/QLXView.h"

namespace {

using FormConstants = LoginSignupViewController::Constants;

std::shared_ptr<NSColor> accentBlue() { return NSColorPalette::standardBlue(); }
std::shared_ptr<NSColor> fieldBorder() { return NSColorPalette::standardBorderGray(); }
std::shared_ptr<NSColor> darkText() { return NSColorPalette::textFieldTextOffBlack(); }
std::shared_ptr<NSColor> errorRed() { return NSColorPalette::errorRed(); }

std::shared_ptr<NSMutableParagraphStyle> centredParagraph() {
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(NSTextAlignment::center);
  return style;
}

NSAttributes textAttributes(std::string_view fontName, double size, const std::shared_ptr<NSColor>& colour) {
  NSAttributes attributes{{NSForegroundColorAttributeName, colour},
                          {NSBackgroundColorAttributeName, NSColor::clearColor()}};
  if (auto font = NSFont::fontWithName(fontName, size)) attributes[NSFontAttributeName] = font;
  return attributes;
}

void setBorderColour(const std::shared_ptr<NSTextField>& field, const std::shared_ptr<NSColor>& colour) {
  if (!field) return;
  field->setWantsLayer(true);
  field->layer()->setBorderColor(colour->CGColor());
}

void setConstant(const std::weak_ptr<NSLayoutConstraint>& constraint, double value) {
  if (auto held = constraint.lock()) held->setConstant(value);
}

void setHidden(const std::weak_ptr<NSView>& view, bool hidden) {
  if (auto held = view.lock()) held->setHidden(hidden);
}

std::string textOf(const std::weak_ptr<NSTextField>& field) {
  auto held = field.lock();
  return held ? held->stringValue() : std::string();
}

std::shared_ptr<NSScrollView> enclosingScrollView(const NSView& view) {
  for (auto above = view.superview(); above; above = above->superview()) {
    if (auto scroll = asA<NSScrollView>(above)) return scroll;
  }
  return nullptr;
}

}  // namespace

std::string_view rawValue(AuthenticationState state) { return state == AuthenticationState::signup ? "signup" : "login"; }

std::optional<AuthenticationState> authenticationStateWithRawValue(std::string_view raw) {
  if (raw == "login") return AuthenticationState::login;
  if (raw == "signup") return AuthenticationState::signup;
  return std::nullopt;
}

std::shared_ptr<LoginSignupViewController> LoginSignupViewController::init() {
  registerInterface();
  return create();
}

void LoginSignupViewController::awakeFromNib() {
  NSViewController::awakeFromNib();
  if (auto card = containerView.lock()) {
    setConvenientBackgroundColor(*card, NSColor::whiteColor());
    card->layer()->setCornerRadius(Constants::cornerRadius);
  }
  const std::pair<std::weak_ptr<NSTextField>, std::string_view> fields[] = {
      {usernameTextField, Constants::usernamePlaceholder},
      {emailTextField, Constants::emailPlaceholder},
      {passwordTextField, Constants::passwordPlaceholder}};
  for (const auto& [weak, placeholder] : fields) {
    auto field = weak.lock();
    if (!field) continue;
    field->textFieldCell()->placeholderAttributedString = NSAttributedString::make(
        placeholder, textAttributes(Constants::regularFontName, Constants::placeholderFontSize,
                                    NSColorPalette::placeholderGray()));
    field->setWantsLayer(true);
    field->layer()->setBorderColor(fieldBorder()->CGColor());
    field->layer()->setBorderWidth(1);
    field->textFieldCell()->textColor = darkText();
  }
  for (const auto& weak : {emailTextFieldErrorLabel, passwordTextFieldErrorLabel, usernameTextFieldErrorLabel}) {
    if (auto label = weak.lock()) label->setFont(NSFont::fontWithName(Constants::regularFontName, Constants::errorFontSize));
  }
  if (auto forgot = forgotPasswordButton.lock()) {
    forgot->buttonCell()->setHighlightsBy(0);
    auto attributes = textAttributes(Constants::regularFontName, Constants::forgotPasswordFontSize, darkText());
    attributes[NSUnderlineStyleAttributeName] = NSNumber::numberWithInteger(1);
    attributes["NSUnderlineColor"] = darkText();
    attributes[NSParagraphStyleAttributeName] = centredParagraph();
    forgot->setAttributedTitle(NSAttributedString::make(Constants::forgotPasswordTitle, attributes));
  }
  if (auto button = authenticationButton.lock()) {
    setConvenientBackgroundColor(*button, accentBlue());
    button->setCornerRadius(Constants::cornerRadius);
    button->setWantsLayer(true);
    button->layer()->setCornerRadius(Constants::cornerRadius);
  }
  if (auto carrier = authenticationButtonContainer.lock()) {
    carrier->setWantsLayer(true);
    carrier->layer()->setBackgroundColor(NSColor::clearColor()->CGColor());
    auto shadow = NSShadow::make();
    shadow->shadowColor = NSColorPalette::standardShadowBlack();
    shadow->shadowOffset = NSSize{0, -3};
    shadow->shadowBlurRadius = 4;
    carrier->setShadow(shadow);
  }
  if (auto spinner = circularProgressIndicator.lock()) {
    spinner->setWantsLayer(true);
    spinner->layer()->setBackgroundColor(NSColor::clearColor()->CGColor());
    spinner->startAnimation(nullptr);
  }
  setLoadingOverlayHidden(true);
  configureTOSClickOutText();
}

void LoginSignupViewController::viewDidLoad() {
  NSViewController::viewDidLoad();
  updateInterfaceForState();
}

void LoginSignupViewController::updateInterfaceForState() {
  for (const auto& weak : {usernameTextField, emailTextField, passwordTextField}) {
    if (auto field = weak.lock()) setTitle(*field, "", false, false);
  }
  clearErrors();
  const bool signingUp = currentState == AuthenticationState::signup;
  if (auto toggle = stateToggleButton.lock()) {
    toggle->buttonCell()->setHighlightsBy(0);
    auto attributes = textAttributes(Constants::demiBoldFontName, Constants::toggleButtonFontSize, darkText());
    attributes[NSParagraphStyleAttributeName] = centredParagraph();
    toggle->setAttributedTitle(
        NSAttributedString::make(signingUp ? Constants::toLoginTitle : Constants::toSignupTitle, attributes));
  }
  if (auto button = authenticationButton.lock()) {
    auto attributes = textAttributes(Constants::demiBoldFontName, Constants::authenticationButtonFontSize,
                                     NSColor::whiteColor());
    attributes[NSParagraphStyleAttributeName] = centredParagraph();
    button->setAttributedTitle(NSAttributedString::make(
        signingUp ? Constants::signupButtonTitle : Constants::loginButtonTitle, attributes));
  }
  if (auto title = titleLabel.lock()) {
    setTitle(*title, std::string(signingUp ? Constants::signupTitle : Constants::loginTitle), false, false);
  }
  setConstant(usernameTextFieldHeaderTopSpacing, signingUp ? 2 : 18);
  setConstant(emailTextFieldHeight, signingUp ? 50 : 0);
  setConstant(emailTextFieldHeaderHeight, signingUp ? 25 : 0);
  setConstant(emailInputVerticalSpacing, signingUp ? 8 : 0);
  setConstant(emailPasswordGapConstraint, signingUp ? 76 : 0);
  setHidden(forgotPasswordButton, signingUp);
  if (auto text = tosClickOutTextView.lock()) {
    if (auto scroll = enclosingScrollView(*text)) scroll->setHidden(!signingUp);
  }
  setHidden(tosCheckBox, !signingUp);
  if (auto box = tosCheckBox.lock()) box->reset();
}

void LoginSignupViewController::tappedToggleStateButton(const std::shared_ptr<NSObject>& /*sender*/) {
  currentState = currentState == AuthenticationState::signup ? AuthenticationState::login : AuthenticationState::signup;
  if (!isViewLoaded()) return;
  updateInterfaceForState();
  // The switched form starts empty, as a new desktop form does, with the caret in its first
  // field: emptying the fields let their focus go, so it is given on a later turn.
  std::weak_ptr<NSTextField> first = usernameTextField;
  DispatchQueue::main()->async([first] {
    auto field = first.lock();
    auto window = field ? field->window() : nullptr;
    if (!window || field->isHiddenOrHasHiddenAncestor()) return;
    if (window->firstResponder().get() == window.get()) window->makeFirstResponder(field);
  });
}

void LoginSignupViewController::tappedForgotPasswordButton(const std::shared_ptr<NSObject>& /*sender*/) {
  auto url = NSURL::URLWithString(std::string(Constants::webSiteRoot) + std::string(Constants::forgotPasswordPath));
  if (url) NSWorkspace::sharedWorkspace()->openURL(url);
}

void LoginSignupViewController::tappedCloseButton(const std::shared_ptr<NSObject>& /*sender*/) {
  if (auto owner = delegate()) owner->authenticationDidCancel();
}

void LoginSignupViewController::clearErrors() {
  for (const auto& weak : {usernameTextFieldErrorLabel, emailTextFieldErrorLabel, passwordTextFieldErrorLabel,
                           tosCheckBoxErrorLabel}) {
    if (auto label = weak.lock()) {
      label->setStringValue("");
      label->setHidden(true);
    }
  }
  for (const auto& weak : {usernameTextFieldHeader, emailTextFieldHeader, passwordTextFieldHeader}) {
    if (auto caption = weak.lock()) caption->setTextColor(darkText());
  }
  for (const auto& weak : {usernameTextField, emailTextField, passwordTextField}) setBorderColour(weak.lock(), fieldBorder());
  relayoutForMessages();
}

void LoginSignupViewController::relayoutForMessages() {
  if (auto card = containerView.lock()) card->setNeedsLayout(true);
}

void LoginSignupViewController::showError(std::string_view message, AuthenticationInputType place) {
  if (place == AuthenticationInputType::tos) {
    if (auto label = tosCheckBoxErrorLabel.lock()) {
      label->setTextColor(errorRed());
      label->setStringValue(std::string(message));
      label->setHidden(false);
    }
    relayoutForMessages();
    return;
  }
  auto [caption, field, line] = [&] {
    switch (place) {
      case AuthenticationInputType::email:
        return std::tuple{emailTextFieldHeader.lock(), emailTextField.lock(), emailTextFieldErrorLabel.lock()};
      case AuthenticationInputType::password:
        return std::tuple{passwordTextFieldHeader.lock(), passwordTextField.lock(), passwordTextFieldErrorLabel.lock()};
      default:
        return std::tuple{usernameTextFieldHeader.lock(), usernameTextField.lock(), usernameTextFieldErrorLabel.lock()};
    }
  }();
  if (caption) caption->setTextColor(errorRed());
  setBorderColour(field, errorRed());
  if (line) {
    setTitle(*line, std::string(message), false, false);
    line->setHidden(false);
  }
  relayoutForMessages();
}

void LoginSignupViewController::controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>& control,
                                                                       std::string_view /*string*/,
                                                                       std::string_view /*errorDescription*/) {
  static_assert(InputLimits::username == 32 && InputLimits::email == 254 && InputLimits::password == 128,
                "the messages name the limits");
  if (!control) return;
  if (control == usernameTextField.lock()) {
    showError(Constants::usernameTooLongMessage, AuthenticationInputType::username);
  } else if (control == emailTextField.lock()) {
    showError(Constants::emailTooLongMessage, AuthenticationInputType::email);
  } else if (control == passwordTextField.lock()) {
    showError(Constants::passwordTooLongMessage, AuthenticationInputType::password);
  }
}

bool LoginSignupViewController::isShowingAnError() const {
  for (const auto& weak : {usernameTextFieldErrorLabel, emailTextFieldErrorLabel, passwordTextFieldErrorLabel,
                           tosCheckBoxErrorLabel}) {
    auto label = weak.lock();
    if (label && !label->isHidden() && !label->stringValue().empty()) return true;
  }
  return false;
}

bool LoginSignupViewController::validateInput() {
  bool valid = true;
  auto require = [&](bool ok, std::string_view message, AuthenticationInputType place) {
    if (ok) return;
    showError(message, place);
    valid = false;
  };
  require(!textOf(usernameTextField).empty(), Constants::emptyFieldMessage, AuthenticationInputType::username);
  require(!textOf(passwordTextField).empty(), Constants::emptyFieldMessage, AuthenticationInputType::password);
  if (currentState == AuthenticationState::signup) {
    auto box = tosCheckBox.lock();
    require(box && box->isChecked, Constants::acceptTermsMessage, AuthenticationInputType::tos);
    require(!textOf(emailTextField).empty(), Constants::emptyFieldMessage, AuthenticationInputType::email);
  }
  return valid;
}

void LoginSignupViewController::displayErrorsWithErrorMap(const std::shared_ptr<NSDictionary>& errorMap) {
  clearErrors();
  if (!errorMap) return;
  const auto locale = NSLocale::currentLocale()->localeIdentifier();
  const std::pair<std::string_view, AuthenticationInputType> places[] = {
      {Constants::usernameKey, AuthenticationInputType::username},
      {Constants::passwordKey, AuthenticationInputType::password},
      {Constants::emailKey, AuthenticationInputType::email}};
  for (const auto& [key, place] : places) {
    auto message = errorMap->objectForKeyAs<NSString>(key);
    if (message) showError(Unicode::capitalized(key, locale) + " " + message->string(), place);
  }
  if (errorMap->containsKey(Constants::loginKey)) {
    showError(Constants::incorrectLoginMessage, AuthenticationInputType::username);
  }
}

bool LoginSignupViewController::control(const std::shared_ptr<NSControl>& control, const std::shared_ptr<NSTextView>& /*textView*/,
                                        std::string_view doCommandBySelector) {
  if (doCommandBySelector == "insertTab:" || doCommandBySelector == "insertBacktab:") {
    if (control) control->resignFirstResponder();
    moveKeys(control, doCommandBySelector == "insertTab:");
    return true;
  }
  if (doCommandBySelector == "insertNewline:") {
    if (control && control == passwordTextField.lock()) submit();
  }
  return false;
}

std::vector<std::shared_ptr<NSView>> LoginSignupViewController::keyStops() const {
  const bool signingUp = currentState == AuthenticationState::signup;
  std::vector<std::shared_ptr<NSView>> stops;
  auto add = [&](const std::shared_ptr<NSView>& view) {
    if (view) stops.push_back(view);
  };
  add(usernameTextField.lock());
  if (signingUp) add(emailTextField.lock());
  add(passwordTextField.lock());
  if (signingUp) add(tosCheckBox.lock());
  return stops;
}

void LoginSignupViewController::moveKeys(const std::shared_ptr<NSView>& from, bool forward) {
  const auto stops = keyStops();
  auto at = std::ranges::find(stops, from);
  if (!from || at == stops.end()) return;
  const auto index = static_cast<std::size_t>(at - stops.begin());
  const auto& next = stops[(index + (forward ? 1 : stops.size() - 1)) % stops.size()];
  if (auto window = next->window()) window->makeFirstResponder(next);
}

bool LoginSignupViewController::respondsToCommand(std::string_view selector) const {
  if (selector == "insertTab:" || selector == "insertBacktab:" || selector == "insertNewline:") return true;
  return NSViewController::respondsToCommand(selector);
}

void LoginSignupViewController::performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) {
  if (selector == "insertTab:" || selector == "insertBacktab:") {
    moveKeys(asA<NSView>(sender), selector == "insertTab:");
    return;
  }
  // Return on the consent box sends the form, as it does in the password field; the fields'
  // own Returns never come here (their editors take them).
  if (selector == "insertNewline:") {
    if (sender && sender == tosCheckBox.lock()) submit();
    else if (auto next = nextResponder()) next->tryToPerform(selector, sender);
    return;
  }
  NSViewController::performCommand(selector, sender);
}

void LoginSignupViewController::configureTOSClickOutText() {
  auto textView = tosClickOutTextView.lock();
  auto font = textView ? textView->font() : nullptr;
  if (!font) return;
  const auto kept = textView->string();
  textView->setString("");
  textView->setSelectable(true);
  auto text = NSMutableAttributedString::make(kept, {{NSFontAttributeName, font}, {NSForegroundColorAttributeName, darkText()}});
  if (auto terms = NSURL::URLWithString(legalTermsUrl)) addClickoutURLToSubstring(text, Constants::termsLinkWord, terms);
  if (auto privacy = NSURL::URLWithString(legalPrivacyUrl)) {
    addClickoutURLToSubstring(text, Constants::privacyLinkWord, privacy);
  }
  textView->textStorage()->appendAttributedString(*text);
  textView->linkTextAttributes = {{NSForegroundColorAttributeName, accentBlue()},
                                  {NSUnderlineStyleAttributeName, NSNumber::numberWithInteger(0)},
                                  {"NSCursor", NSCursor::pointingHandCursor()}};
}

bool LoginSignupViewController::textView(const std::shared_ptr<NSTextView>& /*textView*/,
                                         const std::shared_ptr<NSObject>& clickedOnLink, std::uint64_t /*atIndex*/) {
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) {
    analytics->logEventWithEvent(Constants::linkoutEvent,
                                 PlovexAnalytics::EventData{{std::string(Constants::infoKey), std::string(rawValue(currentState))}});
  }
  auto link = asA<NSString>(clickedOnLink);
  auto url = link ? NSURL::URLWithString(link->string()) : nullptr;
  if (!url) return false;
  NSWorkspace::sharedWorkspace()->openURL(url);
  return true;
}

void LoginSignupViewController::setLoadingOverlayHidden(bool hidden) { setHidden(loadingOverlay, hidden); }
