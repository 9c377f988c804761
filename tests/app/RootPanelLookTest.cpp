// How the panel's texts read: face, size and colour of each, what stands behind it and
// whether it carries the kit's text shadow, against an expected list; and the search field
// keeps its text, its placeholder and its editor in its vertical middle.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "browse/GifCell.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSTextView.h"
#include "platform/quartz/CALayer.h"
#include "ui/QLXButton.h"
#include "tests/app/RootPanelFixture.h"
#include "ui/ShadowTextFieldCell.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace {

std::string hex(const CGColor& c) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", static_cast<int>(std::lround(c.red * 255)),
                static_cast<int>(std::lround(c.green * 255)), static_cast<int>(std::lround(c.blue * 255)));
  std::string out = text;
  if (c.alpha < 1) out += " at " + dumpNumber(c.alpha);
  return out;
}

std::string colourOf(const std::shared_ptr<NSColor>& colour) { return colour ? hex(colour->CGColor()) : "none"; }

std::string fontOf(const std::shared_ptr<NSFont>& font) {
  return font ? font->fontName() + " " + dumpNumber(font->pointSize()) : "no font";
}

// "face size colour [shadow]" of a text field.
std::string textLook(const NSTextField& field) {
  auto cell = field.textFieldCell();
  std::string look = fontOf(field.font()) + " " + colourOf(cell ? cell->textColor : nullptr);
  if (std::dynamic_pointer_cast<ShadowTextFieldCell>(cell)) look += " with the text shadow";
  return look;
}

std::string backingOf(const NSView& view) {
  auto layer = view.layer();
  return layer && view.wantsLayer() && layer->backgroundColor() ? hex(*layer->backgroundColor()) : "nothing";
}

}  // namespace

class RootPanelLookTest : public RootPanelTest {};

TEST_F(RootPanelLookTest, EveryTextReadsOnWhatLiesBehindIt) {
  show();
  std::ostringstream look;
  auto account = panel->userAuthenticationButton.lock();
  auto accountTitle = account->attributedTitle()->attributesAtIndex(0);
  look << "account button \"" << account->title() << "\": "
       << colourOf(asA<NSColor>(accountTitle[NSForegroundColorAttributeName])) << " on " << backingOf(*account)
       << (account->isBordered() ? " in a bezel" : "") << "\n";

  auto field = panel->searchTextField.lock();
  auto placeholder = field->placeholderAttributedString();
  auto placeholderLook = placeholder->attributesAtIndex(0);
  look << "search field: typed " << textLook(*field) << "; placeholder \"" << placeholder->string() << "\" "
       << fontOf(asA<NSFont>(placeholderLook[NSFontAttributeName])) << " "
       << colourOf(asA<NSColor>(placeholderLook[NSForegroundColorAttributeName])) << "\n";

  auto tile = std::dynamic_pointer_cast<GifCell>(
      panel->contentCollectionView->mainCollectionView.lock()->itemAtIndexPath(NSIndexPath::indexPathForItem(0, 0)));
  ASSERT_TRUE(tile);
  auto title = tile->contentLabel.lock();
  look << "tag tile title \"" << title->stringValue() << "\": " << textLook(*title) << "\n";
  auto confirm = tile->copyConfirmLabel.lock();
  look << "copy confirmation \"" << confirm->stringValue() << "\": " << textLook(*confirm) << " on "
       << backingOf(*tile->copyConfirmContainer.lock()) << "\n";
  EXPECT_DUMP(look.str(), "app/expected/panel-text-look.txt");
}

TEST_F(RootPanelLookTest, TheSearchFieldKeepsItsTextInTheMiddle) {
  show();
  auto field = panel->searchTextField.lock();
  ASSERT_TRUE(std::dynamic_pointer_cast<VerticallyAlignedTextFieldCell>(field->cell()));
  const NSRect text = field->cell()->titleRectForBounds(field->bounds());
  EXPECT_NEAR(text.midY(), field->bounds().midY(), 0.5) << "the placeholder's line";
  ui.click(field);
  ui.typeText("cats");
  auto editor = field->currentEditor();
  ASSERT_TRUE(editor);
  NSRect typed = editor->convertRectToView(editor->bounds(), field);
  EXPECT_NEAR(typed.midY(), field->bounds().midY(), 0.5) << "the editor's line";
}
