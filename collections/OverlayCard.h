#pragma once
// The look shared by the panel's form overlays (upload, create pack): a white card with a soft
// shadow inset in the overlay, off-black text lines, framed text fields, blue text buttons and
// filled buttons. Each screen keeps its own layout and texts; only the drawing is common.

#include <memory>
#include <string_view>

#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSView.h"

class QLXButton;

// The forms' shared measures: the overlay, its card, the card's side margin, a text field's
// height and the size of a filled button.
struct OverlayCardLayout {
  static constexpr double width = 400;
  static constexpr double height = 480;
  static constexpr double inset = 10;
  static constexpr double cardWidth = width - 2 * inset;
  static constexpr double cardHeight = height - 2 * inset;
  static constexpr double margin = 20;
  static constexpr double fieldHeight = 32;
  static constexpr double buttonWidth = 140;
  static constexpr double buttonHeight = 36;
};

struct OverlayCardViews {
  std::shared_ptr<NSView> root;
  // Around the card, casting its shadow (a layer with rounded corners clips its own).
  std::shared_ptr<NSView> shadowView;
  // Flipped, so that a form is laid out top to bottom.
  std::shared_ptr<NSView> card;
};

// An overlay with its card inset on every side; both card views resize with it.
OverlayCardViews makeOverlayCard();
// The card's white, rounded face, the shadow under it and the dimmed panel around it (once
// the views are in place).
void styleOverlayCard(NSView& card, NSView& shadowView, double cornerRadius);

std::shared_ptr<NSTextField> makeOverlayLabel(std::string_view text, NSRect frame);
void styleOverlayLabel(NSTextField& label, std::string_view fontName, double size);

// A text field whose layer draws its background and border, so it draws neither itself.
std::shared_ptr<NSTextField> makeFramedField(NSRect frame, const std::shared_ptr<NSTextFieldDelegate>& delegate);
void styleFramedField(NSTextField& field, std::string_view placeholder, std::string_view fontName, double size,
                      double borderWidth);

std::shared_ptr<QLXButton> makeOverlayButton(std::string_view title, NSRect frame, NSAction action);
// A borderless button whose title is blue text (Back, Cancel).
void styleTextButton(QLXButton& button, std::string_view title, std::string_view fontName, double size);
// A button on a coloured rounded face (Create, Upload, Done).
void styleFilledButton(QLXButton& button, std::string_view fontName, double size, double cornerRadius);
