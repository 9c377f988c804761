#pragma once
// Text with attributes (font, colour, link, paragraph style, kern, shadow) over runs of it.
// Ranges count UTF-16 code units, as the platform's do; the text itself reads as UTF-8.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRange.h"
#include "platform/quartz/CGText.h"

using NSAttributes = std::map<std::string, id>;

inline const std::string NSFontAttributeName = "NSFont";
inline const std::string NSForegroundColorAttributeName = "NSColor";
inline const std::string NSBackgroundColorAttributeName = "NSBackgroundColor";
inline const std::string NSLinkAttributeName = "NSLink";
inline const std::string NSParagraphStyleAttributeName = "NSParagraphStyle";
inline const std::string NSKernAttributeName = "NSKern";
inline const std::string NSShadowAttributeName = "NSShadow";
inline const std::string NSUnderlineStyleAttributeName = "NSUnderline";

class NSMutableAttributedString;

class NSAttributedString : public NSObject, public CGTextSource {
 public:
  static std::shared_ptr<NSAttributedString> make(std::string_view text, NSAttributes attributes = {});

  std::string string() const;
  // The length in UTF-16 code units.
  std::uint64_t length() const { return text_.size(); }

  // The attributes at an index, and the longest run around it that has the same ones.
  // An index at or past the end gives none and an empty range at the end.
  NSAttributes attributesAtIndex(std::uint64_t index, NSRange* effectiveRange = nullptr) const;
  id attributeAtIndex(const std::string& name, std::uint64_t index, NSRange* effectiveRange = nullptr) const;
  // Each run of equal attributes, in order.
  std::vector<std::pair<NSRange, NSAttributes>> runs() const;

  // The part in the range (clamped to the text).
  std::shared_ptr<NSAttributedString> attributedSubstringFromRange(NSRange range) const;
  std::shared_ptr<NSMutableAttributedString> mutableCopy() const;

  // The size the text takes on one line per paragraph, and when wrapped in a width.
  NSSize size() const;
  NSSize sizeInWidth(double width) const;

  // Draws into the current graphics context: wrapped in the rectangle from its top edge, or
  // on one line whose top left is the point (its top on screen, whichever way y points).
  void drawInRect(NSRect rect) const;
  void drawAtPoint(NSPoint point) const;

  // The text with its fonts, colours (links in the link colour, underlined), kerning, the
  // first paragraph style and the shadow at its start, as the drawing layer takes them.
  CGText textForDrawing() const override;

  bool isEqualToAttributedString(const NSAttributedString& other) const;
  std::string className() const override { return "NSAttributedString"; }
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return string(); }

  const std::u16string& utf16() const { return text_; }

 protected:
  struct Run {
    std::uint64_t length;
    NSAttributes attributes;
  };
  NSAttributedString() = default;
  void assign(std::string_view text, NSAttributes attributes);
  NSRange clamped(NSRange range) const;
  // Splits runs so that one begins at the index; answers the run's position.
  std::size_t splitAt(std::uint64_t index);
  // Joins neighbouring runs with equal attributes and drops empty ones.
  void coalesce();

  std::u16string text_;
  std::vector<Run> runs_;
};

bool attributesEqual(const NSAttributes& a, const NSAttributes& b);
std::u16string utf16FromUtf8(std::string_view text);
std::string utf8FromUtf16(std::u16string_view text);
