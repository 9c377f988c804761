#include "platform/appkit/NSCell.h"

#include <cmath>
#include <cstdlib>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSView.h"
#include "platform/render/NSGraphicsContext.h"

namespace {
// The insets of a cell's text from its frame: a little space at the sides, more when the
// cell draws a bezel or border.
constexpr double textInsetX = 2.0;
constexpr double borderInset = 1.0;
}  // namespace

std::shared_ptr<NSCell> NSCell::initTextCell(std::string text) {
  return create(std::move(text));
}

std::shared_ptr<NSCell> NSCell::initImageCell(std::shared_ptr<NSImage> image) {
  auto cell = std::shared_ptr<NSCell>(new NSCell());
  cell->image = std::move(image);
  return cell;
}

std::shared_ptr<NSActionCell> NSActionCell::initTextCell(std::string text) {
  return create(std::move(text));
}

void NSCell::setStringValue(std::string value) {
  stringValue_ = std::move(value);
  attributedValue_.reset();
}

void NSCell::setAttributedStringValue(std::shared_ptr<NSAttributedString> value) {
  stringValue_ = value ? value->string() : std::string();
  attributedValue_ = std::move(value);
}

std::shared_ptr<NSAttributedString> NSCell::attributedStringValue() const {
  if (attributedValue_) return attributedValue_;
  return displayedText();
}

long NSCell::integerValue() const { return std::strtol(stringValue_.c_str(), nullptr, 10); }
double NSCell::doubleValue() const { return std::strtod(stringValue_.c_str(), nullptr); }

std::shared_ptr<NSFont> NSCell::font() const {
  return font_ ? font_ : NSFont::systemFontOfSize(NSFont::systemFontSize());
}

std::shared_ptr<NSAttributedString> NSCell::displayedText() const {
  if (attributedValue_) return attributedValue_;
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(alignment);
  // A wrapping cell breaks lines (by characters when asked to, else by words).
  bool charWrap = lineBreakMode == NSLineBreakMode::byCharWrapping;
  style->setLineBreakMode(wraps ? (charWrap ? NSLineBreakMode::byCharWrapping : NSLineBreakMode::byWordWrapping)
                                : lineBreakMode);
  return NSAttributedString::make(stringValue_, {{NSFontAttributeName, font()},
                                                 {NSForegroundColorAttributeName, NSColor::controlTextColor()},
                                                 {NSParagraphStyleAttributeName, style}});
}

NSSize NSCell::cellSizeForBounds(NSRect bounds) const {
  auto text = displayedText();
  NSSize size = (wraps && bounds.width() > 0) ? text->sizeInWidth(bounds.width() - 2 * textInsetX) : text->size();
  if (stringValue_.empty()) size.height = font()->defaultLineHeight();
  size.width += 2 * textInsetX;
  if (bordered || bezeled) {
    size.width += 2 * borderInset;
    size.height += 2 * borderInset;
  }
  if (image) {
    NSSize imageSize = image->size();
    size.width = std::max(size.width, imageSize.width);
    size.height = std::max(size.height, imageSize.height);
  }
  return {std::ceil(size.width), std::ceil(size.height)};
}

NSSize NSCell::cellSize() const { return cellSizeForBounds(NSMakeRect(0, 0, 1e6, 1e6)); }

NSRect NSCell::drawingRectForBounds(NSRect bounds) const {
  if (bordered || bezeled) return NSInsetRect(bounds, borderInset, borderInset);
  return bounds;
}

NSRect NSCell::titleRectForBounds(NSRect bounds) const {
  return NSInsetRect(drawingRectForBounds(bounds), textInsetX, 0);
}

NSRect NSCell::textFrameFor(NSRect frame) const {
  return NSInsetRect(drawingRectForBounds(frame), textInsetX, 0);
}

NSRect NSCell::imageRectForBounds(NSRect bounds) const { return drawingRectForBounds(bounds); }

void NSCell::drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  auto context = NSGraphicsContext::currentContext();
  if (context && (bordered || bezeled)) {
    auto& gc = context->CGContext();
    gc.setStrokeColor(NSColor::grayColor()->CGColor());
    gc.setLineWidth(1.0);
    gc.strokeRect(NSInsetRect(frame, 0.5, 0.5));
  }
  drawInteriorWithFrame(frame, view);
}

void NSCell::drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>&) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  auto& gc = context->CGContext();
  if (image) gc.drawImage(image, imageRectForBounds(frame));
  if (!stringValue_.empty()) gc.drawText(displayedText(), textFrameFor(frame));
}

void NSCell::selectWithFrame(NSRect frame, const std::shared_ptr<NSView>& view,
                             const std::shared_ptr<NSTextView>& editor,
                             const std::shared_ptr<NSTextViewDelegate>& delegate, long start, long length) {
  if (!editor) return;
  editWithFrame(frame, view, editor, delegate);
  editor->setSelectedRange(NSMakeRange(static_cast<std::uint64_t>(std::max(0L, start)),
                                       static_cast<std::uint64_t>(std::max(0L, length))));
}

void NSCell::editWithFrame(NSRect frame, const std::shared_ptr<NSView>& view,
                           const std::shared_ptr<NSTextView>& editor,
                           const std::shared_ptr<NSTextViewDelegate>& delegate) {
  if (!editor) return;
  editor->setDelegate(nullptr);
  editor->setFont(font());
  editor->setString(stringValue_);
  editor->setFrame(textFrameFor(frame));
  if (view) view->addSubview(editor);
  editor->setDelegate(delegate);
}

void NSCell::endEditing(const std::shared_ptr<NSTextView>& editor) {
  if (!editor) return;
  editor->setDelegate(nullptr);
  editor->removeFromSuperview();
}
