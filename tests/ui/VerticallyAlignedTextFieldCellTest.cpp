// Where the vertically centring cells put their text, for drawing and for editing.

#include <gtest/gtest.h>

#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"
#include "tests/support/UISimulator.h"
#include "ui/VerticallyAlignedSecureTextFieldCell.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace {

// A cell whose content has a chosen height, so the centring arithmetic is exact.
class FixedContentCell : public VerticallyAlignedTextFieldCell {
 public:
  static std::shared_ptr<FixedContentCell> make(double contentHeight) {
    auto cell = std::shared_ptr<FixedContentCell>(new FixedContentCell("text"));
    cell->contentHeight = contentHeight;
    return cell;
  }
  NSSize cellSizeForBounds(NSRect bounds) const override { return {bounds.size.width, contentHeight}; }
  double contentHeight = 0;

 private:
  using VerticallyAlignedTextFieldCell::VerticallyAlignedTextFieldCell;
};

class VerticallyAlignedTextFieldCellTest : public UITest {};

TEST_F(VerticallyAlignedTextFieldCellTest, TextIsCentredTenPointsInAndMovedByTheOffset) {
  struct Case {
    double cellHeight, textHeight, offset, expectedDy;
  } cases[] = {
      {40, 17, 0, 11.5},   // a 40-point cell with 17-point text starts 11.5 points down
      {20, 20, 0, 0},
      {20, 30, 0, -5},     // taller text starts above the title rectangle
      {40, 17, 3, 14.5},
  };
  for (const auto& c : cases) {
    auto cell = FixedContentCell::make(c.textHeight);
    cell->setVerticalOffset(c.offset);
    NSRect bounds = NSMakeRect(0, 0, 200, c.cellHeight);
    NSRect base = cell->NSTextFieldCell::titleRectForBounds(bounds);
    NSRect text = cell->titleRectForBounds(bounds);
    EXPECT_DOUBLE_EQ(text.origin.y - base.origin.y, c.expectedDy) << c.cellHeight << " " << c.textHeight;
    EXPECT_DOUBLE_EQ(text.size.height, c.textHeight);
    EXPECT_DOUBLE_EQ(text.origin.x, 10.0);
    EXPECT_DOUBLE_EQ(text.size.width, base.size.width - 20.0);
  }
}

TEST_F(VerticallyAlignedTextFieldCellTest, ACellNarrowerThanItsInsetsGivesWidthZero) {
  auto cell = FixedContentCell::make(17);
  EXPECT_EQ(cell->titleRectForBounds(NSMakeRect(0, 0, 12, 40)).size.width, 0.0);
  auto secure = VerticallyAlignedSecureTextFieldCell::initTextCell("secret");
  EXPECT_EQ(secure->titleRectForBounds(NSMakeRect(0, 0, 12, 40)).size.width, 0.0);
}

TEST_F(VerticallyAlignedTextFieldCellTest, PlainAndSecureCellsCentreRealTextAlike) {
  auto plain = VerticallyAlignedTextFieldCell::initTextCell("password");
  auto secure = VerticallyAlignedSecureTextFieldCell::initTextCell("password");
  EXPECT_EQ(plain->verticalOffset(), 0.0);
  NSRect bounds = NSMakeRect(0, 0, 180, 44);
  NSRect a = plain->titleRectForBounds(bounds);
  NSRect b = secure->titleRectForBounds(bounds);
  EXPECT_DOUBLE_EQ(a.origin.y, (44 - a.size.height) * 0.5);
  EXPECT_DOUBLE_EQ(b.origin.y, (44 - b.size.height) * 0.5);
  EXPECT_GT(a.size.height, 0.0);
}

TEST_F(VerticallyAlignedTextFieldCellTest, TheFieldEditorSitsWhereTheTextIsDrawn) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 100), NSWindowStyleMaskTitled);
  window->makeKeyAndOrderFront(nullptr);
  auto field = NSTextField::initWithFrame(NSMakeRect(10, 10, 200, 44));
  auto cell = VerticallyAlignedTextFieldCell::initTextCell("hello");
  cell->editable = true;
  cell->selectable = true;
  field->setCell(cell);
  window->contentView()->addSubview(field);

  auto context = RecordingContext::make();
  {
    NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(context, field->isFlipped()));
    cell->drawInteriorWithFrame(field->bounds(), field);
  }
  auto texts = context->all<Recorded::DrawText>();
  ASSERT_EQ(texts.size(), 1u);
  NSRect drawn = texts[0].first.rect;

  ui.click(field);
  auto editor = field->currentEditor();
  ASSERT_TRUE(editor);
  EXPECT_DOUBLE_EQ(editor->frame().origin.y, drawn.origin.y);
  EXPECT_DOUBLE_EQ(editor->frame().size.height, drawn.size.height);
}

}  // namespace
