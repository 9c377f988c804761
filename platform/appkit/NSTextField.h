#pragma once
// Text fields: labels and editable fields. Editing goes through the window's field editor,
// which the field places over itself; the field's delegate hears the editing begin, each
// change and the end (with the key that ended it: Return 16, Tab 17, Backtab 18), and may
// take over the editing commands.

#include <memory>
#include <string>
#include <string_view>

#include "platform/appkit/NSControl.h"
#include "platform/appkit/NSTextView.h"

class NSTextField;
class NSNotification;

enum class NSTextFieldBezelStyle { square = 0, rounded = 1 };

class NSTextFieldCell : public NSActionCell {
 public:
  static std::shared_ptr<NSTextFieldCell> initTextCell(std::string text);

  std::string placeholderString;
  std::shared_ptr<NSAttributedString> placeholderAttributedString;
  std::shared_ptr<NSColor> textColor;
  std::shared_ptr<NSColor> backgroundColor;
  bool drawsBackground = false;
  NSTextFieldBezelStyle bezelStyle = NSTextFieldBezelStyle::square;

  std::shared_ptr<NSAttributedString> displayedText() const override;
  void drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override;
  void drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override;
  // What the field shows for its value (a password field's bullets).
  virtual std::string shownText() const { return stringValue(); }

  GLIMDECK_OBJECT(NSTextFieldCell)

 protected:
  explicit NSTextFieldCell(std::string text) : NSActionCell(std::move(text)) {}

 private:
  // The displayed text and what it was built from: a label drawn again and again (a title
  // over a playing picture) builds it once. Fonts and colours are never changed in place.
  struct Displayed {
    std::string text;
    std::shared_ptr<NSFont> font;
    std::shared_ptr<NSColor> color;
    NSTextAlignment alignment = NSTextAlignment::natural;
    NSLineBreakMode lineBreakMode = NSLineBreakMode::byTruncatingTail;
    bool wraps = false;
    std::shared_ptr<NSAttributedString> built;
  };
  mutable Displayed displayed_;
};

class NSSecureTextFieldCell : public NSTextFieldCell {
 public:
  static std::shared_ptr<NSSecureTextFieldCell> initTextCell(std::string text);
  bool echosBullets = true;
  std::string shownText() const override;
  std::shared_ptr<NSAttributedString> displayedText() const override;
  GLIMDECK_OBJECT(NSSecureTextFieldCell)

 protected:
  using NSTextFieldCell::NSTextFieldCell;
};

class NSTextFieldDelegate {
 public:
  virtual ~NSTextFieldDelegate() = default;
  virtual void controlTextDidBeginEditing(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void controlTextDidChange(const std::shared_ptr<NSNotification>& /*notification*/) {}
  // userInfo "NSTextMovement": an NSNumber with the NSTextMovement that ended the editing.
  virtual void controlTextDidEndEditing(const std::shared_ptr<NSNotification>& /*notification*/) {}
  // An editing command in the field ("insertNewline:", "insertTab:"...); true takes it over.
  virtual bool control(const std::shared_ptr<NSControl>& /*control*/, const std::shared_ptr<NSTextView>& /*textView*/,
                       std::string_view /*doCommandBySelector*/) {
    return false;
  }
  // What was typed or pasted did not fit the field's maximum length: the field holds the
  // string that did (AppKit's control:didFailToValidatePartialString:errorDescription:).
  virtual void controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>& /*control*/,
                                                     std::string_view /*string*/,
                                                     std::string_view /*errorDescription*/) {}
};

class NSTextField : public NSControl, public NSTextViewDelegate {
 public:
  struct Constants {
    static constexpr std::string_view didBeginEditingNotification = "NSControlTextDidBeginEditingNotification";
    static constexpr std::string_view didChangeNotification = "NSControlTextDidChangeNotification";
    static constexpr std::string_view didEndEditingNotification = "NSControlTextDidEndEditingNotification";
  };

  static std::shared_ptr<NSTextField> initWithFrame(NSRect frame);
  static std::shared_ptr<NSTextField> labelWithString(std::string text);
  static std::shared_ptr<NSTextField> textFieldWithString(std::string text);

  std::shared_ptr<NSTextFieldCell> textFieldCell() const { return asA<NSTextFieldCell>(cell()); }

  bool isEditable() const { return cell()->editable; }
  void setEditable(bool editable);
  bool isSelectable() const { return cell()->selectable; }
  void setSelectable(bool selectable);
  bool isBordered() const { return cell()->bordered; }
  void setBordered(bool bordered);
  bool isBezeled() const { return cell()->bezeled; }
  void setBezeled(bool bezeled);
  bool drawsBackground() const;
  void setDrawsBackground(bool draws);
  std::shared_ptr<NSColor> textColor() const;
  void setTextColor(std::shared_ptr<NSColor> color);
  std::shared_ptr<NSColor> backgroundColor() const;
  void setBackgroundColor(std::shared_ptr<NSColor> color);
  std::string placeholderString() const;
  void setPlaceholderString(std::string text);
  std::shared_ptr<NSAttributedString> placeholderAttributedString() const;
  void setPlaceholderAttributedString(std::shared_ptr<NSAttributedString> text);
  long maximumNumberOfLines = 0;
  // The most UTF-16 units the user may type or paste into the field (0: no limit). Longer
  // input is cut to fit, between whole characters, and the delegate is told; a text the
  // program sets is taken whole.
  std::uint64_t maximumLength = 0;

  std::shared_ptr<NSTextFieldDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSTextFieldDelegate>& delegate) { delegate_ = delegate; }

  void setStringValue(std::string value) override;
  void setAttributedStringValue(std::shared_ptr<NSAttributedString> value) override;
  // The field editor while the field is being edited.
  std::shared_ptr<NSTextView> currentEditor() const;
  bool isEditing() const { return currentEditor() != nullptr; }
  void selectText(const std::shared_ptr<NSObject>& sender);
  void abortEditing();

  bool acceptsFirstResponder() const override { return isEditable() || isSelectable(); }
  bool becomeFirstResponder() override;
  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  void resetCursorRects() override;
  void drawRect(NSRect dirtyRect) override;
  std::string dumpText() const override;

  // The field editor's reports.
  void textDidBeginEditing(const std::shared_ptr<NSNotification>& notification) override;
  void textDidChange(const std::shared_ptr<NSNotification>& notification) override;
  void textDidEndEditing(const std::shared_ptr<NSNotification>& notification) override;
  bool textView(const std::shared_ptr<NSTextView>& textView, std::string_view doCommandBySelector) override;
  using NSTextViewDelegate::textView;
  void textViewDidCutTextToMaximumLength(const std::shared_ptr<NSTextView>& textView) override;

  GLIMDECK_OBJECT(NSTextField)

 protected:
  NSTextField(NSRect frame, std::shared_ptr<NSTextFieldCell> cell) : NSControl(frame, std::move(cell)) {}
  void didInit() override;
  // The field editor starts on this field: the text in it, all of it selected.
  virtual void beginEditingWith(const std::shared_ptr<NSTextView>& editor);

 private:
  std::shared_ptr<NSNotification> noteFor(std::string_view name, std::shared_ptr<NSDictionary> userInfo);
  std::weak_ptr<NSTextFieldDelegate> delegate_;
  std::weak_ptr<NSTextView> editor_;
};

class NSSecureTextField : public NSTextField {
 public:
  static std::shared_ptr<NSSecureTextField> initWithFrame(NSRect frame);
  GLIMDECK_OBJECT(NSSecureTextField)

 protected:
  using NSTextField::NSTextField;
  void beginEditingWith(const std::shared_ptr<NSTextView>& editor) override;
};
