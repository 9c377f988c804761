#pragma once
// Editable, selectable text with attributes and links. A window's field editor is a text
// view that edits the text of whichever text field is being edited, telling the field as
// its delegate; Return, Tab and Backtab end that editing.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSTouchBar.h"
#include "platform/appkit/TextBlockLayout.h"
#include "platform/appkit/NSView.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSRange.h"

class NSTextView;
class NSNotification;
class NSFont;
class NSColor;
class NSMutableAttributedString;

class NSTextViewDelegate {
 public:
  virtual ~NSTextViewDelegate() = default;
  virtual void textDidBeginEditing(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void textDidChange(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void textDidEndEditing(const std::shared_ptr<NSNotification>& /*notification*/) {}
  // A command the key bindings chose ("insertNewline:", "insertTab:"...); true when handled.
  virtual bool textView(const std::shared_ptr<NSTextView>& /*textView*/, std::string_view /*doCommandBySelector*/) {
    return false;
  }
  // Text typed or pasted into a field editor was longer than its maximum length and was
  // cut to fit (what fitted went in).
  virtual void textViewDidCutTextToMaximumLength(const std::shared_ptr<NSTextView>& /*textView*/) {}
  // A click on a link; true when handled (otherwise nothing more happens here).
  virtual bool textView(const std::shared_ptr<NSTextView>& /*textView*/, const std::shared_ptr<NSObject>& /*clickedOnLink*/,
                        std::uint64_t /*atIndex*/) {
    return false;
  }
};

class NSTextView : public NSView, public NSTouchBarDelegate {
 public:
  struct Constants {
    static constexpr std::string_view didBeginEditingNotification = "NSTextDidBeginEditingNotification";
    static constexpr std::string_view didChangeNotification = "NSTextDidChangeNotification";
    static constexpr std::string_view didEndEditingNotification = "NSTextDidEndEditingNotification";
    // The userInfo key of the end-editing notification: an NSNumber of NSTextMovement.
    static constexpr std::string_view textMovementKey = "NSTextMovement";
  };

  static std::shared_ptr<NSTextView> initWithFrame(NSRect frame);

  std::string string() const;
  void setString(std::string_view text);
  std::shared_ptr<NSMutableAttributedString> textStorage() const { return storage_; }

  std::shared_ptr<NSFont> font() const;
  void setFont(std::shared_ptr<NSFont> font);
  std::shared_ptr<NSColor> textColor() const;
  void setTextColor(std::shared_ptr<NSColor> color);
  std::shared_ptr<NSColor> backgroundColor;
  bool drawsBackground = true;
  // The caret colour a screen chose (none: the text colour).
  std::shared_ptr<NSColor> insertionPointColor;
  bool isEditable() const { return editable_; }
  void setEditable(bool editable);
  bool isSelectable() const { return selectable_; }
  void setSelectable(bool selectable);
  bool isFieldEditor() const { return fieldEditor_; }
  void setFieldEditor(bool fieldEditor) { fieldEditor_ = fieldEditor; }
  // What link text looks like (colour, underline, cursor); applied when drawing.
  NSAttributes linkTextAttributes;
  // Characters shown in place of the text (a password field's bullets, one per character),
  // or none.
  std::optional<std::string> displayMask;
  // The most UTF-16 units a field editor holds (the field's limit), or none: typing or
  // pasting beyond it keeps what fits, cut between whole characters, and tells the delegate.
  std::optional<std::uint64_t> maximumLength;

  std::shared_ptr<NSTextViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSTextViewDelegate>& delegate);
  // The delegate as an object (the text field a field editor edits for).
  std::shared_ptr<NSObject> delegateObject() const;

  NSRange selectedRange() const { return selection_; }
  void setSelectedRange(NSRange range);
  void selectAll(const std::shared_ptr<NSObject>& sender);

  // Editing as the user does it (tells the delegate, posts the notifications).
  void insertText(std::string_view text);
  void deleteBackward();
  void deleteForward();
  // Runs a command: the delegate first, then the text view's own handling.
  void doCommandBySelector(std::string_view selector) override;
  // Maps a key event onto text or commands.
  void interpretKeyEvent(const std::shared_ptr<NSEvent>& event);

  // Where characters are, in the view's coordinates, on the lines the text is drawn in: a
  // paragraph wraps at the view's width, as the drawing lays it out. A field editor's one
  // line scrolls sideways to keep the caret in view: its points are those of the line as
  // shown. The arrows, Backspace and Delete move over whole characters too.
  // The character under the point; NSNotFound where there is none (beside a line's ends,
  // above or below every line).
  std::uint64_t characterIndexForPoint(NSPoint point) const;
  // Where a click at the point puts the caret: at the nearer edge of the whole character
  // (an emoji, a letter with its accents) nearest the point on the line at its height.
  std::uint64_t characterIndexForInsertionAtPoint(NSPoint point) const;
  // Where the range's first line of characters shows.
  NSRect rectForCharacterRange(NSRange range) const;
  // A click on the character: the link's delegate call when it carries a link.
  bool clickedOnCharacterAtIndex(std::uint64_t index);

  bool acceptsFirstResponder() const override { return editable_ || selectable_; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  void keyDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  void resetCursorRects() override;
  bool isFlipped() const override { return true; }
  // A long text is laid out and drawn by blocks of lines, only those that meet the rect.
  void drawRect(NSRect dirtyRect) override;
  // The size the text takes as drawn in a view of this width (lines wrap at the width); a
  // long text is laid out whole for it.
  NSSize textSizeInWidth(double width) const;

  // Whether the view's height follows its text in its width, never below minSize's height:
  // when the text is set or restyled, and as a long text is laid out in the background
  // (its height is estimated for the lines not laid out yet, so the view shows at once).
  bool isVerticallyResizable() const { return verticallyResizable_; }
  void setVerticallyResizable(bool resizable);
  NSSize minSize;
  // Makes the view as high as its text (as far as it is laid out) in its width.
  void sizeToFit();
  std::string dumpText() const override;
  // The editing bar of a text view, with the text view as the bar's delegate so that the
  // application's items can join the system's.
  std::shared_ptr<NSTouchBar> makeTouchBar() override;
  GLIMDECK_OBJECT(NSTextView)

 protected:
  explicit NSTextView(NSRect frame);
  bool respondsToCommand(std::string_view selector) const override;
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) override;

 private:
  void textChanged();
  void tellCut();
  void textResized();
  // The mask shown for the characters before a UTF-16 index.
  std::string maskedText(std::uint64_t index) const;
  void endFieldEditing(long movement);
  // The text as drawn: masked, or with the link attributes applied.
  std::shared_ptr<NSAttributedString> shownText() const;
  // The text's layout by blocks of lines in a width, none for a text short enough to lay out
  // whole; made once per text and width, and measured in the background from the next turn
  // of the main loop (so that setting a text and then its font lays it out once).
  std::shared_ptr<TextBlockLayout> blockLayout(const std::shared_ptr<NSAttributedString>& shown, double width) const;
  void post(std::string_view name, std::shared_ptr<NSDictionary> userInfo = nullptr);
  NSAttributes typingAttributes() const;
  mutable std::shared_ptr<TextBlockLayout> blockLayout_;
  bool verticallyResizable_ = false;
  // A field editor's line as shown (bullets in place of a masked text's characters), and
  // where the caret before a character sits on it, in points from the line's start.
  std::shared_ptr<NSAttributedString> shownLine() const;
  double lineOffsetOfIndex(std::uint64_t index) const;
  // How far the line is scrolled so that the caret shows, kept from one drawing to the next.
  double scrolledLineOffset() const;
  // Where a point falls on the lines the text is drawn in (not for a field editor): UTF-16
  // indexes of the character and the caret stop nearest it, and whether it is on that character.
  struct LaidOutHit {
    std::uint64_t character = 0, caret = 0;
    bool onCharacter = false;
  };
  LaidOutHit hitOnLaidOutLines(NSPoint point) const;
  // Where the range's characters show, a rectangle for each line they reach.
  std::vector<NSRect> rectsForCharacterRange(NSRange range) const;

  std::shared_ptr<NSMutableAttributedString> storage_;
  std::shared_ptr<NSFont> font_;
  std::shared_ptr<NSColor> textColor_;
  bool editable_ = true;
  bool selectable_ = true;
  bool fieldEditor_ = false;
  bool editing_ = false;
  NSRange selection_;
  std::weak_ptr<NSTextViewDelegate> delegate_;
  std::optional<std::uint64_t> pressedIndex_;
  mutable double lineScroll_ = 0;
};
