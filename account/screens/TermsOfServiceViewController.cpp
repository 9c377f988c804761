#include "account/screens/TermsOfServiceViewController.h"

#include "model/AppConstants.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/quartz/CAGradientLayer.h"
#include "ui/NSMutableAttributedStringExtensions.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"
#include "ui/QLXLabel.h"

namespace {

using TOSConstants = TermsOfServiceViewController::Constants;

std::shared_ptr<NSAttributedString> promptText(std::string_view text, double size) {
  NSAttributes attributes{{NSForegroundColorAttributeName, NSColor::whiteColor()}};
  if (auto font = NSFont::fontWithName(TOSConstants::promptFontName, size)) attributes[NSFontAttributeName] = font;
  return NSAttributedString::make(text, attributes);
}

// Built once and shared by every screen, as they never change.
const std::shared_ptr<NSAttributedString>& initialPromptText() {
  static const auto text = promptText(TOSConstants::initialPrompt, TOSConstants::initialPromptFontSize);
  return text;
}

const std::shared_ptr<NSAttributedString>& warningPromptText() {
  static const auto text = promptText(TOSConstants::warningPrompt, TOSConstants::warningPromptFontSize);
  return text;
}

const std::shared_ptr<NSAttributedString>& okTitleText() {
  static const auto text = [] {
    NSAttributes attributes{{NSForegroundColorAttributeName, NSColor::colorWithRed(0, 122.0 / 255, 221.0 / 255, 1)}};
    if (auto font = NSFont::fontWithName(TOSConstants::promptFontName, TOSConstants::okFontSize)) {
      attributes[NSFontAttributeName] = font;
    }
    return NSAttributedString::make(TOSConstants::okTitle, attributes);
  }();
  return text;
}

void setLinkedConstant(const std::weak_ptr<NSLayoutConstraint>& constraint, double value) {
  if (auto held = constraint.lock()) held->setConstant(value);
}

// A centred, borderless, read-only line of text.
std::shared_ptr<QLXLabel> plainLabel(NSRect frame) {
  auto label = QLXLabel::initWithFrame(frame);
  label->setEditable(false);
  label->setSelectable(false);
  label->setBordered(false);
  label->setDrawsBackground(false);
  label->setAlignment(NSTextAlignment::center);
  return label;
}

}  // namespace

std::string_view TermsOfServiceViewController::rawValue(PresentationLayout layout) {
  switch (layout) {
    case PresentationLayout::normal: return "normal";
    case PresentationLayout::blocker: return "blocker";
    case PresentationLayout::welcome: return "welcome";
  }
  return "normal";
}

std::optional<TermsOfServiceViewController::PresentationLayout> TermsOfServiceViewController::presentationLayoutWithRawValue(
    std::string_view raw) {
  for (auto layout : {PresentationLayout::normal, PresentationLayout::blocker, PresentationLayout::welcome}) {
    if (rawValue(layout) == raw) return layout;
  }
  return std::nullopt;
}

TermsOfServiceViewController::TermsOfServiceViewController()
    : NSViewController(std::string(Constants::interfaceName)), gradientLayer_(CAGradientLayer::layer()) {}

std::shared_ptr<TermsOfServiceViewController> TermsOfServiceViewController::init(PresentationLayout layout,
                                                                                  bool requiresDenialConfirmation,
                                                                                  bool canBeDismissed) {
  registerInterface();
  auto screen = create();
  screen->currentLayout_ = layout;
  screen->requiresDenialConfirmation = requiresDenialConfirmation;
  screen->canBeDismissed = canBeDismissed;
  return screen;
}

std::shared_ptr<TermsOfServiceViewController> TermsOfServiceViewController::initWithCoder() {
  return init(PresentationLayout::normal, true, true);
}

PlovexAnalytics::EventData TermsOfServiceViewController::analyticsDict() const {
  return {{std::string(Constants::infoKey), std::string(rawValue(currentLayout_))}};
}

void TermsOfServiceViewController::logEvent(std::string_view event) const {
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) analytics->logEventWithEvent(event, analyticsDict());
}

void TermsOfServiceViewController::viewDidLoad() {
  NSViewController::viewDidLoad();
  auto root = view();
  root->setWantsLayer(true);
  applyDalvoBlueGradientWithLayerToColor(*root, *gradientLayer_);
  if (auto close = closeButton.lock()) close->setHidden(!canBeDismissed);
  if (auto bottom = bottomCheckBox.lock()) bottom->setAlphaValue(0.7);
  if (auto text = tosClickOutTextView.lock()) configureClickOutText(*text);
  if (auto text = welcomeTOSClickOutTextView.lock()) configureClickOutText(*text);
  configureWelcomeUI();
  applyLayout(currentLayout_);
  if (canBeDismissed) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setInteger(defaults->integerForKey(Constants::dismissalCounterKey) + 1, Constants::dismissalCounterKey);
    defaults->synchronize();
  }
}

void TermsOfServiceViewController::viewDidLayout() {
  NSViewController::viewDidLayout();
  auto layer = view()->layer();
  gradientLayer_->setFrame(layer ? layer->bounds() : NSZeroRect);
}

void TermsOfServiceViewController::acceptTapped() {
  logEvent(Constants::acceptEvent);
  if (auto owner = delegate()) owner->didAcceptTOSWithTosController(self());
}

void TermsOfServiceViewController::declineTapped() {
  if (currentState_ == TOSAcceptanceState::initial && requiresDenialConfirmation) {
    logEvent(Constants::rejectEvent);
    if (auto bottom = bottomCheckBox.lock()) bottom->reset();
    currentState_ = TOSAcceptanceState::denialConfirmation;
    if (isViewLoaded()) configureActionUI(currentState_);
    return;
  }
  logEvent(Constants::declineEvent);
  if (auto owner = delegate()) owner->didDeclineTOSWithTosController(self());
}

void TermsOfServiceViewController::didTapClose(const std::shared_ptr<NSObject>& /*sender*/) {
  logEvent(Constants::closeEvent);
  if (auto owner = delegate()) owner->didDismissTOSWithTosController(self());
}

void TermsOfServiceViewController::didTapBack(const std::shared_ptr<NSObject>& /*sender*/) {
  logEvent(Constants::backEvent);
  currentState_ = TOSAcceptanceState::initial;
  if (isViewLoaded()) configureActionUI(currentState_);
}

void TermsOfServiceViewController::didTapCheckBoxWithFilled(bool /*filled*/, const std::shared_ptr<CheckBoxControl>& sender) {
  if (!sender) return;
  if (sender == topCheckBox.lock()) {
    acceptTapped();
  } else if (sender == bottomCheckBox.lock()) {
    declineTapped();
  }
}

bool TermsOfServiceViewController::textView(const std::shared_ptr<NSTextView>& /*textView*/,
                                            const std::shared_ptr<NSObject>& clickedOnLink, std::uint64_t /*atIndex*/) {
  return openLink(clickedOnLink);
}

bool TermsOfServiceViewController::openLink(const std::shared_ptr<NSObject>& link) {
  logEvent(Constants::linkoutEvent);
  auto text = asA<NSString>(link);
  auto url = text ? NSURL::URLWithString(text->string()) : nullptr;
  if (!url) return false;
  NSWorkspace::sharedWorkspace()->openURL(url);
  return true;
}

void TermsOfServiceViewController::displayError() {
  if (auto label = errorLabel.lock()) label->setHidden(false);
}

void TermsOfServiceViewController::applyLayout(PresentationLayout layout) {
  auto content = contentContainer.lock();
  if (!content) return;
  for (auto subview : std::vector(content->subviews())) subview->removeFromSuperview();
  auto picked = layout == PresentationLayout::welcome ? welcomeUIContainer : actionUIContainer;
  if (!picked) return;
  content->addSubview(picked);
  picked->translatesAutoresizingMaskIntoConstraints = false;
  pinToSuperview(*picked);
  content->setNeedsLayout(true);
  if (layout != PresentationLayout::welcome) configurePrompt(layout);
}

void TermsOfServiceViewController::configurePrompt(PresentationLayout layout) {
  if (layout == PresentationLayout::welcome) return;
  const bool blocker = layout == PresentationLayout::blocker;
  if (auto block = checkBoxContainer.lock()) block->setHidden(blocker);
  if (auto text = tosClickOutTextView.lock()) {
    text->setString(blocker ? Constants::blockerLinkLine : Constants::normalLinkLine);
    setLinkedConstant(tosClickOutHeight, blocker ? Constants::blockerLinkLineHeight : Constants::normalLinkLineHeight);
    setLinkedConstant(tosClickOutWidth, blocker ? Constants::blockerLinkLineWidth : Constants::normalLinkLineWidth);
    setLinkedConstant(tosClickOutTop, blocker ? Constants::blockerLinkLineTop : Constants::normalLinkLineTop);
    configureClickOutText(*text);
  }
  if (!blocker) configureActionUI(currentState_);
}

void TermsOfServiceViewController::configureActionUI(TOSAcceptanceState state) {
  const bool initial = state == TOSAcceptanceState::initial;
  if (auto back = backButton.lock()) back->setHidden(initial);
  setLinkedConstant(promptLabelWidth, initial ? Constants::promptWidthInitial : Constants::promptWidthWarning);
  if (auto prompt = promptLabel.lock()) {
    prompt->setAttributedStringValue(initial ? initialPromptText() : warningPromptText());
  }
  setLinkedConstant(checkBoxContainerHeight, initial ? Constants::checkBoxBlockHeightInitial : Constants::checkBoxBlockHeightWarning);
  setLinkedConstant(bottomCheckBoxHeight, initial ? Constants::bottomCheckBoxHeightInitial : Constants::bottomCheckBoxHeightWarning);
  if (auto bottom = bottomCheckBox.lock()) {
    bottom->setTitle(std::string(initial ? Constants::declineTitle : Constants::confirmDeletionTitle));
  }
}

void TermsOfServiceViewController::configureClickOutText(NSTextView& textView) {
  auto font = textView.font();
  if (!font) return;
  const auto kept = textView.string();
  textView.setString("");
  textView.setSelectable(true);
  auto text = NSMutableAttributedString::make(kept, {{NSFontAttributeName, font},
                                                     {NSForegroundColorAttributeName, NSColor::whiteColor()}});
  if (auto terms = NSURL::URLWithString(legalTermsUrl)) addClickoutURLToSubstring(text, Constants::termsLinkWord, terms);
  if (auto privacy = NSURL::URLWithString(legalPrivacyUrl)) {
    addClickoutURLToSubstring(text, Constants::privacyLinkWord, privacy);
  }
  textView.textStorage()->appendAttributedString(*text);
  textView.linkTextAttributes = {{NSForegroundColorAttributeName, NSColor::whiteColor()},
                                 {NSUnderlineStyleAttributeName, NSNumber::numberWithInteger(1)},
                                 {"NSCursor", NSCursor::pointingHandCursor()}};
}

void TermsOfServiceViewController::configureWelcomeUI() {
  auto ok = welcomeTOSOKButton.lock();
  if (!ok) return;
  ok->setCornerRadius(Constants::okCornerRadius);
  ok->setWantsLayer(true);
  if (auto layer = ok->layer()) layer->setCornerRadius(Constants::okCornerRadius);
  ok->buttonCell()->setHighlightsBy(0);
  auto title = NSMutableAttributedString::make();
  title->appendAttributedString(*okTitleText());
  auto centred = NSMutableParagraphStyle::make();
  centred->setAlignment(NSTextAlignment::center);
  title->addAttribute(NSParagraphStyleAttributeName, centred, NSMakeRange(0, title->length()));
  ok->setAttributedTitle(title);
}

// The interface: the close and back buttons over a content area that holds one of two
// blocks, the action block (prompt, the two checkboxes, the link line, an error line) and the
// welcome block (a welcome line, its link line and "OK"). Views are placed top-down from the
// constraint records the screen changes.
void TermsOfServiceViewController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>& owner) {
      auto screen = asA<TermsOfServiceViewController>(owner);
      auto root = NSView::initWithFrame(NSMakeRect(0, 0, 460, 520));
      root->setFlipped(true);
      root->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;

      auto close = QLXButton::initWithFrame(NSMakeRect(420, 12, 28, 28));
      close->setTitle("\u2715");
      close->setBordered(false);
      close->autoresizingMask = NSViewMinXMargin;
      // Back leads out of the warning state only, so it starts hidden: the blocker and the
      // welcome never show it.
      auto back = QLXButton::initWithFrame(NSMakeRect(12, 12, 60, 28));
      back->setTitle("Back");
      back->setBordered(false);
      back->setHidden(true);
      auto content = NSView::initWithFrame(NSMakeRect(0, 52, 460, 468));
      content->setFlipped(true);
      content->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      content->layoutHandler = [](NSView& view) {
        for (const auto& block : view.subviews()) block->setFrame(view.bounds());
      };
      for (const auto& v : std::vector<std::shared_ptr<NSView>>{content, back, close}) root->addSubview(v);

      // The action block.
      auto action = NSView::initWithFrame(NSMakeRect(0, 0, 460, 468));
      action->setFlipped(true);
      auto promptLabel = plainLabel(NSMakeRect(0, 0, 390, 96));
      auto block = NSView::initWithFrame(NSMakeRect(0, 0, 320, 70));
      block->setFlipped(true);
      auto top = CheckBoxControl::initWithFrame(NSMakeRect(0, 0, 320, 25));
      top->setTitle("Accept");
      auto bottom = CheckBoxControl::initWithFrame(NSMakeRect(0, 45, 320, 25));
      bottom->setTitle(std::string(Constants::declineTitle));
      block->addSubview(top);
      block->addSubview(bottom);
      auto linkLine = NSTextView::initWithFrame(NSMakeRect(0, 0, 310, 26));
      linkLine->setFont(NSFont::fontWithName("Avenir Next Regular", 15));
      linkLine->setEditable(false);
      linkLine->drawsBackground = false;
      linkLine->setString(Constants::normalLinkLine);
      auto error = plainLabel(NSMakeRect(0, 0, 390, 22));
      error->setTextColor(NSColor::whiteColor());
      error->setStringValue("Something went wrong. Please try again.");
      error->setHidden(true);
      for (const auto& v : std::vector<std::shared_ptr<NSView>>{promptLabel, block, linkLine, error}) action->addSubview(v);

      auto promptWidth = NSLayoutConstraint::constant(promptLabel, NSLayoutAttribute::width, Constants::promptWidthInitial);
      auto blockHeight = NSLayoutConstraint::constant(block, NSLayoutAttribute::height, Constants::checkBoxBlockHeightInitial);
      auto bottomHeight = NSLayoutConstraint::constant(bottom, NSLayoutAttribute::height, Constants::bottomCheckBoxHeightInitial);
      auto linkHeight = NSLayoutConstraint::constant(linkLine, NSLayoutAttribute::height, Constants::normalLinkLineHeight);
      auto linkWidth = NSLayoutConstraint::constant(linkLine, NSLayoutAttribute::width, Constants::normalLinkLineWidth);
      auto linkTop = NSLayoutConstraint::equal(linkLine, NSLayoutAttribute::top, block, NSLayoutAttribute::bottom,
                                               Constants::normalLinkLineTop);
      action->addConstraints({promptWidth, blockHeight, bottomHeight, linkHeight, linkWidth, linkTop});
      action->layoutHandler = [promptWidth, blockHeight, bottomHeight, linkHeight, linkWidth, linkTop](NSView& view) {
        const auto subviews = view.subviews();
        if (subviews.size() < 4) return;
        const double width = view.bounds().width();
        auto centred = [width](double w, double y, double h) { return NSMakeRect((width - w) / 2, y, w, h); };
        subviews[0]->setFrame(centred(promptWidth->constant(), 24, 96));
        auto& checkBoxes = subviews[1];
        checkBoxes->setFrame(centred(320, 144, blockHeight->constant()));
        if (checkBoxes->subviews().size() == 2) {
          const double bottomBox = bottomHeight->constant();
          checkBoxes->subviews()[1]->setFrame(NSMakeRect(0, blockHeight->constant() - bottomBox, 320, bottomBox));
        }
        // The link line follows the checkboxes, or the prompt while the checkboxes are hidden.
        const double above = checkBoxes->isHidden() ? 120 : checkBoxes->frame().maxY();
        subviews[2]->setFrame(centred(linkWidth->constant(), above + linkTop->constant(), linkHeight->constant()));
        subviews[3]->setFrame(centred(390, subviews[2]->frame().maxY() + 12, 22));
      };

      // The welcome block.
      auto welcome = NSView::initWithFrame(NSMakeRect(0, 0, 460, 468));
      welcome->setFlipped(true);
      auto greeting = plainLabel(NSMakeRect(35, 60, 390, 40));
      greeting->setTextColor(NSColor::whiteColor());
      greeting->setFont(NSFont::fontWithName(Constants::promptFontName, 24));
      greeting->setStringValue("Welcome to Zolto!");
      auto welcomeLine = NSTextView::initWithFrame(NSMakeRect(108, 130, 243, 49));
      welcomeLine->setFont(NSFont::fontWithName("Avenir Next Regular", 15));
      welcomeLine->setEditable(false);
      welcomeLine->drawsBackground = false;
      welcomeLine->setString(Constants::blockerLinkLine);
      auto ok = QLXButton::initWithFrame(NSMakeRect(170, 210, 120, 44));
      setConvenientBackgroundColor(*ok, NSColor::whiteColor());
      // Centred in whatever width the panel gives the block.
      for (const auto& v : std::vector<std::shared_ptr<NSView>>{greeting, welcomeLine, ok}) {
        v->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin;
        welcome->addSubview(v);
      }

      if (screen) {
        screen->setView(root);
        screen->closeButton = close;
        screen->backButton = back;
        screen->contentContainer = content;
        screen->actionUIContainer = action;
        screen->promptLabel = promptLabel;
        screen->promptLabelWidth = promptWidth;
        screen->checkBoxContainer = block;
        screen->checkBoxContainerHeight = blockHeight;
        screen->topCheckBox = top;
        screen->bottomCheckBox = bottom;
        screen->bottomCheckBoxHeight = bottomHeight;
        screen->tosClickOutTextView = linkLine;
        screen->tosClickOutHeight = linkHeight;
        screen->tosClickOutWidth = linkWidth;
        screen->tosClickOutTop = linkTop;
        screen->errorLabel = error;
        screen->welcomeUIContainer = welcome;
        screen->welcomeTOSOKButton = ok;
        screen->welcomeTOSClickOutTextView = welcomeLine;
        std::weak_ptr<TermsOfServiceViewController> weak = screen;
        top->setDelegate(screen);
        bottom->setDelegate(screen);
        linkLine->setDelegate(screen);
        welcomeLine->setDelegate(screen);
        close->action = [weak](const std::shared_ptr<NSObject>& sender) {
          if (auto held = weak.lock()) held->didTapClose(sender);
        };
        back->action = [weak](const std::shared_ptr<NSObject>& sender) {
          if (auto held = weak.lock()) held->didTapBack(sender);
        };
        // "OK" of the welcome block closes the screen: the welcome needs no decision.
        ok->action = close->action;
      }
      return std::vector<std::shared_ptr<NSObject>>{root};
    });
    return true;
  }();
  (void)registered;
}
