// Text fields edited through the window's field editor, their delegate (changes, the end
// of editing with its text movement, editing commands), secure fields, the caret over whole
// characters (clicks, arrows, Backspace, Delete), fields' maximum lengths, and link clicks
// in text views.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSNotification.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/render/TextLayout.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class FieldDelegate : public NSTextFieldDelegate, public NSTextViewDelegate {
 public:
  std::vector<std::string> log;
  std::vector<long> movements;
  bool takeTab = false;

  void controlTextDidBeginEditing(const std::shared_ptr<NSNotification>&) override { log.push_back("begin"); }
  void controlTextDidChange(const std::shared_ptr<NSNotification>& note) override {
    auto field = asA<NSTextField>(note->object());
    log.push_back("change " + (field ? field->stringValue() : std::string("?")));
  }
  void controlTextDidEndEditing(const std::shared_ptr<NSNotification>& note) override {
    auto movement = note->userInfo()->objectForKeyAs<NSNumber>("NSTextMovement");
    movements.push_back(movement ? static_cast<long>(movement->integerValue()) : -1);
    log.push_back("end");
  }
  bool control(const std::shared_ptr<NSControl>&, const std::shared_ptr<NSTextView>&,
               std::string_view selector) override {
    log.push_back("command " + std::string(selector));
    return takeTab && selector == "insertTab:";
  }
  void controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>&, std::string_view string,
                                             std::string_view) override {
    log.push_back("cut to " + std::string(string));
  }
  bool textView(const std::shared_ptr<NSTextView>&, const std::shared_ptr<NSObject>& link, std::uint64_t index) override {
    auto text = asA<NSString>(link);
    log.push_back("link " + (text ? text->string() : std::string("?")) + " at " + std::to_string(index));
    return true;
  }
  using NSTextViewDelegate::textView;
};

class TextEditingTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 300), NSWindowStyleMaskTitled);
    first = NSTextField::initWithFrame(NSMakeRect(20, 200, 200, 24));
    second = NSTextField::initWithFrame(NSMakeRect(20, 150, 200, 24));
    window->contentView()->addSubview(first);
    window->contentView()->addSubview(second);
    delegate = std::make_shared<FieldDelegate>();
    first->setDelegate(delegate);
    window->makeKeyAndOrderFront(nullptr);
  }
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NSTextField> first, second;
  std::shared_ptr<FieldDelegate> delegate;

  // A text view too narrow for the text's last paragraph, "wwwwwwww Terms": "Terms", which
  // links to the terms, wraps to a line of its own, where it starts at the left, and leaves
  // the right end of the w's line blank. Answers the UTF-16 index of the link.
  static constexpr std::string_view kWrapped = "wwwwwwww Terms";
  std::uint64_t showWrappedLink(NSTextView& textView, const std::string& before) {
    textView.setFont(font);
    textView.setString(before + std::string(kWrapped));
    const auto link = utf16FromUtf8(before + std::string(kWrapped)).size() - 5;
    textView.textStorage()->addAttribute(NSLinkAttributeName, NSString::make("https://example.test/terms"),
                                         NSMakeRange(link, 5));
    textView.setDelegate(delegate);
    return link;
  }
  std::shared_ptr<NSFont> font = NSFont::systemFontOfSize(13);
  // Narrower than "wwwwwwww Terms" on one line.
  double wrappingWidth() const { return font->sizeOfString(std::string(kWrapped)).width - 2; }

  // The first field edited with the text, the caret at the UTF-16 index.
  std::shared_ptr<NSTextView> editFirst(const std::string& text, std::uint64_t caret) {
    // Editing begins afresh, with the field's settings of now.
    window->makeFirstResponder(nullptr);
    first->setStringValue(text);
    ui.click(first);
    auto editor = first->currentEditor();
    editor->setSelectedRange(NSMakeRange(caret, 0));
    return editor;
  }
  void paste(const std::string& text) {
    NSPasteboard::generalPasteboard()->clearContents();
    NSPasteboard::generalPasteboard()->setString(text, NSPasteboardTypeString);
    ui.pressKey(NSKeyCode::v, "v", NSEventModifierFlagCommand);
  }
};

constexpr std::string_view kGrin = "\U0001F600";                            // one character, two UTF-16 units
constexpr std::string_view kThumbsUpMedium = "\U0001F44D\U0001F3FD";       // a thumb and its skin tone
constexpr std::string_view kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // three people joined
constexpr std::string_view kFlag = "\U0001F1EB\U0001F1F7";                 // two regional letters
constexpr std::string_view kAccented = "e\u0301";                         // a letter and its accent

TEST_F(TextEditingTest, TypingReportsEachChangeAndReturnEndsWithMovement16) {
  int actions = 0;
  first->action = [&](auto sender) {
    EXPECT_EQ(sender, first);
    ++actions;
  };
  ui.click(first);
  ASSERT_TRUE(first->isEditing());
  EXPECT_EQ(window->firstResponder(), window->fieldEditor(false, nullptr));
  ui.typeText("Hi");
  ui.pressReturn();
  EXPECT_EQ(first->stringValue(), "Hi");
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"begin", "change H", "change Hi", "command insertNewline:", "end"}));
  EXPECT_EQ(delegate->movements, (std::vector<long>{16}));
  EXPECT_EQ(actions, 1);
  EXPECT_TRUE(first->isEditing()) << "after Return the field keeps the focus";
}

TEST_F(TextEditingTest, TabEndsWithMovement17AndMovesToTheNextField) {
  ui.click(first);
  ui.typeText("a");
  ui.pressTab();
  EXPECT_EQ(delegate->movements, (std::vector<long>{17}));
  EXPECT_FALSE(first->isEditing());
  EXPECT_TRUE(second->isEditing());
  ui.typeText("b");
  EXPECT_EQ(second->stringValue(), "b");
  ui.pressBacktab();
  EXPECT_TRUE(first->isEditing());
  ui.pressDelete();
  EXPECT_EQ(first->stringValue(), "") << "the field's text was selected, so delete cleared it";
}

TEST_F(TextEditingTest, TabAndBacktabStayOnAScreenLaidOverTheWholeWindow) {
  // A screen over the content view with one field of its own, over the two fields.
  struct Case {
    const char* cover;
    std::function<void(NSView&)> set;
    bool fieldsBelowReached;
  };
  const NSRect whole = window->contentView()->bounds();
  const Case cases[] = {
      {"shown over the whole window", [](NSView&) {}, false},
      {"hidden", [](NSView& cover) { cover.setHidden(true); }, true},
      {"faded out", [](NSView& cover) { cover.setAlphaValue(0); }, true},
      {"over part of the window", [&](NSView& cover) { cover.setFrame(NSInsetRect(whole, 0, 40)); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cover);
    auto cover = NSView::initWithFrame(whole);
    auto own = NSTextField::initWithFrame(NSMakeRect(20, 250, 200, 24));
    cover->addSubview(own);
    window->contentView()->addSubview(cover);
    c.set(*cover);
    window->makeFirstResponder(own);
    ui.pressTab();
    EXPECT_EQ(!own->isEditing(), c.fieldsBelowReached) << "after Tab";
    window->makeFirstResponder(own);
    ui.pressBacktab();
    EXPECT_EQ(!own->isEditing(), c.fieldsBelowReached) << "after Backtab";
    EXPECT_EQ(first->isEditing() || second->isEditing(), c.fieldsBelowReached);
    cover->removeFromSuperview();
  }
}

TEST_F(TextEditingTest, TheDelegateCanTakeOverACommand) {
  delegate->takeTab = true;
  ui.click(first);
  ui.pressTab();
  EXPECT_TRUE(first->isEditing()) << "a handled Tab does not end the editing";
  EXPECT_TRUE(delegate->movements.empty());
  // The delegate moves the focus itself, the way a form does.
  window->makeFirstResponder(second);
  EXPECT_EQ(delegate->movements, (std::vector<long>{0}));
  EXPECT_TRUE(second->isEditing());
}

TEST_F(TextEditingTest, ArrowsAndEscapeAreCommandsThatLeaveTheTextAndTheEditingAlone) {
  ui.click(first);
  ui.typeText("ab");
  delegate->log.clear();
  ui.pressKey(NSKeyCode::upArrow, "\xef\x9c\x80");    // U+F700, as the host sends it
  ui.pressKey(NSKeyCode::downArrow, "\xef\x9c\x81");  // U+F701
  ui.pressEscape();
  EXPECT_EQ(first->stringValue(), "ab");
  EXPECT_EQ(delegate->log,
            (std::vector<std::string>{"command moveUp:", "command moveDown:", "command cancelOperation:"}));
  EXPECT_TRUE(first->isEditing());
}

TEST_F(TextEditingTest, SettingTheValueWhileEditingChangesTheEditorButReportsNothing) {
  ui.click(first);
  first->setStringValue("preset");
  EXPECT_EQ(window->fieldEditor(false, nullptr)->string(), "preset");
  ui.typeText("!");
  EXPECT_EQ(first->stringValue(), "preset!");
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"begin", "change preset!"}));
}

TEST_F(TextEditingTest, AClickInsideAnEmojiPutsTheCaretAtItsNearerEdgeAndTypingKeepsItWhole) {
  const std::string text = "a" + std::string(kGrin) + "b";
  auto font = first->font();
  const double before = font->sizeOfString("a").width;
  const double emoji = font->sizeOfString(kGrin).width;
  struct Case {
    double across;  // how far into the emoji the click falls
    std::string typed;
  };
  const Case cases[] = {{0.3, "ax" + std::string(kGrin) + "b"}, {0.7, "a" + std::string(kGrin) + "xb"}};
  for (const auto& c : cases) {
    auto editor = editFirst(text, 0);
    const NSRect line = editor->frame();
    ui.click(editor, NSPoint{before + emoji * c.across, line.height() / 2});
    ui.typeText("x");
    EXPECT_EQ(first->stringValue(), c.typed) << "a click " << c.across << " into the emoji";
    EXPECT_EQ(first->stringValue().find("\uFFFD"), std::string::npos);
  }
}

TEST_F(TextEditingTest, FindingTheCharacterUnderAPointLaysTheLineOutOnceNotOncePerCharacter) {
  // The line scrolled to its end, and a point near the field's right edge: hundreds of
  // characters lie before it.
  const std::string text(600, 'w');
  auto editor = editFirst(text, text.size());
  const auto laidOut = TextLayout::bytesLaidOutOnThisThread();
  const auto index = editor->characterIndexForPoint(NSPoint{editor->frame().width() - 5, 5});
  EXPECT_GT(index, 500u);
  // A few layouts of the whole line (the caret's scroll, the lookup), not one per prefix.
  EXPECT_LE(TextLayout::bytesLaidOutOnThisThread() - laidOut, 8 * text.size());
}

TEST_F(TextEditingTest, ArrowsBackspaceAndDeleteMoveOverWholeCharacters) {
  struct Case {
    std::string name, text;
    std::uint64_t caret;  // UTF-16 index before the key
    std::uint16_t key;
    std::string characters;
    std::string after;       // the text after the key
    std::uint64_t caretAfter;
  };
  const std::string thumb(kThumbsUpMedium), family(kFamily), flag(kFlag), accented(kAccented);
  const std::uint16_t left = NSKeyCode::leftArrow, right = NSKeyCode::rightArrow, back = NSKeyCode::deleteKey,
                      forward = NSKeyCode::forwardDelete;
  const std::string leftKey = "\xef\x9c\x82", rightKey = "\xef\x9c\x83", backKey = "\x7f", forwardKey = "\xef\x9c\xa8";
  const Case cases[] = {
      {"Backspace after a toned thumb", "a" + thumb + "b", 5, back, backKey, "ab", 1},
      {"Delete before a toned thumb", "a" + thumb + "b", 1, forward, forwardKey, "ab", 1},
      {"Backspace after a family", family + "!", 8, back, backKey, "!", 0},
      {"left over a flag", "x" + flag, 5, left, leftKey, "x" + flag, 1},
      {"right over a flag", flag + "x", 0, right, rightKey, flag + "x", 4},
      {"right over an accented letter", accented + "!", 0, right, rightKey, accented + "!", 2},
      {"Backspace after an accented letter", "!" + accented, 3, back, backKey, "!", 1},
      {"left over a plain letter", "abc", 2, left, leftKey, "abc", 1},
  };
  for (const auto& c : cases) {
    auto editor = editFirst(c.text, c.caret);
    ui.pressKey(c.key, c.characters);
    EXPECT_EQ(first->stringValue(), c.after) << c.name;
    EXPECT_EQ(editor->selectedRange().location, c.caretAfter) << c.name;
  }
}

TEST_F(TextEditingTest, AFieldTakesAtMostItsMaximumLengthAndSaysWhenItCutSomething) {
  struct Case {
    std::string name;
    std::uint64_t maximum;
    std::string before, pasted, after;
    bool told;
  };
  const std::string thumb(kThumbsUpMedium);
  const Case cases[] = {
      {"a long paste", 5, "", std::string(10'500, 'z'), "zzzzz", true},
      {"a paste that fits", 5, "ab", "cde", "abcde", false},
      {"what the paste replaces makes room", 5, "abcde", "vwxyz", "vwxyz", false},
      {"an emoji is not split from its tone", 4, "ab", thumb + "c", "ab", true},
      {"a full field takes nothing more", 3, "abc", "d", "abc", true},
      {"no limit", 0, "", std::string(3000, 'q'), std::string(3000, 'q'), false},
  };
  for (const auto& c : cases) {
    first->maximumLength = c.maximum;
    auto editor = editFirst(c.before, 0);
    // The paste replaces what is selected: all of it when the case says so.
    if (c.name.starts_with("what")) {
      editor->selectAll(nullptr);
    } else {
      editor->setSelectedRange(NSMakeRange(editor->textStorage()->length(), 0));
    }
    delegate->log.clear();
    paste(c.pasted);
    EXPECT_EQ(first->stringValue(), c.after) << c.name;
    EXPECT_EQ(std::ranges::count(delegate->log, "cut to " + c.after), c.told ? 1 : 0) << c.name;
  }
  // Typing goes the same way, one key at a time.
  first->maximumLength = 2;
  editFirst("", 0);
  delegate->log.clear();
  ui.typeText("abc");
  EXPECT_EQ(first->stringValue(), "ab");
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"begin", "change a", "change ab", "cut to ab"}));
  // A text the program sets is taken whole.
  first->setStringValue("longer than two");
  EXPECT_EQ(first->stringValue(), "longer than two");
}

TEST_F(TextEditingTest, EachFieldSetsTheSharedEditorUpWithItsOwnTextAndCaretColours) {
  first->setTextColor(NSColor::whiteColor());
  ui.click(first);
  auto editor = window->fieldEditor(false, nullptr);
  editor->insertionPointColor = NSColor::whiteColor();  // as a screen asks for its white field
  EXPECT_EQ(editor->textColor()->CGColor(), NSColor::whiteColor()->CGColor());
  ui.click(second);
  ASSERT_EQ(second->currentEditor(), editor);
  EXPECT_EQ(editor->textColor()->CGColor(), second->textColor()->CGColor()) << "not the white of the field before";
  EXPECT_FALSE(editor->insertionPointColor) << "the caret takes the text's colour again";
}

TEST_F(TextEditingTest, LabelsDoNotEditAndSecureFieldsShowBullets) {
  auto label = NSTextField::labelWithString("Caption");
  auto secret = NSSecureTextField::initWithFrame(NSMakeRect(20, 100, 200, 24));
  window->contentView()->addSubview(label);
  window->contentView()->addSubview(secret);
  ui.click(label);
  EXPECT_FALSE(label->isEditing());
  ui.click(secret);
  ui.typeText("pw\xC3\xA9");
  EXPECT_EQ(secret->stringValue(), "pw\xC3\xA9");
  EXPECT_EQ(describeView(*secret), "NSSecureTextField (20, 100, 200, 24) \"\u2022\u2022\u2022\"");
  EXPECT_EQ(secret->currentEditor()->dumpText(), "\u2022\u2022\u2022");
  EXPECT_NE(describeView(*label).find("\"Caption\""), std::string::npos);
}

TEST_F(TextEditingTest, ClickingALinkTellsTheTextViewsDelegate) {
  auto textView = NSTextView::initWithFrame(NSMakeRect(20, 20, 360, 60));
  window->contentView()->addSubview(textView);
  textView->setEditable(false);
  textView->setSelectable(true);
  textView->setFont(NSFont::systemFontOfSize(13));
  textView->setString("I agree to the Terms of Service and Privacy Policy.");
  auto storage = textView->textStorage();
  storage->addAttribute(NSLinkAttributeName, NSString::make("https://example.test/privacy"), NSMakeRange(36, 14));
  textView->setDelegate(delegate);

  ui.clickText(textView, "Privacy");
  ui.clickText(textView, "agree");
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"link https://example.test/privacy at 36"}));
}

TEST_F(TextEditingTest, ClicksAndLinkCursorsFollowTheLinesTheTextWrapsInto) {
  const double width = wrappingWidth(), line = font->defaultLineHeight();
  auto textView = NSTextView::initWithFrame(NSMakeRect(20, 20, width, 4 * line));
  window->contentView()->addSubview(textView);
  ASSERT_EQ(showWrappedLink(*textView, ""), 9u);
  textView->linkTextAttributes = {{"NSCursor", NSCursor::pointingHandCursor()}};
  ASSERT_GT(font->sizeOfString("wwwwwwww ").width, width / 2) << "the first line reaches past the middle";

  // A quarter into a letter and three quarters into it.
  const double t = font->sizeOfString("T").width, te = font->sizeOfString("Te").width;
  const double intoT = t / 4, intoE = t + (te - t) * 3 / 4, intoW = font->sizeOfString("w").width / 4;
  struct Case {
    const char* where;
    NSPoint point;
    std::optional<std::uint64_t> link;  // the character whose link the click opens
    std::uint64_t caret;                // where the click puts the caret
  };
  const Case cases[] = {
      {"on the T of the wrapped link", {intoT, 1.5 * line}, 9, 9},
      {"late in its e", {intoE, 1.5 * line}, 10, 11},
      // The caret stays on the first line, before the space the line wraps at.
      {"in the blank right of the first line's end", {width - 1, 0.5 * line}, std::nullopt, 8},
      {"on the first line's w's", {intoW, 0.5 * line}, std::nullopt, 0},
      {"below the last line, under the link", {intoT, 3.5 * line}, std::nullopt, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    delegate->log.clear();
    ui.click(textView, c.point);
    EXPECT_EQ(delegate->log, c.link ? std::vector<std::string>{"link https://example.test/terms at " +
                                                               std::to_string(*c.link)}
                                    : std::vector<std::string>{});
    EXPECT_EQ(textView->selectedRange().location, c.caret);
  }

  // The pointing hand shows over the link where it is drawn, and nowhere else.
  textView->discardCursorRects();
  textView->resetCursorRects();
  auto handAt = [&](NSPoint point) {
    return std::ranges::any_of(textView->cursorRects(), [&](const auto& rect) {
      return rect.cursor == NSCursor::pointingHandCursor() && NSPointInRect(point, rect.rect);
    });
  };
  for (const auto& c : cases) EXPECT_EQ(handAt(c.point), c.link.has_value()) << c.where;
}

TEST_F(TextEditingTest, ALongTextDrawnByBlocksFindsAWrappedLinkWhereItIsDrawn) {
  const double width = wrappingWidth();
  std::string lines;
  for (int i = 0; i < 300; ++i) lines += "line " + std::to_string(i) + "\n";
  auto scroll = NSScrollView::initWithFrame(NSMakeRect(20, 20, width, 200));
  window->contentView()->addSubview(scroll);
  auto textView = NSTextView::initWithFrame(NSMakeRect(0, 0, width, 200));
  scroll->setDocumentView(textView);
  const auto link = showWrappedLink(*textView, lines);
  // Its last paragraph wraps: "Terms" is the text's last line, shown at the foot of the list.
  const double bottom = textView->textSizeInWidth(width).height;
  const double line = font->defaultLineHeight();
  textView->setFrameSize(NSMakeSize(width, bottom));
  scroll->scrollToPoint(NSPoint{0, bottom - 200});
  ui.click(textView, NSPoint{width - 1, bottom - 1.5 * line});
  EXPECT_EQ(delegate->log, std::vector<std::string>{}) << "the blank after the w's";
  ui.click(textView, NSPoint{font->sizeOfString("T").width / 4, bottom - 0.5 * line});
  EXPECT_EQ(delegate->log, std::vector<std::string>{"link https://example.test/terms at " + std::to_string(link)});
}

TEST_F(TextEditingTest, AButtonSendsItsActionOnlyWhenReleasedInside) {
  auto button = NSButton::buttonWithTitle("OK", nullptr);
  button->setFrame(NSMakeRect(300, 20, 80, 30));
  int clicks = 0;
  button->action = [&](auto) { ++clicks; };
  window->contentView()->addSubview(button);
  ui.click(button);
  ui.drag(button, {10, 10}, {-100, -100});
  EXPECT_EQ(clicks, 1);
  button->setEnabled(false);
  ui.click(button);
  EXPECT_EQ(clicks, 1);

  auto box = NSButton::checkboxWithTitle("Remember", nullptr);
  window->contentView()->addSubview(box);
  ui.click(box);
  EXPECT_EQ(box->state(), NSControlStateValueOn);
  ui.click(box);
  EXPECT_EQ(box->state(), NSControlStateValueOff);
}

}  // namespace
