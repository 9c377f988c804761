#include "ui/QLXView.h"

#include "platform/appkit/NSCursor.h"

std::shared_ptr<QLXView> QLXView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<QLXView>(new QLXView(frame)));
}

void QLXView::resetCursorRects() {
  NSView::resetCursorRects();
  addCursorRect(bounds(), NSCursor::arrowCursor());
}
