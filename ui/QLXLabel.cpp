#include "ui/QLXLabel.h"

#include "platform/appkit/NSCursor.h"
#include "ui/NSViewExtensions.h"

std::shared_ptr<QLXLabel> QLXLabel::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<QLXLabel>(new QLXLabel(frame, NSTextFieldCell::initTextCell({}))));
}

void QLXLabel::resetCursorRects() {
  NSTextField::resetCursorRects();
  addCursorRect(bounds(), NSCursor::arrowCursor());
}

void QLXLabel::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (!event || !isMouseEventOverView(*this, *event)) return;
  if (auto delegate = clickRespondingDelegate.lock()) delegate->didClickLabel(sharedAs<QLXLabel>());
}
