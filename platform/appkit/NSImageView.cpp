#include "platform/appkit/NSImageView.h"

#include <algorithm>

#include "platform/appkit/NSImage.h"
#include "platform/render/NSGraphicsContext.h"

std::shared_ptr<NSImageView> NSImageView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSImageView>(new NSImageView(frame, NSCell::initImageCell(nullptr))));
}

std::shared_ptr<NSImageView> NSImageView::imageViewWithImage(std::shared_ptr<NSImage> image) {
  NSSize size = image ? image->size() : NSZeroSize;
  auto view = initWithFrame(NSMakeRect(0, 0, size.width, size.height));
  view->setImage(std::move(image));
  return view;
}

void NSImageView::setImage(std::shared_ptr<NSImage> image) {
  cell()->image = std::move(image);
  setNeedsDisplay(true);
}

void NSImageView::setImageScaling(NSImageScaling scaling) {
  imageScaling_ = scaling;
  setNeedsDisplay(true);
}

NSRect NSImageView::imageRect() const {
  auto img = image();
  NSRect b = bounds();
  if (!img) return NSZeroRect;
  NSSize size = img->size();
  if (size.width <= 0 || size.height <= 0) return NSZeroRect;
  switch (imageScaling_) {
    case NSImageScaling::axesIndependently:
      return b;
    case NSImageScaling::proportionallyDown: {
      double scale = std::min({1.0, b.width() / size.width, b.height() / size.height});
      size = {size.width * scale, size.height * scale};
      break;
    }
    case NSImageScaling::proportionallyUpOrDown: {
      double scale = std::min(b.width() / size.width, b.height() / size.height);
      size = {size.width * scale, size.height * scale};
      break;
    }
    case NSImageScaling::none:
      break;
  }
  double x = b.midX() - size.width / 2;
  double y = b.midY() - size.height / 2;
  bool top = imageAlignment == NSImageAlignment::top || imageAlignment == NSImageAlignment::topLeft ||
             imageAlignment == NSImageAlignment::topRight;
  bool bottom = imageAlignment == NSImageAlignment::bottom || imageAlignment == NSImageAlignment::bottomLeft ||
                imageAlignment == NSImageAlignment::bottomRight;
  bool left = imageAlignment == NSImageAlignment::left || imageAlignment == NSImageAlignment::topLeft ||
              imageAlignment == NSImageAlignment::bottomLeft;
  bool right = imageAlignment == NSImageAlignment::right || imageAlignment == NSImageAlignment::topRight ||
               imageAlignment == NSImageAlignment::bottomRight;
  if (left) x = b.minX();
  if (right) x = b.maxX() - size.width;
  if (top) y = isFlipped() ? b.minY() : b.maxY() - size.height;
  if (bottom) y = isFlipped() ? b.maxY() - size.height : b.minY();
  return NSMakeRect(x, y, size.width, size.height);
}

void NSImageView::mouseDown(const std::shared_ptr<NSEvent>& event) {
  if (editable) return;
  NSView::mouseDown(event);
}

void NSImageView::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (editable) return;
  NSView::mouseUp(event);
}

void NSImageView::drawRect(NSRect) {
  auto context = NSGraphicsContext::currentContext();
  auto img = image();
  if (!context || !img) return;
  context->CGContext().drawImage(img, imageRect(), isEnabled() ? 1.0 : 0.5);
}
