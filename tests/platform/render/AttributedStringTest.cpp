#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/foundation/NSString.h"
#include "tests/support/TestEnvironment.h"

namespace {

class AttributedStringTest : public GlimdeckTest {};

TEST_F(AttributedStringTest, RangesCountUtf16Units) {
  // "é" is one unit, the emoji two.
  auto text = NSMutableAttributedString::make("é😀ab");
  EXPECT_EQ(text->length(), 5u);
  auto link = NSString::make("https://example.test/");
  text->addAttribute(NSLinkAttributeName, link, NSMakeRange(1, 2));
  NSRange range;
  EXPECT_EQ(text->attributeAtIndex(NSLinkAttributeName, 2, &range), link);
  EXPECT_EQ(range, NSMakeRange(1, 2));
  EXPECT_EQ(text->attributeAtIndex(NSLinkAttributeName, 3, &range), nullptr);
  EXPECT_EQ(range, NSMakeRange(3, 2));
  EXPECT_EQ(text->attributedSubstringFromRange(NSMakeRange(1, 2))->string(), "😀");
  EXPECT_EQ(text->string(), "é😀ab");
}

TEST_F(AttributedStringTest, AttributeRunsSplitAndJoin) {
  auto red = NSColor::redColor();
  auto font = NSFont::fontWithName("AvenirNext-DemiBold", 13);
  auto text = NSMutableAttributedString::make("abcdef", {{NSFontAttributeName, font}});
  text->addAttribute(NSForegroundColorAttributeName, red, NSMakeRange(1, 2));
  text->addAttribute(NSForegroundColorAttributeName, red, NSMakeRange(3, 1));
  auto runs = text->runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].first, NSMakeRange(1, 3));  // equal neighbours join
  EXPECT_EQ(runs[1].second.size(), 2u);
  text->removeAttribute(NSForegroundColorAttributeName, NSMakeRange(0, 100));  // cut at the end
  EXPECT_EQ(text->runs().size(), 1u);
  text->setAttributes({}, NSMakeRange(2, 2));
  EXPECT_TRUE(text->attributesAtIndex(2).empty());
  EXPECT_EQ(text->attributesAtIndex(1).count(NSFontAttributeName), 1u);
  // A range starting past the end changes nothing.
  text->addAttribute(NSKernAttributeName, red, NSMakeRange(9, 1));
  EXPECT_EQ(text->runs().size(), 3u);
  NSRange none;
  EXPECT_TRUE(text->attributesAtIndex(6, &none).empty());
  EXPECT_EQ(none, NSMakeRange(6, 0));
}

TEST_F(AttributedStringTest, EditingTextKeepsAttributes) {
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(NSTextAlignment::center);
  auto text = NSMutableAttributedString::make("UPLOAD", {{NSParagraphStyleAttributeName, style}});
  text->beginEditing();
  EXPECT_TRUE(text->isEditing());
  text->replaceCharactersInRange(NSMakeRange(0, 2), "DOWN");
  text->endEditing();
  EXPECT_FALSE(text->isEditing());
  EXPECT_EQ(text->string(), "DOWNLOAD");
  EXPECT_EQ(text->runs().size(), 1u);
  text->appendAttributedString(*NSAttributedString::make("!"));
  EXPECT_EQ(text->string(), "DOWNLOAD!");
  EXPECT_EQ(text->runs().size(), 2u);
  text->deleteCharactersInRange(NSMakeRange(8, 5));
  EXPECT_EQ(text->string(), "DOWNLOAD");
  text->insertAttributedString(*text, 0);  // itself
  EXPECT_EQ(text->string(), "DOWNLOADDOWNLOAD");
  auto copy = text->mutableCopy();
  EXPECT_TRUE(copy->isEqual(text));
  copy->addAttribute(NSKernAttributeName, NSColor::redColor(), NSMakeRange(0, 1));
  EXPECT_FALSE(copy->isEqual(text));
  EXPECT_EQ(asA<NSParagraphStyle>(text->attributeAtIndex(NSParagraphStyleAttributeName, 3))->alignment(),
            NSTextAlignment::center);
}

TEST_F(AttributedStringTest, MeasuresWithItsFontsAndWraps) {
  auto font = NSFont::fontWithName("Avenir Next Regular", 15);
  auto text = NSAttributedString::make("Search Zolto for the best GIFs", {{NSFontAttributeName, font}});
  NSSize line = text->size();
  EXPECT_NEAR(line.width, font->sizeOfString("Search Zolto for the best GIFs").width, 0.5);
  NSSize wrapped = text->sizeInWidth(line.width / 2);
  EXPECT_LE(wrapped.width, line.width / 2 + 0.5);
  EXPECT_GT(wrapped.height, line.height * 1.5);
  EXPECT_EQ(NSAttributedString::make("")->size(), NSZeroSize);
  // Broken UTF-8 reads as replacement characters.
  EXPECT_EQ(NSAttributedString::make("a\xff" "b")->string(), "a\xEF\xBF\xBD" "b");
}

}  // namespace
