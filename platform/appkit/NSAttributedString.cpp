#include "platform/appkit/NSAttributedString.h"

#include <algorithm>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/appkit/NSShadow.h"
#include "platform/foundation/NSNumber.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/TextLayout.h"

std::u16string utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    char32_t cp = 0xFFFD;
    std::size_t need = 0;
    if (byte < 0x80) {
      cp = byte;
    } else if ((byte & 0xE0) == 0xC0) {
      cp = byte & 0x1F, need = 1;
    } else if ((byte & 0xF0) == 0xE0) {
      cp = byte & 0x0F, need = 2;
    } else if ((byte & 0xF8) == 0xF0) {
      cp = byte & 0x07, need = 3;
    }
    std::size_t used = 1;
    if (need > 0) {
      bool ok = i + need < text.size();
      for (std::size_t k = 1; ok && k <= need; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) ok = false;
        else cp = (cp << 6) | (next & 0x3F);
      }
      if (ok) {
        used = need + 1;
        bool overlong = (need == 1 && cp < 0x80) || (need == 2 && cp < 0x800) || (need == 3 && cp < 0x10000);
        if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
      } else {
        cp = 0xFFFD;  // a broken sequence costs one byte and reads as the replacement character
      }
    } else if (byte >= 0x80) {
      cp = 0xFFFD;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += used;
  }
  return out;
}

std::string utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate (a range cut a pair in two)
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

bool attributesEqual(const NSAttributes& a, const NSAttributes& b) {
  if (a.size() != b.size()) return false;
  for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
    if (ia->first != ib->first || !objectsEqual(ia->second, ib->second)) return false;
  }
  return true;
}

std::shared_ptr<NSAttributedString> NSAttributedString::make(std::string_view text, NSAttributes attributes) {
  std::shared_ptr<NSAttributedString> string(new NSAttributedString());
  string->assign(text, std::move(attributes));
  return string;
}

void NSAttributedString::assign(std::string_view text, NSAttributes attributes) {
  text_ = utf16FromUtf8(text);
  runs_.clear();
  if (!text_.empty()) runs_.push_back({text_.size(), std::move(attributes)});
}

std::string NSAttributedString::string() const { return utf8FromUtf16(text_); }

NSRange NSAttributedString::clamped(NSRange range) const {
  std::uint64_t location = std::min<std::uint64_t>(range.location, text_.size());
  std::uint64_t length = std::min<std::uint64_t>(range.length, text_.size() - location);
  return {location, length};
}

NSAttributes NSAttributedString::attributesAtIndex(std::uint64_t index, NSRange* effectiveRange) const {
  std::uint64_t start = 0;
  for (const auto& run : runs_) {
    if (index < start + run.length) {
      if (effectiveRange) *effectiveRange = {start, run.length};
      return run.attributes;
    }
    start += run.length;
  }
  if (effectiveRange) *effectiveRange = {text_.size(), 0};
  return {};
}

id NSAttributedString::attributeAtIndex(const std::string& name, std::uint64_t index, NSRange* effectiveRange) const {
  NSRange runRange;
  NSAttributes attributes = attributesAtIndex(index, &runRange);
  auto it = attributes.find(name);
  id value = it == attributes.end() ? nullptr : it->second;
  if (effectiveRange) {
    // Widen over neighbouring runs that hold the same value for this one name.
    auto same = [&](const NSAttributes& other) {
      auto found = other.find(name);
      return objectsEqual(found == other.end() ? nullptr : found->second, value);
    };
    std::vector<std::pair<NSRange, NSAttributes>> all = runs();
    std::size_t at = 0;
    while (at < all.size() && all[at].first.location != runRange.location) ++at;
    if (at == all.size()) {
      *effectiveRange = runRange;
    } else {
      std::size_t first = at, last = at;
      while (first > 0 && same(all[first - 1].second)) --first;
      while (last + 1 < all.size() && same(all[last + 1].second)) ++last;
      *effectiveRange = {all[first].first.location, all[last].first.end() - all[first].first.location};
    }
  }
  return value;
}

std::vector<std::pair<NSRange, NSAttributes>> NSAttributedString::runs() const {
  std::vector<std::pair<NSRange, NSAttributes>> out;
  std::uint64_t start = 0;
  for (const auto& run : runs_) {
    out.push_back({{start, run.length}, run.attributes});
    start += run.length;
  }
  return out;
}

std::shared_ptr<NSAttributedString> NSAttributedString::attributedSubstringFromRange(NSRange range) const {
  NSRange r = clamped(range);
  std::shared_ptr<NSAttributedString> out(new NSAttributedString());
  out->text_ = text_.substr(r.location, r.length);
  std::uint64_t start = 0;
  for (const auto& run : runs_) {
    std::uint64_t from = std::max(start, r.location), to = std::min(start + run.length, r.end());
    if (from < to) out->runs_.push_back({to - from, run.attributes});
    start += run.length;
  }
  return out;
}

std::shared_ptr<NSMutableAttributedString> NSAttributedString::mutableCopy() const {
  auto copy = NSMutableAttributedString::make();
  copy->setAttributedString(*this);
  return copy;
}

NSSize NSAttributedString::size() const { return TextLayout::measure(textForDrawing(), 0); }
NSSize NSAttributedString::sizeInWidth(double width) const { return TextLayout::measure(textForDrawing(), width); }

namespace {

CGTextAlignment drawingAlignment(NSTextAlignment alignment) {
  switch (alignment) {
    case NSTextAlignment::center: return CGTextAlignment::center;
    case NSTextAlignment::right: return CGTextAlignment::right;
    case NSTextAlignment::justified: return CGTextAlignment::justified;
    default: return CGTextAlignment::left;
  }
}

CGTextWrap drawingWrap(NSLineBreakMode mode) {
  switch (mode) {
    case NSLineBreakMode::byCharWrapping: return CGTextWrap::character;
    case NSLineBreakMode::byTruncatingHead: return CGTextWrap::truncateHead;
    case NSLineBreakMode::byTruncatingMiddle: return CGTextWrap::truncateMiddle;
    case NSLineBreakMode::byTruncatingTail: return CGTextWrap::truncateTail;
    default: return CGTextWrap::word;
  }
}

}  // namespace

CGText NSAttributedString::textForDrawing() const {
  static const CGFont defaultFont = NSFont::fontWithName("Helvetica", 12.0)->fontForDrawing();
  CGText text;
  text.font = defaultFont;
  // Byte offset in the UTF-8 text of every UTF-16 index (and of the end).
  std::vector<std::size_t> offsets(text_.size() + 1, 0);
  for (std::size_t i = 0; i < text_.size();) {
    bool pair = text_[i] >= 0xD800 && text_[i] <= 0xDBFF && i + 1 < text_.size() && text_[i + 1] >= 0xDC00 &&
                text_[i + 1] <= 0xDFFF;
    std::size_t step = pair ? 2 : 1;
    for (std::size_t k = 0; k < step; ++k) offsets[i + k] = text.utf8.size();
    text.utf8 += utf8FromUtf16(std::u16string_view(text_).substr(i, step));
    i += step;
  }
  offsets[text_.size()] = text.utf8.size();

  std::shared_ptr<NSParagraphStyle> paragraph;
  for (const auto& [range, attributes] : runs()) {
    auto get = [&](const std::string& name) -> id {
      auto it = attributes.find(name);
      return it == attributes.end() ? nullptr : it->second;
    };
    CGTextRun run;
    run.start = offsets[range.location];
    run.end = offsets[range.end()];
    if (auto font = asA<NSFont>(get(NSFontAttributeName))) run.font = font->fontForDrawing();
    bool isLink = static_cast<bool>(get(NSLinkAttributeName));
    if (auto color = asA<NSColor>(get(NSForegroundColorAttributeName))) {
      run.foreground = color->CGColor();
    } else if (isLink) {
      run.foreground = NSColor::linkColor()->CGColor();
    }
    if (auto color = asA<NSColor>(get(NSBackgroundColorAttributeName))) run.background = color->CGColor();
    auto underline = asA<NSNumber>(get(NSUnderlineStyleAttributeName));
    // Links are underlined unless their text says otherwise (a style of 0 takes it away).
    run.underline = underline ? underline->integerValue() != 0 : isLink;
    if (auto kern = asA<NSNumber>(get(NSKernAttributeName))) run.kern = kern->doubleValue();
    if (!paragraph) paragraph = asA<NSParagraphStyle>(get(NSParagraphStyleAttributeName));
    text.runs.push_back(std::move(run));
  }
  if (paragraph) {
    text.alignment = drawingAlignment(paragraph->alignment());
    text.wrap = drawingWrap(paragraph->lineBreakMode());
    text.lineSpacing = paragraph->lineSpacing();
  }
  if (auto attached = asA<NSShadow>(attributeAtIndex(NSShadowAttributeName, 0))) {
    CGColor color = attached->shadowColor ? attached->shadowColor->CGColor() : CGColor{0, 0, 0, 1.0 / 3};
    text.shadow = CGShadow{attached->shadowOffset, attached->shadowBlurRadius, color};
  }
  return text;
}

std::size_t NSAttributedString::splitAt(std::uint64_t index) {
  std::uint64_t start = 0;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    if (index == start) return i;
    if (index < start + runs_[i].length) {
      Run tail{start + runs_[i].length - index, runs_[i].attributes};
      runs_[i].length = index - start;
      runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
      return i + 1;
    }
    start += runs_[i].length;
  }
  return runs_.size();
}

void NSAttributedString::coalesce() {
  std::vector<Run> merged;
  for (auto& run : runs_) {
    if (run.length == 0) continue;
    if (!merged.empty() && attributesEqual(merged.back().attributes, run.attributes)) {
      merged.back().length += run.length;
    } else {
      merged.push_back(std::move(run));
    }
  }
  runs_ = std::move(merged);
}

bool NSAttributedString::isEqualToAttributedString(const NSAttributedString& other) const {
  if (text_ != other.text_ || runs_.size() != other.runs_.size()) return false;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    if (runs_[i].length != other.runs_[i].length || !attributesEqual(runs_[i].attributes, other.runs_[i].attributes))
      return false;
  }
  return true;
}

bool NSAttributedString::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto string = asA<NSAttributedString>(other);
  return string && isEqualToAttributedString(*string);
}

std::size_t NSAttributedString::hash() const { return std::hash<std::u16string>()(text_); }

void NSAttributedString::drawInRect(NSRect rect) const {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  auto self = std::static_pointer_cast<const NSAttributedString>(shared_from_this());
  context->CGContext().drawText(std::const_pointer_cast<NSAttributedString>(self), rect);
}

void NSAttributedString::drawAtPoint(NSPoint point) const {
  // The line's box starts at the point: its top-left corner in a flipped context, its
  // bottom-left in an unflipped one; either way that is the rectangle below. A point of
  // slack keeps rounding from wrapping the line.
  NSSize s = size();
  drawInRect({point, {s.width + 1, s.height}});
}
