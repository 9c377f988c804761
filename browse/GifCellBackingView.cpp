#include "browse/GifCellBackingView.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"

std::shared_ptr<GifCellBackingView> GifCellBackingView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<GifCellBackingView>(new GifCellBackingView(frame)));
}

void GifCellBackingView::updateTrackingAreas() {
  if (trackingArea) removeTrackingArea(trackingArea);
  trackingArea = NSTrackingArea::initWithRect(bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways,
                                              sharedAs<NSObject>(), nullptr);
  addTrackingArea(trackingArea);
  if (auto window = this->window()) {
    NSPoint pointer = convertPoint(window->mouseLocationOutsideOfEventStream(), nullptr);
    // A tile placed under a resting pointer shows its hover state without the pointer moving;
    // only the part that shows counts (not what lies past the panel's edge or its clip).
    if (NSPointInRect(pointer, visibleRect())) mouseEntered(NSEvent::make());
  }
  NSView::updateTrackingAreas();
}

void GifCellBackingView::mouseEntered(const std::shared_ptr<NSEvent>& /*event*/) {
  if (auto hover = delegate.lock()) hover->mouseEntered();
}

void GifCellBackingView::mouseExited(const std::shared_ptr<NSEvent>& /*event*/) {
  if (auto hover = delegate.lock()) hover->mouseExited();
}
