#include "platform/appkit/NSParagraphStyle.h"

#include <functional>

std::shared_ptr<NSParagraphStyle> NSParagraphStyle::defaultParagraphStyle() {
  static const std::shared_ptr<NSParagraphStyle> style(new NSParagraphStyle());
  return style;
}

bool NSParagraphStyle::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto style = asA<NSParagraphStyle>(other);
  return style && style->alignment_ == alignment_ && style->lineBreakMode_ == lineBreakMode_ &&
         style->lineSpacing_ == lineSpacing_;
}

std::size_t NSParagraphStyle::hash() const {
  return static_cast<std::size_t>(alignment_) * 31 + static_cast<std::size_t>(lineBreakMode_) +
         std::hash<double>()(lineSpacing_);
}
