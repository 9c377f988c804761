#pragma once
// Cells hold a control's value and look (text, font, alignment, state, image) and know how
// to measure, draw and edit it inside a frame of the control.

#include <memory>
#include <string>

#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSView;
class NSFont;
class NSColor;
class NSImage;
class NSAttributedString;
class NSTextView;
class NSTextViewDelegate;

using NSControlStateValue = long;
constexpr NSControlStateValue NSControlStateValueMixed = -1;
constexpr NSControlStateValue NSControlStateValueOff = 0;
constexpr NSControlStateValue NSControlStateValueOn = 1;

class NSCell : public NSObject {
 public:
  static std::shared_ptr<NSCell> initTextCell(std::string text);
  static std::shared_ptr<NSCell> initImageCell(std::shared_ptr<NSImage> image);

  // The value. Setting the plain text drops an attributed value; setting an attributed
  // value also sets the plain text.
  const std::string& stringValue() const { return stringValue_; }
  virtual void setStringValue(std::string value);
  std::shared_ptr<NSAttributedString> attributedStringValue() const;
  virtual void setAttributedStringValue(std::shared_ptr<NSAttributedString> value);
  long integerValue() const;
  double doubleValue() const;
  const std::string& title() const { return stringValue_; }
  void setTitle(std::string title) { setStringValue(std::move(title)); }

  std::shared_ptr<NSFont> font() const;
  void setFont(std::shared_ptr<NSFont> font) { font_ = std::move(font); }
  // The font set on the cell, empty while it uses the system font.
  const std::shared_ptr<NSFont>& fontIfSet() const { return font_; }
  std::shared_ptr<NSImage> image;
  NSTextAlignment alignment = NSTextAlignment::natural;
  NSLineBreakMode lineBreakMode = NSLineBreakMode::byTruncatingTail;
  bool wraps = false;
  bool scrollable = false;
  bool enabled = true;
  bool editable = false;
  bool selectable = false;
  bool bordered = false;
  bool bezeled = false;
  bool highlighted = false;
  bool usesSingleLineMode = false;
  NSControlStateValue state = NSControlStateValueOff;
  long tag = 0;
  std::shared_ptr<NSObject> representedObject;

  std::shared_ptr<NSView> controlView() const { return controlView_.lock(); }
  void setControlView(const std::shared_ptr<NSView>& view) { controlView_ = view; }

  bool hasAttributedValue() const { return attributedValue_ != nullptr; }
  // The text with the cell's font, colour and alignment where it carries none of its own.
  virtual std::shared_ptr<NSAttributedString> displayedText() const;

  // Geometry: the natural size of the content, and where the title goes in a frame.
  virtual NSSize cellSizeForBounds(NSRect bounds) const;
  NSSize cellSize() const;
  virtual NSRect titleRectForBounds(NSRect bounds) const;
  virtual NSRect drawingRectForBounds(NSRect bounds) const;
  virtual NSRect imageRectForBounds(NSRect bounds) const;
  // Where the base drawing and the field editor put the text inside a frame.
  NSRect textFrameFor(NSRect frame) const;

  // Drawing into the current graphics context.
  virtual void drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view);
  virtual void drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view);

  // Puts the field editor over the frame with the cell's text, the delegate hearing its
  // editing, and selects a range of it.
  virtual void selectWithFrame(NSRect frame, const std::shared_ptr<NSView>& view,
                               const std::shared_ptr<NSTextView>& editor,
                               const std::shared_ptr<NSTextViewDelegate>& delegate, long start, long length);
  virtual void editWithFrame(NSRect frame, const std::shared_ptr<NSView>& view,
                             const std::shared_ptr<NSTextView>& editor,
                             const std::shared_ptr<NSTextViewDelegate>& delegate);
  virtual void endEditing(const std::shared_ptr<NSTextView>& editor);

  GLIMDECK_OBJECT(NSCell)

 protected:
  NSCell() = default;
  explicit NSCell(std::string text) : stringValue_(std::move(text)) {}

 private:
  std::string stringValue_;
  std::shared_ptr<NSAttributedString> attributedValue_;
  std::shared_ptr<NSFont> font_;
  std::weak_ptr<NSView> controlView_;
};

// A cell that sends an action to a target.
class NSActionCell : public NSCell {
 public:
  static std::shared_ptr<NSActionCell> initTextCell(std::string text);
  NSAction action;
  std::weak_ptr<NSObject> target;
  GLIMDECK_OBJECT(NSActionCell)

 protected:
  using NSCell::NSCell;
};
