// Text fields edited through the window's field editor, their delegate (changes, the end
// of editing with its text movement, editing commands), secure fields, and link clicks in
// text views.

#include <gtest/gtest.h>

#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSNotification.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
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
};

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
