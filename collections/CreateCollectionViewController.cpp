// The create-pack form. The card is flipped so that it reads top to bottom like the upload
// card: Cancel, title, instructions, the name field, the error line, then Create.

#include "collections/CreateCollectionViewController.h"

#include "collections/CollectionManager.h"
#include "collections/OverlayCard.h"
#include "model/InputLimits.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/appkit/NSWindow.h"
#include "ui/NSColorPalette.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"

namespace {

constexpr double formCardWidth = OverlayCardLayout::cardWidth;
constexpr double formMargin = OverlayCardLayout::margin;
constexpr double nameFieldTop = 128;
constexpr double nameFieldHeight = OverlayCardLayout::fieldHeight;
constexpr double createWidth = OverlayCardLayout::buttonWidth;
constexpr double createHeight = OverlayCardLayout::buttonHeight;

using Form = CreateCollectionViewController;

std::shared_ptr<NSTextField> formLine(std::string_view text, NSRect frame, std::string_view fontName, double size) {
  auto label = makeOverlayLabel(text, frame);
  styleOverlayLabel(*label, fontName, size);
  return label;
}

// Leading and trailing white space is no part of a pack's name: " Cats" is "Cats".
std::string trimmedName(const std::string& text) {
  constexpr std::string_view space = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace

void CreateCollectionViewController::loadView() {
  auto self = sharedAs<Form>();
  auto [root, shadowView, card] = makeOverlayCard();

  auto cancel = makeOverlayButton(Constants::cancelTitle, NSMakeRect(formMargin, 10, 60, 22), targetAction(self, &Form::didTapCancel));
  card->addSubview(cancel);
  const double lineWidth = formCardWidth - 2 * formMargin;
  auto title = formLine(Constants::title, NSMakeRect(formMargin, 38, lineWidth, 34), Constants::titleFont, Constants::titleSize);
  card->addSubview(title);
  auto subtitle = formLine(Constants::subtitle, NSMakeRect(formMargin, 76, lineWidth, 46), Constants::regularFont,
                           Constants::regularSize);
  subtitle->textFieldCell()->wraps = true;
  card->addSubview(subtitle);

  auto field = makeFramedField(NSMakeRect(formMargin, nameFieldTop, lineWidth, nameFieldHeight),
                               std::static_pointer_cast<NSTextFieldDelegate>(self));
  field->maximumLength = InputLimits::packName;
  card->addSubview(field);
  auto error = formLine(Constants::emptyNameText, NSMakeRect(formMargin, nameFieldTop + nameFieldHeight + 8, lineWidth, 22),
                        Constants::regularFont, Constants::regularSize);
  card->addSubview(error);
  auto createNow = makeOverlayButton(Constants::createTitle,
                              NSMakeRect((formCardWidth - createWidth) / 2, nameFieldTop + nameFieldHeight + 40,
                                         createWidth, createHeight),
                              targetAction(self, &Form::didTapCreate));
  createNow->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin;
  card->addSubview(createNow);

  containerView = card;
  containerShadowView = shadowView;
  titleLabel = title;
  subtitleLabel = subtitle;
  nameTextField = field;
  errorLabel = error;
  createButton = createNow;
  cancelButton = cancel;
  setView(root);
  awakeFromNib();
}

void CreateCollectionViewController::awakeFromNib() {
  NSViewController::awakeFromNib();
  auto card = containerView.lock();
  auto shadowView = containerShadowView.lock();
  if (card && shadowView) styleOverlayCard(*card, *shadowView, Constants::cardCornerRadius);
  if (auto error = errorLabel.lock()) {
    error->setTextColor(NSColorPalette::errorRed());
    error->setHidden(true);
  }
  if (auto field = nameTextField.lock()) {
    styleFramedField(*field, Constants::namePlaceholder, Constants::regularFont, Constants::regularSize,
                     Constants::borderWidth);
  }
  if (auto cancel = cancelButton.lock()) {
    styleTextButton(*cancel, Constants::cancelTitle, Constants::regularFont, Constants::regularSize);
  }
  if (auto button = createButton.lock()) {
    styleFilledButton(*button, Constants::buttonFont, Constants::buttonSize, Constants::buttonCornerRadius);
    setConvenientBackgroundColor(*button, NSColorPalette::standardBlue());
  }
}

void CreateCollectionViewController::reset() {
  created_ = false;
  if (!isViewLoaded()) return;
  if (auto error = errorLabel.lock()) error->setHidden(true);
  auto field = nameTextField.lock();
  if (!field) return;
  field->setStringValue("");
  // The form is there to be typed into: the name field takes the keys at once.
  if (auto window = view()->window()) window->makeFirstResponder(field);
}

void CreateCollectionViewController::closeViewWithCallback(std::function<void()> callback) {
  if (!isViewLoaded()) {
    if (callback) callback();
    return;
  }
  auto root = view();
  std::weak_ptr<NSView> weakRoot = root;
  NSAnimationContext::runAnimationGroup(
      [&](NSAnimationContext& context) {
        context.setDuration(Constants::fadeOutSeconds);
        root->animator()->setAlphaValue(0.0);
      },
      [weakRoot, callback = std::move(callback)] {
        // Shown again while fading out: the owner has faded it back in, so it stays.
        if (auto faded = weakRoot.lock(); faded && faded->alphaValue() == 0.0) faded->removeFromSuperview();
        if (callback) callback();
      });
}

void CreateCollectionViewController::showError(std::string_view text) {
  auto error = errorLabel.lock();
  if (!error) return;
  error->setStringValue(std::string(text));
  error->setHidden(false);
}

void CreateCollectionViewController::didTapCreate(const std::shared_ptr<NSObject>& /*sender*/) {
  auto field = nameTextField.lock();
  if (created_ || !field) return;
  const auto name = trimmedName(field->stringValue());
  if (name.empty()) return showError(Constants::emptyNameText);
  auto manager = CollectionManager::sharedInstance();
  // The manager refuses any name a collection already has, the special ones included.
  if (manager->getCollection(name)) return showError(Constants::duplicateNameText);
  if (!manager->createNewCollection(name, true, true)) return showError(Constants::failureText);
  created_ = true;
  if (auto error = errorLabel.lock()) error->setHidden(true);
  if (auto d = delegate.lock()) d->collectionCreationSuccess();
}

void CreateCollectionViewController::didTapCancel(const std::shared_ptr<NSObject>& /*sender*/) {
  if (auto d = delegate.lock()) d->collectionCreationCancelled();
}

void CreateCollectionViewController::controlTextDidChange(const std::shared_ptr<NSNotification>& /*notification*/) {
  if (auto error = errorLabel.lock()) error->setHidden(true);
}

void CreateCollectionViewController::controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>& /*control*/,
                                                                            std::string_view /*string*/,
                                                                            std::string_view /*errorDescription*/) {
  static_assert(InputLimits::packName == 60, "the message names the limit");
  showError(Constants::nameTooLongText);
}

bool CreateCollectionViewController::control(const std::shared_ptr<NSControl>& /*control*/,
                                             const std::shared_ptr<NSTextView>& /*textView*/,
                                             std::string_view doCommandBySelector) {
  if (doCommandBySelector == "insertNewline:") {
    didTapCreate(nullptr);
    return true;
  }
  if (doCommandBySelector == "cancelOperation:") {
    didTapCancel(nullptr);
    return true;
  }
  return false;
}
