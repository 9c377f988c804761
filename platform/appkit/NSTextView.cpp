#include "platform/appkit/NSTextView.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/KeepAlive.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/TextLayout.h"

namespace {

// The UTF-16 units a UTF-8 sequence starting with this byte stands for (a lone surrogate was
// written as U+FFFD, one unit, as every character below U+10000).
std::uint64_t unitsOfLeadByte(unsigned char lead) { return lead >= 0xF0 ? 2 : 1; }

// The UTF-16 index of a byte offset of the same text in UTF-8 (an offset on a character's
// boundary, as Pango's are).
std::uint64_t unitOfByte(std::string_view utf8, std::size_t byte) {
  std::uint64_t unit = 0;
  for (std::size_t i = 0; i < byte && i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if ((c & 0xC0) != 0x80) unit += unitsOfLeadByte(c);
  }
  return unit;
}

// The index of the UTF-16 unit at which the n-th character (code point) starts.
std::uint64_t unitOfCharacter(const std::u16string& units, std::uint64_t n) {
  std::uint64_t i = 0;
  for (; i < units.size() && n > 0; --n) {
    const bool pair = units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                      units[i + 1] <= 0xDFFF;
    i += pair ? 2 : 1;
  }
  return i;
}

// The UTF-8 bytes of the text before a UTF-16 index (a pair the index cuts is left out).
std::size_t byteOfUnit(const std::u16string& units, std::uint64_t index) {
  std::size_t bytes = 0;
  for (std::uint64_t i = 0; i < index && i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      if (i + 1 >= index) break;
      bytes += 4;
      ++i;
    } else {
      bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
    }
  }
  return bytes;
}

// The characters (code points) before a UTF-16 index: a password field shows one bullet each.
std::uint64_t charactersBefore(const std::u16string& units, std::uint64_t index) {
  std::uint64_t count = 0;
  for (std::uint64_t i = 0; i < index && i < units.size(); ++i) {
    if (units[i] < 0xDC00 || units[i] > 0xDFFF || i == 0 || units[i - 1] < 0xD800 || units[i - 1] > 0xDBFF) ++count;
  }
  return count;
}

// Where a caret may stand in the text (between whole user-perceived characters), as UTF-16
// indexes from 0 to the length.
std::vector<std::uint64_t> caretStopsOf(const std::u16string& units) {
  const auto utf8 = utf8FromUtf16(units);
  std::vector<std::uint64_t> stops;
  std::size_t byte = 0;
  std::uint64_t unit = 0;
  for (std::size_t stop : TextLayout::caretStops(utf8)) {
    for (; byte < stop; ++byte) {
      const auto c = static_cast<unsigned char>(utf8[byte]);
      if ((c & 0xC0) != 0x80) unit += unitsOfLeadByte(c);
    }
    stops.push_back(unit);
  }
  return stops;
}

// The stop before and after an index (the index's own ends when there is none).
std::uint64_t stopBefore(const std::vector<std::uint64_t>& stops, std::uint64_t index) {
  auto after = std::ranges::lower_bound(stops, index);
  return after == stops.begin() ? 0 : *std::prev(after);
}
std::uint64_t stopAfter(const std::vector<std::uint64_t>& stops, std::uint64_t index) {
  auto after = std::ranges::upper_bound(stops, index);
  return after == stops.end() ? index : *after;
}

// The longest start of `text` that is at most `room` UTF-16 units and ends between whole
// characters. Only the start of a long text is looked at (a paste may be megabytes long).
std::string fittingStart(const std::string& text, std::uint64_t room) {
  std::size_t byte = 0;
  std::uint64_t units = 0;
  while (byte < text.size()) {
    const auto c = static_cast<unsigned char>(text[byte]);
    const auto width = unitsOfLeadByte(c);
    if (units + width > room) break;
    units += width;
    ++byte;
    while (byte < text.size() && (static_cast<unsigned char>(text[byte]) & 0xC0) == 0x80) ++byte;
  }
  if (byte >= text.size()) return text;
  // A character's marks and joined parts follow it closely; this much of what follows
  // the cut decides whether the cut falls between two characters.
  constexpr std::size_t context = 256;
  const auto look = std::string_view(text).substr(0, std::min(text.size(), byte + context));
  const auto stops = TextLayout::caretStops(look);
  auto at = std::ranges::upper_bound(stops, byte);
  return text.substr(0, at == stops.begin() ? 0 : *std::prev(at));
}

// Keys such as the arrows, Home or F1 come with characters of the private range AppKit
// reserves for function keys (U+F700 to U+F8FF); they are commands, never text.
bool isFunctionKeyText(const std::string& chars) {
  // UTF-8 of U+F700...U+F8FF: EF 9C 80 ... EF A3 BF.
  if (chars.size() != 3 || static_cast<unsigned char>(chars[0]) != 0xEF) return false;
  const auto second = static_cast<unsigned char>(chars[1]);
  return second >= 0x9C && second <= 0xA3;
}

}  // namespace

NSTextView::NSTextView(NSRect frame) : NSView(frame), storage_(NSMutableAttributedString::make()) {}

std::shared_ptr<NSTextView> NSTextView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSTextView>(new NSTextView(frame)));
}

std::string NSTextView::string() const { return storage_->string(); }

NSAttributes NSTextView::typingAttributes() const {
  return {{NSFontAttributeName, font()}, {NSForegroundColorAttributeName, textColor()}};
}

void NSTextView::setString(std::string_view text) {
  storage_->setAttributedString(*NSAttributedString::make(text, typingAttributes()));
  selection_ = NSMakeRange(storage_->length(), 0);
  setNeedsDisplay(true);
  textResized();
}

std::shared_ptr<NSFont> NSTextView::font() const {
  return font_ ? font_ : NSFont::systemFontOfSize(NSFont::systemFontSize());
}

void NSTextView::setFont(std::shared_ptr<NSFont> font) {
  font_ = std::move(font);
  if (font_ && storage_->length() > 0) storage_->addAttribute(NSFontAttributeName, font_, NSMakeRange(0, storage_->length()));
  setNeedsDisplay(true);
  textResized();
}

std::shared_ptr<NSColor> NSTextView::textColor() const { return textColor_ ? textColor_ : NSColor::textColor(); }

void NSTextView::setTextColor(std::shared_ptr<NSColor> color) {
  textColor_ = std::move(color);
  if (textColor_ && storage_->length() > 0) {
    storage_->addAttribute(NSForegroundColorAttributeName, textColor_, NSMakeRange(0, storage_->length()));
  }
  setNeedsDisplay(true);
}

void NSTextView::setEditable(bool editable) {
  editable_ = editable;
  if (editable) selectable_ = true;
}

void NSTextView::setSelectable(bool selectable) {
  selectable_ = selectable;
  if (!selectable) editable_ = false;
}

void NSTextView::setDelegate(const std::shared_ptr<NSTextViewDelegate>& delegate) {
  delegate_ = delegate;
  editing_ = false;
}

std::shared_ptr<NSObject> NSTextView::delegateObject() const {
  auto d = delegate();
  auto object = dynamic_cast<NSObject*>(d.get());
  return object ? object->shared_from_this() : nullptr;
}

void NSTextView::setSelectedRange(NSRange range) {
  auto length = storage_->length();
  range.location = std::min(range.location, length);
  range.length = std::min(range.length, length - range.location);
  if (range == selection_) return;
  selection_ = range;
  // The caret or the highlight moves.
  setNeedsDisplay(true);
}

void NSTextView::selectAll(const std::shared_ptr<NSObject>&) { setSelectedRange(NSMakeRange(0, storage_->length())); }

void NSTextView::post(std::string_view name, std::shared_ptr<NSDictionary> userInfo) {
  auto note = NSNotification::notificationWithName(std::string(name), sharedAs<NSTextView>(), std::move(userInfo));
  auto d = delegate();
  if (d) {
    if (name == Constants::didBeginEditingNotification) d->textDidBeginEditing(note);
    if (name == Constants::didChangeNotification) d->textDidChange(note);
    if (name == Constants::didEndEditingNotification) d->textDidEndEditing(note);
  }
  NSNotificationCenter::defaultCenter()->postNotification(note);
}

void NSTextView::textChanged() {
  KeepAlive keep(*this);
  if (!editing_) {
    editing_ = true;
    post(Constants::didBeginEditingNotification);
  }
  setNeedsDisplay(true);
  textResized();
  post(Constants::didChangeNotification);
}

void NSTextView::textResized() {
  if (verticallyResizable_) sizeToFit();
}

void NSTextView::setVerticallyResizable(bool resizable) {
  verticallyResizable_ = resizable;
  textResized();
}

void NSTextView::sizeToFit() {
  const double width = frame().size.width;
  auto shown = shownText();
  double height = 0;
  if (auto layout = blockLayout(shown, width)) {
    height = layout->height();
  } else {
    height = shown->sizeInWidth(width).height;
  }
  NSRect resized = frame();
  resized.size.height = std::max(minSize.height, std::ceil(height));
  if (resized != frame()) setFrame(resized);
}

void NSTextView::insertText(std::string_view text) {
  if (!editable_) return;
  bool cut = false;
  if (fieldEditor_) {
    // A field editor holds one line: line breaks become spaces.
    std::string line(text);
    std::ranges::replace(line, '\n', ' ');
    std::ranges::replace(line, '\r', ' ');
    if (maximumLength) {
      const std::uint64_t kept = storage_->length() - std::min(selection_.length, storage_->length());
      const std::uint64_t room = kept < *maximumLength ? *maximumLength - kept : 0;
      auto fitting = fittingStart(line, room);
      cut = fitting.size() < line.size();
      line = std::move(fitting);
      if (line.empty() && selection_.length == 0) {
        if (cut) tellCut();
        return;
      }
    }
    storage_->replaceCharactersInRange(selection_, *NSAttributedString::make(line, typingAttributes()));
    selection_ = NSMakeRange(selection_.location + utf16FromUtf8(line).size(), 0);
  } else {
    storage_->replaceCharactersInRange(selection_, *NSAttributedString::make(text, typingAttributes()));
    selection_ = NSMakeRange(selection_.location + utf16FromUtf8(text).size(), 0);
  }
  textChanged();
  // Told after the change, so that what the delegate shows about it stays.
  if (cut) tellCut();
}

void NSTextView::tellCut() {
  if (auto d = delegate()) d->textViewDidCutTextToMaximumLength(sharedAs<NSTextView>());
}

void NSTextView::deleteBackward() {
  if (!editable_) return;
  NSRange range = selection_;
  if (range.length == 0) {
    if (range.location == 0) return;
    // The whole character goes: an emoji with its parts, a letter with its accents.
    const auto start = stopBefore(caretStopsOf(storage_->utf16()), range.location);
    range = NSMakeRange(start, range.location - start);
  }
  storage_->deleteCharactersInRange(range);
  selection_ = NSMakeRange(range.location, 0);
  textChanged();
}

void NSTextView::deleteForward() {
  if (!editable_) return;
  NSRange range = selection_;
  if (range.length == 0) {
    if (range.location >= storage_->length()) return;
    const auto end = stopAfter(caretStopsOf(storage_->utf16()), range.location);
    range = NSMakeRange(range.location, end - range.location);
  }
  storage_->deleteCharactersInRange(range);
  selection_ = NSMakeRange(range.location, 0);
  textChanged();
}

void NSTextView::endFieldEditing(long movement) {
  KeepAlive keep(*this);
  editing_ = false;
  auto info = NSDictionary::make({{std::string(Constants::textMovementKey), NSNumber::numberWithInteger(movement)}});
  post(Constants::didEndEditingNotification, info);
}

bool NSTextView::respondsToCommand(std::string_view selector) const {
  static constexpr std::string_view known[] = {
      "insertNewline:", "insertTab:", "insertBacktab:", "deleteBackward:", "deleteForward:", "cancelOperation:",
      "moveLeft:",      "moveRight:", "moveToBeginningOfLine:", "moveToEndOfLine:", "selectAll:",
      "copy:",          "paste:"};
  return std::ranges::find(known, selector) != std::end(known);
}

void NSTextView::performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) {
  if (selector == "insertNewline:") {
    fieldEditor_ ? endFieldEditing(NSTextMovement::returnKey) : insertText("\n");
  } else if (selector == "insertTab:") {
    fieldEditor_ ? endFieldEditing(NSTextMovement::tab) : insertText("\t");
  } else if (selector == "insertBacktab:") {
    if (fieldEditor_) endFieldEditing(NSTextMovement::backtab);
  } else if (selector == "cancelOperation:") {
    // Escape leaves a field's editing alone, as AppKit's field editor does: the key's
    // release still travels up to the field's owners, which may act on it.
  } else if (selector == "deleteBackward:") {
    deleteBackward();
  } else if (selector == "deleteForward:") {
    deleteForward();
  } else if (selector == "moveLeft:") {
    auto at = selection_.length ? selection_.location : stopBefore(caretStopsOf(storage_->utf16()), selection_.location);
    setSelectedRange(NSMakeRange(at, 0));
  } else if (selector == "moveRight:") {
    auto at = selection_.length ? selection_.end() : stopAfter(caretStopsOf(storage_->utf16()), selection_.location);
    setSelectedRange(NSMakeRange(at, 0));
  } else if (selector == "moveToBeginningOfLine:") {
    setSelectedRange(NSMakeRange(0, 0));
  } else if (selector == "moveToEndOfLine:") {
    setSelectedRange(NSMakeRange(storage_->length(), 0));
  } else if (selector == "selectAll:") {
    selectAll(sender);
  } else if (selector == "copy:") {
    // A password field's text never leaves it.
    if (selection_.length == 0 || asA<NSSecureTextField>(delegateObject())) return;
    auto pasteboard = NSPasteboard::generalPasteboard();
    pasteboard->clearContents();
    pasteboard->setString(storage_->attributedSubstringFromRange(selection_)->string(), NSPasteboardTypeString);
  } else if (selector == "paste:") {
    if (auto text = NSPasteboard::generalPasteboard()->stringForType(NSPasteboardTypeString)) insertText(*text);
  }
}

void NSTextView::doCommandBySelector(std::string_view selector) {
  auto self = sharedAs<NSTextView>();
  if (auto d = delegate(); d && d->textView(self, selector)) return;
  if (respondsToCommand(selector)) {
    performCommand(selector, self);
    return;
  }
  if (auto next = nextResponder()) next->tryToPerform(selector, self);
}

void NSTextView::interpretKeyEvent(const std::shared_ptr<NSEvent>& event) {
  auto flags = event->modifierFlags();
  auto code = event->keyCode();
  const auto& chars = event->characters();
  if (code == NSKeyCode::returnKey || code == NSKeyCode::keypadEnter || chars == "\r" || chars == "\n") {
    doCommandBySelector("insertNewline:");
  } else if (code == NSKeyCode::tab || chars == "\t" || chars == "\x19") {
    doCommandBySelector((flags & NSEventModifierFlagShift) || chars == "\x19" ? "insertBacktab:" : "insertTab:");
  } else if (code == NSKeyCode::deleteKey || chars == "\x7f") {
    doCommandBySelector("deleteBackward:");
  } else if (code == NSKeyCode::forwardDelete) {
    doCommandBySelector("deleteForward:");
  } else if (code == NSKeyCode::escape || chars == "\x1b") {
    doCommandBySelector("cancelOperation:");
  } else if (code == NSKeyCode::leftArrow) {
    doCommandBySelector("moveLeft:");
  } else if (code == NSKeyCode::rightArrow) {
    doCommandBySelector("moveRight:");
  } else if (code == NSKeyCode::upArrow) {
    doCommandBySelector("moveUp:");
  } else if (code == NSKeyCode::downArrow) {
    doCommandBySelector("moveDown:");
  } else if ((flags & NSEventModifierFlagCommand) && event->charactersIgnoringModifiers() == "a") {
    doCommandBySelector("selectAll:");
  } else if ((flags & NSEventModifierFlagCommand) && event->charactersIgnoringModifiers() == "c") {
    doCommandBySelector("copy:");
  } else if ((flags & NSEventModifierFlagCommand) && event->charactersIgnoringModifiers() == "v") {
    doCommandBySelector("paste:");
  } else if (!(flags & (NSEventModifierFlagCommand | NSEventModifierFlagControl)) && !chars.empty() &&
             !isFunctionKeyText(chars)) {
    insertText(chars);
  } else if (auto next = nextResponder()) {
    next->keyDown(event);
  }
}

void NSTextView::keyDown(const std::shared_ptr<NSEvent>& event) {
  if (!editable_ && !(event->modifierFlags() & NSEventModifierFlagCommand)) {
    NSView::keyDown(event);
    return;
  }
  interpretKeyEvent(event);
}

bool NSTextView::becomeFirstResponder() { return true; }

bool NSTextView::resignFirstResponder() {
  if (fieldEditor_ && delegate()) endFieldEditing(NSTextMovement::other);
  return true;
}

// ---- geometry of the text ----------------------------------------------------------------

namespace {
// A text of more lines than this is drawn by blocks of this many lines.
constexpr std::size_t kBlockLines = 128;
}  // namespace

NSTextView::LaidOutHit NSTextView::hitOnLaidOutLines(NSPoint point) const {
  auto shown = shownText();
  const NSRect area = bounds();
  NSPoint inText{point.x - area.origin.x, point.y - area.origin.y};
  std::shared_ptr<NSAttributedString> part = shown;
  std::uint64_t first = 0;
  // A long text is drawn by blocks of lines, each laid out on its own: the point is looked
  // up in the block drawn at its height (the first above them all, the last below).
  if (auto layout = blockLayout(shown, area.size.width)) {
    auto blocks = layout->blocksMeeting(inText.y, inText.y);
    if (blocks.empty()) {
      const double at = inText.y < 0 ? 0 : layout->measureAll();
      blocks = layout->blocksMeeting(at, at);
    }
    if (!blocks.empty()) {
      const auto& block = blocks.back();
      part = shown->attributedSubstringFromRange(block.range);
      first = block.range.location;
      inText.y -= block.top;
    }
  }
  const CGText text = part->textForDrawing();
  const auto hit = TextLayout::hitTest(text, area.size.width, inText);
  auto unitOf = [&](std::size_t byte) -> std::uint64_t {
    if (displayMask) return unitOfCharacter(storage_->utf16(), byte / std::max<std::size_t>(1, displayMask->size()));
    return first + unitOfByte(text.utf8, byte);
  };
  return {unitOf(hit.character), unitOf(hit.caret), hit.onCharacter};
}

std::vector<NSRect> NSTextView::rectsForCharacterRange(NSRange range) const {
  std::vector<NSRect> rects;
  auto shown = shownText();
  const NSRect area = bounds();
  auto addPart = [&](const NSAttributedString& part, std::uint64_t first, double top) {
    const auto& units = part.utf16();
    auto byteOf = [&](std::uint64_t index) -> std::size_t {
      index = std::clamp<std::uint64_t>(index, first, first + units.size());
      return displayMask ? maskedText(index).size() : byteOfUnit(units, index - first);
    };
    for (auto rect : TextLayout::rangeRects(part.textForDrawing(), area.size.width, byteOf(range.location),
                                            byteOf(range.end()))) {
      rect.origin.x += area.origin.x;
      rect.origin.y += area.origin.y + top;
      rects.push_back(rect);
    }
  };
  if (auto layout = blockLayout(shown, area.size.width)) {
    for (const auto& block : layout->blocksCovering(range)) {
      addPart(*shown->attributedSubstringFromRange(block.range), block.range.location, block.top);
    }
  } else {
    addPart(*shown, 0, 0);
  }
  return rects;
}

NSRect NSTextView::rectForCharacterRange(NSRange range) const {
  if (fieldEditor_) {
    const NSRect b = bounds();
    const double scroll = scrolledLineOffset();
    const double x0 = lineOffsetOfIndex(range.location) - scroll, x1 = lineOffsetOfIndex(range.end()) - scroll;
    return NSMakeRect(b.minX() + x0, b.minY(), x1 - x0, std::min(b.height(), font()->defaultLineHeight()));
  }
  const auto rects = rectsForCharacterRange(range);
  return rects.empty() ? NSZeroRect : rects.front();
}

std::uint64_t NSTextView::characterIndexForPoint(NSPoint point) const {
  if (!fieldEditor_) {
    const auto hit = hitOnLaidOutLines(point);
    return hit.onCharacter ? hit.character : NSNotFound;
  }
  const auto& units = storage_->utf16();
  const double x = point.x + scrolledLineOffset();
  const auto line = displayMask ? maskedText(units.size()) : utf8FromUtf16(units);
  const auto byte = TextLayout::caretStopUnder(font()->fontForDrawing(), line, x);
  if (x < 0 || byte >= line.size()) return NSNotFound;
  if (displayMask) return unitOfCharacter(units, byte / std::max<std::size_t>(1, displayMask->size()));
  return unitOfByte(line, byte);
}

std::uint64_t NSTextView::characterIndexForInsertionAtPoint(NSPoint point) const {
  if (!fieldEditor_) return hitOnLaidOutLines(point).caret;
  // The caret goes to the nearer edge of the whole character under the point, found on one
  // layout of the line, never between the halves of a character.
  const auto& units = storage_->utf16();
  const CGFont typeface = font()->fontForDrawing();
  const double x = point.x + scrolledLineOffset();
  if (displayMask) {
    const auto masked = maskedText(units.size());
    const auto byte = TextLayout::caretStopNearest(typeface, masked, x);
    return unitOfCharacter(units, byte / std::max<std::size_t>(1, displayMask->size()));
  }
  const auto text = utf8FromUtf16(units);
  return unitOfByte(text, TextLayout::caretStopNearest(typeface, text, x));
}

bool NSTextView::clickedOnCharacterAtIndex(std::uint64_t index) {
  if (index >= storage_->length()) return false;
  auto link = storage_->attributeAtIndex(NSLinkAttributeName, index);
  if (!link) return false;
  auto self = sharedAs<NSTextView>();
  if (auto d = delegate()) return d->textView(self, link, index);
  return false;
}

void NSTextView::mouseDown(const std::shared_ptr<NSEvent>& event) {
  if (!selectable_) {
    NSView::mouseDown(event);
    return;
  }
  const NSPoint point = convertPoint(event->locationInWindow(), nullptr);
  const auto under = characterIndexForPoint(point);
  pressedIndex_ = under == NSNotFound ? std::nullopt : std::optional(under);
  setSelectedRange(NSMakeRange(characterIndexForInsertionAtPoint(point), 0));
}

void NSTextView::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (!selectable_) {
    NSView::mouseUp(event);
    return;
  }
  const auto index = characterIndexForPoint(convertPoint(event->locationInWindow(), nullptr));
  // A link opens when the button goes up on the character it went down on.
  auto pressed = std::exchange(pressedIndex_, std::nullopt);
  if (pressed && *pressed == index) clickedOnCharacterAtIndex(index);
}

void NSTextView::resetCursorRects() {
  if (selectable_) addCursorRect(visibleRect(), NSCursor::IBeamCursor());
  // Links show their own cursor when the attributes ask for one.
  auto cursor = asA<NSCursor>(linkTextAttributes.contains("NSCursor") ? linkTextAttributes.at("NSCursor") : nullptr);
  if (!cursor) return;
  for (auto& [range, attributes] : storage_->runs()) {
    if (!attributes.contains(NSLinkAttributeName)) continue;
    for (const auto& rect : rectsForCharacterRange(range)) addCursorRect(rect, cursor);
  }
}

std::string NSTextView::maskedText(std::uint64_t index) const {
  std::string masked;
  if (!displayMask) return masked;
  for (auto n = charactersBefore(storage_->utf16(), index); n > 0; --n) masked += *displayMask;
  return masked;
}

std::string NSTextView::dumpText() const {
  if (displayMask) return maskedText(storage_->length());
  return string();
}

std::shared_ptr<NSAttributedString> NSTextView::shownText() const {
  if (displayMask) return NSAttributedString::make(dumpText(), typingAttributes());
  if (linkTextAttributes.empty()) return storage_;
  auto styled = storage_->mutableCopy();
  for (auto& [range, attributes] : storage_->runs()) {
    if (attributes.contains(NSLinkAttributeName)) styled->addAttributes(linkTextAttributes, range);
  }
  return styled;
}

NSSize NSTextView::textSizeInWidth(double width) const {
  auto shown = shownText();
  auto layout = blockLayout(shown, width);
  if (!layout) return shown->sizeInWidth(width);
  // Laid out as drawn, block by block (what is measured is kept for the drawing).
  return {width, layout->measureAll()};
}

std::shared_ptr<TextBlockLayout> NSTextView::blockLayout(const std::shared_ptr<NSAttributedString>& shown,
                                                         double width) const {
  if (static_cast<std::size_t>(std::ranges::count(shown->utf16(), u'\n')) < kBlockLines) return nullptr;
  if (blockLayout_ && blockLayout_->width() == width && blockLayout_->text().isEqualToAttributedString(*shown)) {
    return blockLayout_;
  }
  if (blockLayout_) blockLayout_->cancel();
  // The estimate of the lines not measured yet starts from the view's font.
  auto typeface = font();
  static constexpr std::string_view sample = "The quick brown fox jumps over the lazy dog";
  const NSSize line = typeface->sizeOfString(sample);  // as laid out: a line's height, and a character's width
  const TextBlockLayout::Metrics metrics{line.height, line.width / double(sample.size())};
  blockLayout_ = TextBlockLayout::make(shown->mutableCopy(), width, kBlockLines, metrics);
  std::weak_ptr<TextBlockLayout> weakLayout = blockLayout_;
  std::weak_ptr<NSTextView> weakView = std::const_pointer_cast<NSTextView>(sharedAs<NSTextView>());
  NSRunLoop::main()->perform([weakLayout, weakView] {
    auto layout = weakLayout.lock();
    if (!layout) return;
    layout->measureInBackground([weakView] {
      if (auto view = weakView.lock()) view->textResized();
    });
  });
  return blockLayout_;
}

std::shared_ptr<NSAttributedString> NSTextView::shownLine() const {
  if (displayMask) return NSAttributedString::make(dumpText(), typingAttributes());
  return storage_;
}

double NSTextView::lineOffsetOfIndex(std::uint64_t index) const {
  const auto& units = storage_->utf16();
  index = std::min<std::uint64_t>(index, units.size());
  const CGFont typeface = font()->fontForDrawing();
  // Measured on the whole line, as the caret lookup and the drawing lay it out.
  if (displayMask) return TextLayout::caretOffset(typeface, maskedText(units.size()), maskedText(index).size());
  return TextLayout::caretOffset(typeface, utf8FromUtf16(units), byteOfUnit(units, index));
}

double NSTextView::scrolledLineOffset() const {
  constexpr double caretWidth = 1.0;
  const double room = bounds().width();
  const double caret = lineOffsetOfIndex(selection_.length ? selection_.end() : selection_.location);
  double scroll = lineScroll_;
  if (caret - scroll > room - caretWidth) scroll = caret - room + caretWidth;
  if (caret < scroll) scroll = caret;
  // Deleting at the end pulls the line back instead of leaving room after it.
  scroll = std::max(0.0, std::min(scroll, lineOffsetOfIndex(storage_->length()) + caretWidth - room));
  lineScroll_ = scroll;
  return scroll;
}

void NSTextView::drawRect(NSRect dirtyRect) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  auto& gc = context->CGContext();
  if (drawsBackground && backgroundColor) {
    gc.setFillColor(backgroundColor->CGColor());
    gc.fillRect(bounds());
  }
  if (fieldEditor_) {
    // One line, never wrapped: it slides sideways under the field so that the caret shows,
    // with the selection behind it and the caret (which does not blink) in front.
    const NSRect b = bounds();
    const double scroll = scrolledLineOffset();
    const double lineHeight = std::min(b.height(), font()->defaultLineHeight());
    auto w = window();
    const bool focused = w && w->firstResponder().get() == this;
    if (focused && selection_.length > 0) {
      const double x0 = lineOffsetOfIndex(selection_.location) - scroll;
      gc.setFillColor(NSColor::selectedControlColor()->CGColor());
      gc.fillRect(NSMakeRect(x0, b.minY(), lineOffsetOfIndex(selection_.end()) - scroll - x0, lineHeight));
    }
    auto line = shownLine();
    const double whole = lineOffsetOfIndex(storage_->length());
    gc.drawText(line, NSMakeRect(b.minX() - scroll, b.minY(), std::max(b.width() + scroll, whole + lineHeight), b.height()));
    if (focused && editable_ && selection_.length == 0) {
      auto caretColor = insertionPointColor ? insertionPointColor : textColor();
      gc.setFillColor(caretColor->CGColor());
      gc.fillRect(NSMakeRect(b.minX() + lineOffsetOfIndex(selection_.location) - scroll, b.minY(), 1.0, lineHeight));
    }
    return;
  }
  auto shown = shownText();
  const NSRect area = bounds();
  auto layout = blockLayout(shown, area.size.width);
  if (!layout) {
    gc.drawText(shown, area);
    return;
  }
  // Laying out thousands of lines at once takes most of a second, and the view shows a few
  // dozen: the text is laid out by blocks of lines, each drawn where the blocks above it end
  // (a layout's lines stack, so the blocks together are the whole layout), and only where
  // it shows. A window asks for the whole view, so what is asked is cut to what shows
  // through the scroll view and the context's clip.
  NSRect asked = NSIntersectionRect(dirtyRect, visibleRect());
  if (auto clip = gc.clipBoundingBox()) asked = NSIntersectionRect(asked, *clip);
  if (asked.isEmpty()) return;
  for (const auto& block : layout->blocksMeeting(asked.minY() - area.origin.y, asked.maxY() - area.origin.y)) {
    const NSRect place = NSMakeRect(area.origin.x, area.origin.y + block.top, area.size.width, block.height);
    gc.drawText(shown->attributedSubstringFromRange(block.range), place);
  }
}

std::shared_ptr<NSTouchBar> NSTextView::makeTouchBar() {
  auto bar = NSTouchBar::make();
  bar->setDelegate(std::shared_ptr<NSTouchBarDelegate>(sharedAs<NSTextView>()));
  return bar;
}
