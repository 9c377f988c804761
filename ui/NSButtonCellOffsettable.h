#pragma once
// A button cell that draws its title moved vertically: a negative offset raises it (10
// points up by default) in the unflipped buttons that use it.

#include <memory>

#include "platform/appkit/NSButton.h"

class NSButtonCellOffsettable : public NSButtonCell {
 public:
  static std::shared_ptr<NSButtonCellOffsettable> initTextCell(std::string title);
  static std::shared_ptr<NSButtonCellOffsettable> initImageCell(std::shared_ptr<NSImage> image);

  double verticalOffset = -10.0;

  NSRect drawTitle(const std::shared_ptr<NSAttributedString>& title, NSRect frame,
                   const std::shared_ptr<NSView>& view) override;

  std::string className() const override { return "NSButtonCellOffsettable"; }

 protected:
  using NSButtonCell::NSButtonCell;
};
