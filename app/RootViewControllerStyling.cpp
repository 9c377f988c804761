// The look of the root panel's toolbar and search field, applied once when the panel is built.

#include "app/RootViewController.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSColorPalette.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"

namespace {

// The named face, or the system face of that size where it is not installed.
std::shared_ptr<NSFont> panelFont(std::string_view name, double size) {
  if (auto font = NSFont::fontWithName(name, size)) return font;
  return NSFont::systemFontOfSize(size);
}

NSAttributes buttonTitleAttributes(const std::shared_ptr<NSColor>& foreground) {
  using C = RootViewController::Constants;
  auto paragraph = NSMutableParagraphStyle::make();
  paragraph->setAlignment(NSTextAlignment::center);
  return {{NSFontAttributeName, panelFont(C::buttonTitleFontName, C::buttonTitleFontSize)},
          {NSBackgroundColorAttributeName, NSColor::clearColor()},
          {NSParagraphStyleAttributeName, paragraph},
          {NSForegroundColorAttributeName, foreground}};
}

void styleToolbarButton(QLXButton& button) {
  button.setCornerRadius(3.0);
  button.setWantsLayer(true);
  button.layer()->setCornerRadius(3.0);
  button.disableHighlight();
}

}  // namespace

void RootViewController::configureUserAuthenticationButton() {
  if (auto toolbar = topToolbarContainer.lock()) setConvenientBackgroundColor(*toolbar, NSColor::whiteColor());
  auto upload = uploadButton.lock();
  auto account = userAuthenticationButton.lock();
  for (const auto& button : {upload, account}) {
    if (button) styleToolbarButton(*button);
  }
  for (const auto& shadowView : {userAuthenticationButtonShadowView.lock(), uploadButtonShadowView.lock()}) {
    if (!shadowView) continue;
    setConvenientBackgroundColor(*shadowView, NSColor::clearColor());
    createShadow(*shadowView);
  }
  if (upload) {
    upload->setAttributedTitle(NSAttributedString::make(Constants::uploadButtonTitle,
                                                        buttonTitleAttributes(NSColorPalette::standardBlue())));
  }
  if (account) {
    account->setAttributedTitle(
        NSAttributedString::make(Constants::accountButtonTitle, buttonTitleAttributes(NSColor::whiteColor())));
    // The palette gives the account button its blue: the white title stands on it, not on
    // the grey of a bezel.
    account->setBordered(false);
    setConvenientBackgroundColor(*account, NSColorPalette::standardBlue());
  }
}

void RootViewController::prepareFonts() {
  // The titles measured as the toolbar measures them: their face, and the text system's
  // default face that every measurement starts from.
  for (auto title : {Constants::uploadButtonTitle, Constants::accountButtonTitle}) {
    (void)NSAttributedString::make(title, buttonTitleAttributes(NSColor::whiteColor()))->size();
  }
  (void)panelFont(Constants::searchFontName, Constants::searchFontSize);
  (void)NSFont::systemFontOfSize(NSFont::systemFontSize());
}

void RootViewController::configureSearchField() {
  if (auto shadowView = textFieldShadowView.lock()) {
    shadowView->setWantsLayer(true);
    createShadow(*shadowView);
  }
  if (auto field = searchTextField.lock()) {
    // What is typed reads as the placeholder does: white, in the search face and size.
    field->setFont(panelFont(Constants::searchFontName, Constants::searchFontSize));
    field->setTextColor(NSColor::whiteColor());
    field->setWantsLayer(true);
    field->layer()->setCornerRadius(2.0);
    setConvenientBackgroundColor(*field, NSColor::colorWithRed(1.0, 1.0, 1.0, 0.2));
    if (field->textFieldCell()) {
      field->setPlaceholderAttributedString(NSAttributedString::make(
          Constants::searchPlaceholder, {{NSFontAttributeName, panelFont(Constants::searchFontName, Constants::searchFontSize)},
                                         {NSForegroundColorAttributeName, NSColor::whiteColor()}}));
      field->setBackgroundColor(NSColor::clearColor());
    }
  }
  if (auto container = searchTextFieldContainer.lock()) {
    auto gradient = CAGradientLayer::layer();
    applyDalvoBlueGradientWithLayerToColor(*container, *gradient);
  }
}
