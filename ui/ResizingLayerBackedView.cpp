#include "ui/ResizingLayerBackedView.h"

#include "platform/quartz/CATransaction.h"

std::shared_ptr<ResizingLayerBackedView> ResizingLayerBackedView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<ResizingLayerBackedView>(new ResizingLayerBackedView(frame)));
}

void ResizingLayerBackedView::layout() {
  NSView::layout();
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  for (const auto& layer : backingLayers) {
    if (layer) layer->setFrame(bounds());
  }
  CATransaction::commit();
}
