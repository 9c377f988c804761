// The interface of the log-in and sign-up screen: a white card over the panel with the
// heading, the three field rows (caption, input, error line), "Forgot password?", the consent
// box with its sentence, the main button on its shadow carrier and the mode button, and a
// loading overlay with a spinner over everything. Rows are placed top-down from the
// constraint records the screen changes per mode.
#include "account/screens/LoginSignupViewController.h"
#include "model/InputLimits.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSNib.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/appkit/NSProgressIndicator.h"
#include "platform/appkit/NSScrollView.h"
#include "ui/CheckBoxControl.h"
#include "ui/NSColorPalette.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"
#include "ui/QLXLabel.h"
#include "ui/QLXView.h"
#include "ui/VerticallyAlignedSecureTextFieldCell.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace {

constexpr std::string_view loginInterfaceName = "LoginSignupViewController";
// The size of the panel the form lies over.
constexpr double panelWidth = 400;
constexpr double panelHeight = 600;
constexpr double cardInset = 20;
constexpr double rowInset = 30;
constexpr double captionHeight = 25;
constexpr double captionGap = 8;
constexpr double inputHeight = 36;
// An error line's height while it is empty or holds one line; a longer message wraps and
// the rows below make room for all of it.
constexpr double errorLineHeight = 20;
// Room under an error line, so that a message never touches the caption below it.
constexpr double errorGap = 4;
// The consent sentence reaches to the card's edge, less this, on one line.
constexpr double consentEnd = 10;
constexpr double consentFontSize = 12;

std::shared_ptr<QLXLabel> formLabel(std::string text, double fontSize) {
  auto label = QLXLabel::initWithFrame(NSZeroRect);
  label->setEditable(false);
  label->setSelectable(false);
  label->setBordered(false);
  label->setDrawsBackground(false);
  label->setFont(NSFont::fontWithName(LoginSignupViewController::Constants::regularFontName, fontSize));
  label->setStringValue(std::move(text));
  return label;
}

// A message under a field or the box, shown whole: it wraps.
std::shared_ptr<QLXLabel> errorLine() {
  auto label = formLabel("", 13);
  label->textFieldCell()->wraps = true;
  label->textFieldCell()->lineBreakMode = NSLineBreakMode::byWordWrapping;
  return label;
}

// The height an error line needs in the width: all of its message.
double errorLineHeightFor(const NSView& line, double width) {
  auto label = dynamic_cast<const NSTextField*>(&line);
  if (!label || line.isHidden() || label->stringValue().empty()) return errorLineHeight;
  return std::max(errorLineHeight, label->cell()->cellSizeForBounds(NSMakeRect(0, 0, width, 1e6)).height);
}

// While an input is being edited it has the keys (the field editor leaves it when the keys
// go elsewhere, and either change redraws it): a ring in the focus colour inside its border
// shows so, whatever colour the border has.
void drawFocusRing(NSRect frame, const std::shared_ptr<NSView>& view) {
  constexpr double border = 1, ring = 2;
  auto field = asA<NSTextField>(view);
  auto context = NSGraphicsContext::currentContext();
  if (!field || !field->isEditing() || !context) return;
  auto& gc = context->CGContext();
  gc.setStrokeColor(NSColor::keyboardFocusIndicatorColor()->CGColor());
  gc.setLineWidth(ring);
  gc.strokeRect(NSInsetRect(frame, border + ring / 2, border + ring / 2));
}

// An input's cell, drawing that ring over what the cell it extends draws.
template <class Cell>
class FocusRingCell : public Cell {
 public:
  static std::shared_ptr<FocusRingCell> initTextCell(std::string text) {
    return std::shared_ptr<FocusRingCell>(new FocusRingCell(std::move(text)));
  }
  void drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override {
    Cell::drawWithFrame(frame, view);
    drawFocusRing(frame, view);
  }

 private:
  explicit FocusRingCell(std::string text) : Cell(std::move(text)) {}
};

std::shared_ptr<NSTextField> inputField(bool secure, std::uint64_t maximumLength) {
  auto field = secure ? NSSecureTextField::initWithFrame(NSZeroRect) : NSTextField::initWithFrame(NSZeroRect);
  // The text sits in the middle of the tall inputs, clear of their borders.
  if (secure) {
    field->setCell(FocusRingCell<VerticallyAlignedSecureTextFieldCell>::initTextCell(""));
  } else {
    field->setCell(FocusRingCell<VerticallyAlignedTextFieldCell>::initTextCell(""));
  }
  field->setEditable(true);
  field->setBezeled(false);
  // The card is white already; a painted background would cover the layer's border.
  field->setDrawsBackground(false);
  field->setFont(NSFont::fontWithName(LoginSignupViewController::Constants::regularFontName, 15));
  field->maximumLength = maximumLength;
  return field;
}

// The positions, which depend on the constraint records the modes change.
struct FormGeometry {
  std::shared_ptr<NSLayoutConstraint> usernameTop, emailHeight, emailCaptionHeight, emailSpacing, emailGap;
};

}  // namespace

void LoginSignupViewController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(loginInterfaceName), [](const std::shared_ptr<NSObject>& owner) {
      auto screen = asA<LoginSignupViewController>(owner);
      auto root = NSView::initWithFrame(NSMakeRect(0, 0, panelWidth, panelHeight));
      root->setFlipped(true);
      root->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      setConvenientBackgroundColor(*root, NSColor::colorWithWhite(0, 0.4));

      auto card = QLXView::initWithFrame(
          NSMakeRect(cardInset, cardInset, panelWidth - 2 * cardInset, panelHeight - 2 * cardInset));
      card->setFlipped(true);
      card->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      auto close = QLXButton::initWithFrame(NSZeroRect);
      close->setTitle("\u2715");
      close->setBordered(false);
      auto title = formLabel("", 22);
      title->setFont(NSFont::fontWithName(Constants::demiBoldFontName, 22));
      title->setAlignment(NSTextAlignment::center);
      auto usernameCaption = formLabel("Username", 14);
      auto username = inputField(false, InputLimits::username);
      auto usernameError = errorLine();
      auto emailCaption = formLabel("Email", 14);
      auto email = inputField(false, InputLimits::email);
      auto emailError = errorLine();
      auto passwordCaption = formLabel("Password", 14);
      auto password = inputField(true, InputLimits::password);
      auto passwordError = errorLine();
      auto forgot = QLXButton::initWithFrame(NSZeroRect);
      forgot->setBordered(false);
      auto box = CheckBoxControl::initWithFrame(NSZeroRect);
      box->setCheckBoxBorderColor(NSColorPalette::standardBorderGray());
      box->setCheckBoxBackgroundColor(NSColor::whiteColor());
      box->setCheckBoxFillColor(NSColorPalette::standardBlue());
      auto consentScroll = NSScrollView::initWithFrame(NSZeroRect);
      auto consent = NSTextView::initWithFrame(NSMakeRect(0, 0, 300, 22));
      consent->setFont(NSFont::fontWithName(Constants::regularFontName, consentFontSize));
      consent->setEditable(false);
      consent->drawsBackground = false;
      consent->setString("I agree to the Terms of Service and Privacy Policy.");
      consentScroll->setDocumentView(consent);
      auto boxError = errorLine();
      auto carrier = NSView::initWithFrame(NSZeroRect);
      auto button = QLXButton::initWithFrame(NSZeroRect);
      button->setBordered(false);
      carrier->addSubview(button);
      carrier->layoutHandler = [](NSView& view) {
        for (const auto& inside : view.subviews()) inside->setFrame(view.bounds());
      };
      auto toggle = QLXButton::initWithFrame(NSZeroRect);
      toggle->setBordered(false);
      for (const auto& v : std::vector<std::shared_ptr<NSView>>{
               title, usernameCaption, username, usernameError, emailCaption, email, emailError, passwordCaption,
               password, passwordError, forgot, box, consentScroll, boxError, carrier, toggle, close}) {
        card->addSubview(v);
      }

      FormGeometry geometry{NSLayoutConstraint::constant(usernameCaption, NSLayoutAttribute::top, 18),
                            NSLayoutConstraint::constant(email, NSLayoutAttribute::height, 0),
                            NSLayoutConstraint::constant(emailCaption, NSLayoutAttribute::height, 0),
                            NSLayoutConstraint::constant(email, NSLayoutAttribute::top, 0),
                            NSLayoutConstraint::constant(passwordCaption, NSLayoutAttribute::top, 0)};
      card->addConstraints({geometry.usernameTop, geometry.emailHeight, geometry.emailCaptionHeight,
                            geometry.emailSpacing, geometry.emailGap});
      card->layoutHandler = [geometry](NSView& view) {
        const auto& v = view.subviews();
        if (v.size() < 17) return;
        const double width = view.bounds().width() - 2 * rowInset;
        auto row = [&](std::size_t index, double y, double height) {
          v[index]->setFrame(NSMakeRect(rowInset, y, width, height));
          return y + height;
        };
        double y = row(0, 20, 30);
        y += geometry.usernameTop->constant();
        y = row(1, y, captionHeight) + captionGap;
        y = row(2, y, inputHeight);
        y = row(3, y, errorLineHeightFor(*v[3], width)) + errorGap;
        const double usernameBottom = y;
        y = row(4, y, geometry.emailCaptionHeight->constant()) + geometry.emailSpacing->constant();
        // The record only says whether the e-mail row is there: its input is as tall as the
        // others, and its error line takes room only while it is there.
        const bool email = geometry.emailHeight->constant() > 0;
        y = row(5, y, email ? inputHeight : 0);
        y = row(6, y, email ? errorLineHeightFor(*v[6], width) : 0) + (email ? errorGap : 0);
        // The gap makes room for the e-mail row; rows never overlap whatever it says.
        y = std::max(y, usernameBottom + geometry.emailGap->constant());
        y = row(7, y, captionHeight) + captionGap;
        y = row(8, y, inputHeight);
        y = row(9, y, errorLineHeightFor(*v[9], width)) + 6;
        row(10, y, errorLineHeight);  // "Forgot password?" (log-in) shares its place with the box (sign-up)
        v[11]->setFrame(NSMakeRect(rowInset, y, CheckBoxControl::Constants::checkBoxSide, CheckBoxControl::Constants::checkBoxSide));
        v[12]->setFrame(NSMakeRect(rowInset + 35, y + 2, view.bounds().width() - consentEnd - rowInset - 35, 22));
        if (auto scroll = std::dynamic_pointer_cast<NSScrollView>(v[12]); scroll && scroll->documentView()) {
          scroll->documentView()->setFrame(scroll->contentView()->bounds());
        }
        y += CheckBoxControl::Constants::checkBoxSide + 4;
        y = row(13, y, errorLineHeightFor(*v[13], width)) + 10;
        y = row(14, y, 44) + 16;
        row(15, y, 24);
        v[16]->setFrame(NSMakeRect(view.bounds().width() - 36, 8, 28, 28));
      };
      card->setNeedsLayout(true);

      auto overlay = NSView::initWithFrame(root->bounds());
      overlay->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      setConvenientBackgroundColor(*overlay, NSColor::colorWithWhite(1, 0.7));
      auto spinner = NSProgressIndicator::initWithFrame(
          NSMakeRect(panelWidth / 2 - 16, panelHeight / 2 - 16, 32, 32));
      spinner->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin | NSViewMinYMargin | NSViewMaxYMargin;
      overlay->addSubview(spinner);
      root->addSubview(card);
      root->addSubview(overlay);

      if (screen) {
        screen->setView(root);
        screen->containerView = card;
        screen->titleLabel = title;
        screen->usernameTextField = username;
        screen->usernameTextFieldHeader = usernameCaption;
        screen->usernameTextFieldErrorLabel = usernameError;
        screen->usernameTextFieldHeaderTopSpacing = geometry.usernameTop;
        screen->emailTextField = email;
        screen->emailTextFieldHeight = geometry.emailHeight;
        screen->emailTextFieldHeader = emailCaption;
        screen->emailTextFieldErrorLabel = emailError;
        screen->emailTextFieldHeaderHeight = geometry.emailCaptionHeight;
        screen->emailInputVerticalSpacing = geometry.emailSpacing;
        screen->emailPasswordGapConstraint = geometry.emailGap;
        screen->passwordTextField = password;
        screen->passwordTextFieldHeader = passwordCaption;
        screen->passwordTextFieldErrorLabel = passwordError;
        screen->forgotPasswordButton = forgot;
        screen->authenticationButton = button;
        screen->authenticationButtonContainer = carrier;
        screen->stateToggleButton = toggle;
        screen->loadingOverlay = overlay;
        screen->circularProgressIndicator = spinner;
        screen->tosCheckBoxErrorLabel = boxError;
        screen->tosCheckBox = box;
        screen->tosClickOutTextView = consent;
        for (const auto& field : {username, email, password}) field->setDelegate(screen);
        consent->setDelegate(screen);
        std::weak_ptr<LoginSignupViewController> weak = screen;
        auto connect = [weak](QLXButton& control, void (LoginSignupViewController::*handler)(const std::shared_ptr<NSObject>&)) {
          control.action = [weak, handler](const std::shared_ptr<NSObject>& sender) {
            if (auto held = weak.lock()) (held.get()->*handler)(sender);
          };
        };
        connect(*close, &LoginSignupViewController::tappedCloseButton);
        connect(*forgot, &LoginSignupViewController::tappedForgotPasswordButton);
        connect(*button, &LoginSignupViewController::tappedAuthenticationButton);
        connect(*toggle, &LoginSignupViewController::tappedToggleStateButton);
      }
      return std::vector<std::shared_ptr<NSObject>>{root};
    });
    return true;
  }();
  (void)registered;
}
