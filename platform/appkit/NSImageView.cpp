#include "platform/appkit/NSImageView.h"

#include <algorithm>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/quartz/DisplayRefresh.h"
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
  if (tick_) tick_->cancel();
  tick_.reset();
  animation_.reset();
  shown_.reset();
  awaitingFrame_ = false;
  if (image && image->isAnimated()) animation_.emplace(*image);
  playStart_ = Clock::current().now();
  pausedAt_ = 0;
  cell()->image = std::move(image);
  setNeedsDisplay(true);
}

void NSImageView::setAnimates(bool animates) {
  if (animates == animates_) return;
  double now = Clock::current().now();
  if (animates) {
    playStart_ = now - pausedAt_;
  } else {
    pausedAt_ = now - playStart_;
    if (tick_) tick_->cancel();
    tick_.reset();
  }
  animates_ = animates;
  setNeedsDisplay(true);
}

double NSImageView::playbackTime() const { return animates_ ? Clock::current().now() - playStart_ : pausedAt_; }

std::size_t NSImageView::currentFrame() const { return animation_ ? animation_->at(playbackTime()).frame : 0; }

bool NSImageView::isOnScreen() const {
  auto shownIn = window();
  return shownIn && shownIn->isVisible() && !isHiddenOrHasHiddenAncestor() && !visibleRect().isEmpty();
}

void NSImageView::scheduleTick(double playback) {
  double due = DisplayRefresh::atOrAfter(playStart_ + playback);
  if (tick_ && !tick_->isCancelled() && tick_->deadline() <= due) return;
  if (tick_) tick_->cancel();
  std::weak_ptr<NSImageView> weak = std::static_pointer_cast<NSImageView>(shared_from_this());
  tick_ = NSRunLoop::main()->scheduleAt(due, [weak] {
    auto view = weak.lock();
    if (!view) return;
    view->tick_.reset();
    // The next drawing schedules the tick after; a view nobody sees waits to be drawn again.
    if (view->isOnScreen()) view->setNeedsDisplay(true);
  });
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

std::optional<NSRect> NSImageView::opaqueRect() const {
  auto img = image();
  if (!img || !animation_ || !shown_ || !isEnabled() || !img->framesAreOpaque()) return std::nullopt;
  const NSRect rect = NSIntersectionRect(imageRect(), bounds());
  if (rect.isEmpty()) return std::nullopt;
  return rect;
}

void NSImageView::mouseDown(const std::shared_ptr<NSEvent>& event) {
  if (editable) return;
  NSView::mouseDown(event);
}

void NSImageView::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (editable) return;
  NSView::mouseUp(event);
}

void NSImageView::mouseDragged(const std::shared_ptr<NSEvent>& event) {
  if (editable) return;
  NSView::mouseDragged(event);
}

namespace {
// One frame of an animated image, as the drawing layer takes pictures.
class ShownFrame : public CGImageSource {
 public:
  ShownFrame(std::shared_ptr<const NSImageFrame> frame, NSSize size) : frame_(std::move(frame)), size_(size) {}
  const CGImage* imageForDrawing() const override { return frame_.get(); }
  NSSize size() const override { return size_; }
  CGImageDrawingCache* drawingCache() const override { return &frame_->drawingCache; }

 private:
  std::shared_ptr<const NSImageFrame> frame_;
  NSSize size_;
};
}  // namespace

std::shared_ptr<const NSImageFrame> NSImageView::decodedFrame(const std::shared_ptr<NSImage>& image,
                                                             std::size_t index) {
  if (auto ready = image->frameIfReady(index)) return ready;
  if (awaitingFrame_) return nullptr;
  // The view hears once, on the main thread, when the frame is there.
  std::weak_ptr<NSImageView> weak = std::static_pointer_cast<NSImageView>(shared_from_this());
  std::weak_ptr<NSImage> shown = image;
  awaitingFrame_ = true;
  auto ready = image->frameIfReady(index, [weak, shown] {
    auto view = weak.lock();
    if (!view) return;
    view->awaitingFrame_ = false;
    // Marked also while nobody sees it: a kept picture of a tree holding the view (a
    // rasterizing layer's) must not go on showing it without its frame.
    if (view->image() == shown.lock()) view->setNeedsDisplay(true);
  });
  if (ready) awaitingFrame_ = false;  // it came meanwhile
  return ready;
}

void NSImageView::drawRect(NSRect) {
  auto context = NSGraphicsContext::currentContext();
  auto img = image();
  if (!context || !img) return;
  NSRect rect = imageRect();
  GraphicsContext& gc = context->CGContext();
  const double fraction = isEnabled() ? 1.0 : 0.5;
  if (!animation_) {
    // A large picture decodes on a worker: the view draws it once it is there.
    if (!decodedFrame(img, 0)) return;
    gc.drawImage(img, rect, fraction);
    return;
  }
  if (auto clip = gc.clipBoundingBox(); clip && !NSIntersectsRect(*clip, rect)) return;
  auto position = animation_->at(playbackTime());
  // Until the frame due is decoded, the one shown before stays (or the first, if it is there).
  if (auto frame = decodedFrame(img, position.frame)) shown_ = std::move(frame);
  if (!shown_) shown_ = img->frameIfReady(0);
  if (shown_) gc.drawImage(std::make_shared<ShownFrame>(shown_, img->size()), rect, fraction);
  if (animates_ && position.nextChange) scheduleTick(*position.nextChange);
}
