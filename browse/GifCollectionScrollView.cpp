#include "browse/GifCollectionScrollView.h"

std::shared_ptr<GifCollectionScrollView> GifCollectionScrollView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<GifCollectionScrollView>(new GifCollectionScrollView(frame)));
}

void GifCollectionScrollView::scrollWheel(const std::shared_ptr<NSEvent>& event) {
  if (isEnabled) NSScrollView::scrollWheel(event);
}
