#pragma once
// One thing carried by a drag: what it writes to the drag pasteboard (a pasteboard item,
// a text or a URL) and the frame and image the pointer drags along.

#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSImage;

class NSDraggingItem : public NSObject {
 public:
  static std::shared_ptr<NSDraggingItem> initWithPasteboardWriter(std::shared_ptr<NSObject> pasteboardWriter);

  const std::shared_ptr<NSObject>& item() const { return writer_; }
  NSRect draggingFrame() const { return frame_; }
  void setDraggingFrame(NSRect frame) { frame_ = frame; }
  void setDraggingFrame(NSRect frame, std::shared_ptr<NSImage> contents);
  const std::shared_ptr<NSImage>& contents() const { return contents_; }

  std::string className() const override { return "NSDraggingItem"; }

 private:
  NSDraggingItem() = default;
  std::shared_ptr<NSObject> writer_;
  NSRect frame_;
  std::shared_ptr<NSImage> contents_;
};
