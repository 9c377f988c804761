#pragma once
// How a paragraph is set: alignment, line breaking and spacing.

#include <memory>

#include "platform/foundation/NSObject.h"

// The platform's numbering: centred is 2, natural 4.
enum class NSTextAlignment : int { left = 0, right = 1, center = 2, justified = 3, natural = 4 };

enum class NSLineBreakMode : int {
  byWordWrapping = 0,
  byCharWrapping = 1,
  byClipping = 2,
  byTruncatingHead = 3,
  byTruncatingTail = 4,
  byTruncatingMiddle = 5,
};

class NSParagraphStyle : public NSObject {
 public:
  static std::shared_ptr<NSParagraphStyle> defaultParagraphStyle();

  NSTextAlignment alignment() const { return alignment_; }
  NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
  double lineSpacing() const { return lineSpacing_; }

  GLIMDECK_OBJECT(NSParagraphStyle)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;

 protected:
  NSParagraphStyle() = default;
  NSTextAlignment alignment_ = NSTextAlignment::natural;
  NSLineBreakMode lineBreakMode_ = NSLineBreakMode::byWordWrapping;
  double lineSpacing_ = 0;
};

class NSMutableParagraphStyle : public NSParagraphStyle {
 public:
  static std::shared_ptr<NSMutableParagraphStyle> make() {
    return create();
  }
  void setAlignment(NSTextAlignment alignment) { alignment_ = alignment; }
  void setLineBreakMode(NSLineBreakMode mode) { lineBreakMode_ = mode; }
  void setLineSpacing(double spacing) { lineSpacing_ = spacing; }

  GLIMDECK_OBJECT(NSMutableParagraphStyle)

 private:
  NSMutableParagraphStyle() = default;
};
