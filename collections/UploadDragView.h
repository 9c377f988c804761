#pragma once
// The upload screen's drop target: takes GIF image data and GIF files dropped on it, turns
// them into items of the GIF folder and hands those to its delegate. URL drags are let in
// (the pointer shows a copy) but carry nothing it reads. What is dropped is checked and
// copied away from the main thread (UploadIntake), and the delegate gets the GIFs taken in
// batches as they are checked. Once all of it was, the dragging program hears that the drop
// was taken when at least one GIF was, and the delegate hears why the others were not.

#include <memory>
#include <string>
#include <vector>

#include "collections/UploadIntake.h"
#include "model/VornObject.h"
#include "platform/appkit/NSView.h"

class UploadDragViewDelegate {
 public:
  virtual ~UploadDragViewDelegate() = default;
  virtual void didDragGifsWithVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) = 0;
  virtual void didClickDragView() = 0;
  // After each drop, once all of it was checked: what was dropped and not taken (none when
  // all was).
  virtual void didRefuseDroppedItems(const std::vector<UploadIntake::Refusal>& /*refusals*/) {}
  // A drop that held nothing to read as a GIF (a link alone, a list that names no file).
  virtual void didRefuseDropWithNothingReadable() {}
};

class UploadDragView : public NSView {
 public:
  static std::shared_ptr<UploadDragView> initWithFrame(NSRect frame);

  // File names, URLs and GIF image data, in that order.
  std::vector<std::string> pasteboardTypes;
  std::weak_ptr<UploadDragViewDelegate> delegate;

  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  NSDragOperation draggingEntered(const std::shared_ptr<NSDraggingInfo>& sender) override;
  bool performDragOperation(const std::shared_ptr<NSDraggingInfo>& sender) override;

  GLIMDECK_OBJECT(UploadDragView)

 protected:
  using NSView::NSView;
  void didInit() override;
};
