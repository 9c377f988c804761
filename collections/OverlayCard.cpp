#include "collections/OverlayCard.h"

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSShadow.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSColorPalette.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

OverlayCardViews makeOverlayCard() {
  using L = OverlayCardLayout;
  constexpr NSAutoresizingMaskOptions fills = NSViewWidthSizable | NSViewHeightSizable;
  OverlayCardViews views;
  views.root = NSView::initWithFrame(NSMakeRect(0, 0, L::width, L::height));
  const NSRect cardFrame = NSMakeRect(L::inset, L::inset, L::cardWidth, L::cardHeight);
  views.shadowView = NSView::initWithFrame(cardFrame);
  views.shadowView->autoresizingMask = fills;
  views.root->addSubview(views.shadowView);
  views.card = NSView::initWithFrame(views.shadowView->bounds());
  views.card->setFlipped(true);
  views.card->autoresizingMask = fills;
  views.shadowView->addSubview(views.card);
  return views;
}

void styleOverlayCard(NSView& card, NSView& shadowView, double cornerRadius) {
  // The panel dims behind the card, as behind the log-in form.
  if (auto overlay = shadowView.superview()) setConvenientBackgroundColor(*overlay, NSColor::colorWithWhite(0, 0.4));
  setConvenientBackgroundColor(card, NSColor::whiteColor());
  card.layer()->setCornerRadius(cornerRadius);
  auto shadow = NSShadow::make();
  shadow->shadowBlurRadius = 2.0;
  shadow->shadowOffset = NSMakeSize(0.0, -1.0);
  shadow->shadowColor = NSColor::colorWithRed(0, 0, 0, 25.5 / 255.0);
  shadowView.setShadow(shadow);
  setConvenientBackgroundColor(shadowView, NSColor::clearColor());
}

std::shared_ptr<NSTextField> makeOverlayLabel(std::string_view text, NSRect frame) {
  auto label = NSTextField::labelWithString(std::string(text));
  label->setFrame(frame);
  label->autoresizingMask = NSViewWidthSizable;
  return label;
}

void styleOverlayLabel(NSTextField& label, std::string_view fontName, double size) {
  label.setFont(NSFont::fontWithName(fontName, size));
  label.setTextColor(NSColorPalette::textFieldTextOffBlack());
  label.setBackgroundColor(NSColor::clearColor());
  label.setDrawsBackground(false);
}

std::shared_ptr<NSTextField> makeFramedField(NSRect frame, const std::shared_ptr<NSTextFieldDelegate>& delegate) {
  auto field = NSTextField::initWithFrame(frame);
  // The kit's vertically aligned cell keeps the text, the placeholder and the editor in the
  // middle of the field, clear of its border.
  field->setCell(VerticallyAlignedTextFieldCell::initTextCell(""));
  field->setEditable(true);
  field->autoresizingMask = NSViewWidthSizable;
  field->setBezeled(false);
  field->setBordered(false);
  field->setDrawsBackground(false);
  field->setDelegate(delegate);
  return field;
}

void styleFramedField(NSTextField& field, std::string_view placeholder, std::string_view fontName, double size,
                      double borderWidth) {
  configureStylingForQLXWithPlaceholderText(field, std::string(placeholder));
  field.setFont(NSFont::fontWithName(fontName, size));
  field.setAlignment(NSTextAlignment::left);
  setConvenientBackgroundColor(field, NSColorPalette::standardOffWhite());
  field.layer()->setBorderWidth(borderWidth);
  field.layer()->setBorderColor(NSColorPalette::standardBorderGray()->CGColor());
}

std::shared_ptr<QLXButton> makeOverlayButton(std::string_view title, NSRect frame, NSAction action) {
  auto button = QLXButton::initWithFrame(frame);
  button->setTitle(std::string(title));
  button->setBordered(false);
  button->action = std::move(action);
  return button;
}

void styleTextButton(QLXButton& button, std::string_view title, std::string_view fontName, double size) {
  button.setFont(NSFont::fontWithName(fontName, size));
  button.setAttributedTitle(NSAttributedString::make(
      title, {{NSFontAttributeName, button.font()}, {NSForegroundColorAttributeName, NSColorPalette::standardBlue()}}));
}

void styleFilledButton(QLXButton& button, std::string_view fontName, double size, double cornerRadius) {
  button.setFont(NSFont::fontWithName(fontName, size));
  button.setWantsLayer(true);
  button.setCornerRadius(cornerRadius);
  button.configureStylingForQLX();
}
