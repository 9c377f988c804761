#include "platform/appkit/NSTextField.h"

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/KeepAlive.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/render/NSGraphicsContext.h"

namespace {
constexpr std::string_view bullet = "\u2022";

std::string bullets(const std::string& text) {
  std::string out;
  for (auto units = utf16FromUtf8(text); auto unit : units) {
    if (unit < 0xDC00 || unit > 0xDFFF) out += bullet;  // one bullet per character
  }
  return out;
}
}  // namespace

// ---- cells ------------------------------------------------------------------------------

std::shared_ptr<NSTextFieldCell> NSTextFieldCell::initTextCell(std::string text) {
  return create(std::move(text));
}

std::shared_ptr<NSAttributedString> NSTextFieldCell::displayedText() const {
  if (hasAttributedValue()) return NSActionCell::displayedText();
  Displayed& d = displayed_;
  if (d.built && d.text == stringValue() && d.font == fontIfSet() && d.color == textColor &&
      d.alignment == alignment && d.lineBreakMode == lineBreakMode && d.wraps == wraps) {
    return d.built;
  }
  auto text = NSActionCell::displayedText();
  if (textColor) {
    auto styled = text->mutableCopy();
    if (styled->length() > 0) styled->addAttribute(NSForegroundColorAttributeName, textColor, NSMakeRange(0, styled->length()));
    text = styled;
  }
  d = {stringValue(), fontIfSet(), textColor, alignment, lineBreakMode, wraps, text};
  return text;
}

void NSTextFieldCell::drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  auto context = NSGraphicsContext::currentContext();
  if (context && drawsBackground && backgroundColor) {
    context->CGContext().setFillColor(backgroundColor->CGColor());
    context->CGContext().fillRect(frame);
  }
  NSActionCell::drawWithFrame(frame, view);
}

void NSTextFieldCell::drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  // While the field editor sits over the cell it shows the text itself; the placeholder
  // stays until something is typed.
  bool editing = false;
  if (auto field = asA<NSTextField>(view); field && field->isEditing()) {
    if (!field->currentEditor()->string().empty()) return;
    editing = true;
  }
  NSRect rect = textFrameFor(frame);
  if (editing || stringValue().empty()) {
    auto placeholder = placeholderAttributedString;
    if (!placeholder && !placeholderString.empty()) {
      placeholder = NSAttributedString::make(placeholderString, {{NSFontAttributeName, font()},
                                                                 {NSForegroundColorAttributeName, NSColor::secondaryLabelColor()}});
    }
    if (placeholder) context->CGContext().drawText(placeholder, rect);
    return;
  }
  context->CGContext().drawText(displayedText(), rect);
}

std::shared_ptr<NSSecureTextFieldCell> NSSecureTextFieldCell::initTextCell(std::string text) {
  return create(std::move(text));
}

std::string NSSecureTextFieldCell::shownText() const { return echosBullets ? bullets(stringValue()) : std::string(); }

std::shared_ptr<NSAttributedString> NSSecureTextFieldCell::displayedText() const {
  NSAttributes attributes{{NSFontAttributeName, font()},
                          {NSForegroundColorAttributeName, textColor ? textColor : NSColor::controlTextColor()}};
  return NSAttributedString::make(shownText(), attributes);
}

// ---- field ------------------------------------------------------------------------------

namespace {
// A new field is an editable, bezelled box with the text background.
template <typename Cell>
std::shared_ptr<Cell> editableCell(std::shared_ptr<Cell> cell) {
  cell->editable = true;
  cell->selectable = true;
  cell->bezeled = true;
  cell->drawsBackground = true;
  cell->backgroundColor = NSColor::textBackgroundColor();
  return cell;
}
}  // namespace

std::shared_ptr<NSTextField> NSTextField::initWithFrame(NSRect frame) {
  auto cell = editableCell(NSTextFieldCell::initTextCell({}));
  return finishInit(std::shared_ptr<NSTextField>(new NSTextField(frame, cell)));
}

std::shared_ptr<NSTextField> NSTextField::labelWithString(std::string text) {
  auto field = initWithFrame(NSZeroRect);
  field->setEditable(false);
  field->setSelectable(false);
  field->setBezeled(false);
  field->setBordered(false);
  field->setDrawsBackground(false);
  field->setStringValue(std::move(text));
  field->sizeToFit();
  return field;
}

std::shared_ptr<NSTextField> NSTextField::textFieldWithString(std::string text) {
  auto field = initWithFrame(NSZeroRect);
  field->setStringValue(std::move(text));
  field->sizeToFit();
  return field;
}

std::shared_ptr<NSSecureTextField> NSSecureTextField::initWithFrame(NSRect frame) {
  auto cell = editableCell(NSSecureTextFieldCell::initTextCell({}));
  return finishInit(std::shared_ptr<NSSecureTextField>(new NSSecureTextField(frame, cell)));
}

void NSTextField::didInit() { NSControl::didInit(); }

void NSTextField::setEditable(bool editable) {
  cell()->editable = editable;
  if (editable) cell()->selectable = true;
}

void NSTextField::setSelectable(bool selectable) {
  cell()->selectable = selectable;
  if (!selectable) cell()->editable = false;
}

void NSTextField::setBordered(bool bordered) {
  cell()->bordered = bordered;
  setNeedsDisplay(true);
}

void NSTextField::setBezeled(bool bezeled) {
  cell()->bezeled = bezeled;
  setNeedsDisplay(true);
}

bool NSTextField::drawsBackground() const {
  auto c = textFieldCell();
  return c && c->drawsBackground;
}

void NSTextField::setDrawsBackground(bool draws) {
  if (auto c = textFieldCell()) c->drawsBackground = draws;
  setNeedsDisplay(true);
}

std::shared_ptr<NSColor> NSTextField::textColor() const {
  auto c = textFieldCell();
  return c && c->textColor ? c->textColor : NSColor::controlTextColor();
}

void NSTextField::setTextColor(std::shared_ptr<NSColor> color) {
  if (auto c = textFieldCell()) c->textColor = std::move(color);
  setNeedsDisplay(true);
}

std::shared_ptr<NSColor> NSTextField::backgroundColor() const {
  auto c = textFieldCell();
  return c ? c->backgroundColor : nullptr;
}

void NSTextField::setBackgroundColor(std::shared_ptr<NSColor> color) {
  if (auto c = textFieldCell()) c->backgroundColor = std::move(color);
  setNeedsDisplay(true);
}

std::string NSTextField::placeholderString() const {
  auto c = textFieldCell();
  return c ? c->placeholderString : std::string();
}

void NSTextField::setPlaceholderString(std::string text) {
  if (auto c = textFieldCell()) c->placeholderString = std::move(text);
  setNeedsDisplay(true);
}

std::shared_ptr<NSAttributedString> NSTextField::placeholderAttributedString() const {
  auto c = textFieldCell();
  return c ? c->placeholderAttributedString : nullptr;
}

void NSTextField::setPlaceholderAttributedString(std::shared_ptr<NSAttributedString> text) {
  if (auto c = textFieldCell()) c->placeholderAttributedString = std::move(text);
  setNeedsDisplay(true);
}

void NSTextField::setStringValue(std::string value) {
  if (auto editor = currentEditor()) {
    auto keepDelegate = editor->delegate();
    editor->setDelegate(nullptr);
    editor->setString(value);
    editor->setDelegate(keepDelegate);
  }
  NSControl::setStringValue(std::move(value));
}

void NSTextField::setAttributedStringValue(std::shared_ptr<NSAttributedString> value) {
  if (auto editor = currentEditor()) {
    auto keepDelegate = editor->delegate();
    editor->setDelegate(nullptr);
    editor->setString(value ? value->string() : std::string());
    editor->setDelegate(keepDelegate);
  }
  NSControl::setAttributedStringValue(std::move(value));
}

std::shared_ptr<NSTextView> NSTextField::currentEditor() const {
  auto editor = editor_.lock();
  if (!editor || editor->delegateObject().get() != this) return nullptr;
  return editor;
}

void NSTextField::beginEditingWith(const std::shared_ptr<NSTextView>& editor) {
  editor->displayMask.reset();
  editor->setEditable(isEditable());
  editor->setSelectable(true);
  auto self = sharedAs<NSTextField>();
  editor_ = editor;
  auto length = static_cast<long>(utf16FromUtf8(stringValue()).size());
  cell()->selectWithFrame(bounds(), self, editor,
                          std::static_pointer_cast<NSTextViewDelegate>(self), 0, length);
  // The window's one editor is set up afresh for each field: its text colour, and a caret
  // in that colour until the field's owner asks for another.
  editor->setTextColor(textColor());
  editor->insertionPointColor = nullptr;
  editor->maximumLength = maximumLength > 0 ? std::optional(maximumLength) : std::nullopt;
}

void NSSecureTextField::beginEditingWith(const std::shared_ptr<NSTextView>& editor) {
  NSTextField::beginEditingWith(editor);
  editor->displayMask = std::string(bullet);
}

bool NSTextField::becomeFirstResponder() {
  if (!acceptsFirstResponder()) return false;
  auto w = window();
  if (!w) return true;
  auto editor = w->fieldEditor(true, sharedAs<NSObject>());
  if (!editor) return true;
  KeepAlive keep(*this);
  if (auto previous = asA<NSTextField>(editor->delegateObject()); previous && previous != keep.get()) {
    w->makeFirstResponder(nullptr);
  }
  beginEditingWith(editor);
  w->makeFirstResponder(editor);
  return true;
}

void NSTextField::selectText(const std::shared_ptr<NSObject>&) {
  if (auto w = window()) {
    if (auto editor = currentEditor()) {
      editor->selectAll(nullptr);
    } else {
      w->makeFirstResponder(sharedAs<NSTextField>());
    }
  }
}

void NSTextField::abortEditing() {
  auto editor = currentEditor();
  if (!editor) return;
  KeepAlive keep(*this);
  editor_.reset();
  cell()->endEditing(editor);
  if (auto w = window()) w->fieldEditingEnded(editor);
}

std::shared_ptr<NSNotification> NSTextField::noteFor(std::string_view name, std::shared_ptr<NSDictionary> userInfo) {
  return NSNotification::notificationWithName(std::string(name), sharedAs<NSTextField>(), std::move(userInfo));
}

void NSTextField::textDidBeginEditing(const std::shared_ptr<NSNotification>& notification) {
  auto note = noteFor(Constants::didBeginEditingNotification,
                      NSDictionary::make({{"NSFieldEditor", notification ? notification->object() : nullptr}}));
  if (auto d = delegate()) d->controlTextDidBeginEditing(note);
  NSNotificationCenter::defaultCenter()->postNotification(note);
}

void NSTextField::textDidChange(const std::shared_ptr<NSNotification>& notification) {
  KeepAlive keep(*this);
  if (auto editor = currentEditor()) NSControl::setStringValue(editor->string());
  auto note = noteFor(Constants::didChangeNotification,
                      NSDictionary::make({{"NSFieldEditor", notification ? notification->object() : nullptr}}));
  if (auto d = delegate()) d->controlTextDidChange(note);
  NSNotificationCenter::defaultCenter()->postNotification(note);
}

void NSTextField::textDidEndEditing(const std::shared_ptr<NSNotification>& notification) {
  KeepAlive keep(*this);
  auto editor = currentEditor();
  if (!editor) return;
  NSControl::setStringValue(editor->string());
  long movement = NSTextMovement::other;
  if (notification && notification->userInfo()) {
    if (auto number = notification->userInfo()->objectForKeyAs<NSNumber>(NSTextView::Constants::textMovementKey)) {
      movement = static_cast<long>(number->integerValue());
    }
  }
  editor_.reset();
  cell()->endEditing(editor);
  auto w = window();
  if (w) w->fieldEditingEnded(editor);
  auto note = noteFor(Constants::didEndEditingNotification,
                      NSDictionary::make({{std::string(NSTextView::Constants::textMovementKey),
                                           NSNumber::numberWithInteger(movement)}}));
  if (auto d = delegate()) d->controlTextDidEndEditing(note);
  NSNotificationCenter::defaultCenter()->postNotification(note);
  if (!w) return;
  if (movement == NSTextMovement::returnKey) {
    sendAction();
    // The field keeps the focus with its text selected, ready for the next entry.
    if (window() == w && w->firstResponder().get() == w.get()) w->makeFirstResponder(keep.get());
  } else if (movement == NSTextMovement::tab) {
    w->selectNextKeyView(keep.get());
  } else if (movement == NSTextMovement::backtab) {
    w->selectPreviousKeyView(keep.get());
  }
}

bool NSTextField::textView(const std::shared_ptr<NSTextView>& textView, std::string_view selector) {
  if (auto d = delegate()) return d->control(sharedAs<NSControl>(), textView, selector);
  return false;
}

void NSTextField::textViewDidCutTextToMaximumLength(const std::shared_ptr<NSTextView>& textView) {
  auto d = delegate();
  if (!d || !textView) return;
  d->controlDidFailToValidatePartialString(sharedAs<NSControl>(), textView->string(),
                                           "The text is longer than the field takes (" +
                                               std::to_string(maximumLength) + " characters).");
}

void NSTextField::mouseDown(const std::shared_ptr<NSEvent>& event) {
  if (!acceptsFirstResponder()) NSControl::mouseDown(event);
}

void NSTextField::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (!acceptsFirstResponder()) NSControl::mouseUp(event);
}

void NSTextField::resetCursorRects() {
  if (isEditable() || isSelectable()) addCursorRect(bounds(), NSCursor::IBeamCursor());
}

void NSTextField::drawRect(NSRect) { cell()->drawWithFrame(bounds(), sharedAs<NSView>()); }

std::string NSTextField::dumpText() const {
  if (auto c = textFieldCell()) return c->shownText();
  return stringValue();
}
