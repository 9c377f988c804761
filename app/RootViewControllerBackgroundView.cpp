#include "app/RootViewControllerBackgroundView.h"

#include "platform/appkit/NSColor.h"
#include "platform/render/NSGraphicsContext.h"

std::shared_ptr<RootViewControllerBackgroundView> RootViewControllerBackgroundView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<RootViewControllerBackgroundView>(new RootViewControllerBackgroundView(frame)));
}

void RootViewControllerBackgroundView::drawRect(NSRect /*dirtyRect*/) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  auto& gc = context->CGContext();
  gc.setFillColor(NSColor::whiteColor()->CGColor());
  gc.fillRect(bounds());
}
