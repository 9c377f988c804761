#include "platform/appkit/NSDraggingItem.h"

#include "platform/appkit/NSImage.h"

std::shared_ptr<NSDraggingItem> NSDraggingItem::initWithPasteboardWriter(std::shared_ptr<NSObject> pasteboardWriter) {
  if (!pasteboardWriter) return nullptr;
  auto item = std::shared_ptr<NSDraggingItem>(new NSDraggingItem());
  item->writer_ = std::move(pasteboardWriter);
  return item;
}

void NSDraggingItem::setDraggingFrame(NSRect frame, std::shared_ptr<NSImage> contents) {
  frame_ = frame;
  contents_ = std::move(contents);
}
