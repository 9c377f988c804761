#include "ui/NSButtonCellOffsettable.h"

std::shared_ptr<NSButtonCellOffsettable> NSButtonCellOffsettable::initTextCell(std::string title) {
  return std::shared_ptr<NSButtonCellOffsettable>(new NSButtonCellOffsettable(std::move(title)));
}

std::shared_ptr<NSButtonCellOffsettable> NSButtonCellOffsettable::initImageCell(std::shared_ptr<NSImage> image) {
  auto cell = initTextCell({});
  cell->image = std::move(image);
  cell->imagePosition = NSCellImagePosition::imageOnly;
  return cell;
}

NSRect NSButtonCellOffsettable::drawTitle(const std::shared_ptr<NSAttributedString>& title, NSRect frame,
                                          const std::shared_ptr<NSView>& view) {
  // The offset is written for a flipped control, where a negative one raises the title.
  // Buttons here draw unflipped (y up), so the frame moves the other way to raise it there.
  frame.origin.y -= verticalOffset;
  return NSButtonCell::drawTitle(title, frame, view);
}
