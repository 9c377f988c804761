#include "collections/UploadDragView.h"

#include <algorithm>

#include "model/AppConstants.h"
#include "platform/appkit/NSDraggingInfo.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

namespace {

bool offers(const std::vector<NSPasteboardType>& types, const NSPasteboardType& type) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

// The paths of a file-name list, or none when the list is missing or holds anything else.
std::optional<std::vector<std::string>> droppedPaths(const std::shared_ptr<NSObject>& list) {
  auto array = asA<NSArray>(list);
  if (!array) return std::nullopt;
  std::vector<std::string> paths;
  for (const auto& object : array->objects()) {
    auto path = asA<NSString>(object);
    if (!path) return std::nullopt;
    paths.push_back(path->string());
  }
  return paths;
}

}  // namespace

std::shared_ptr<UploadDragView> UploadDragView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<UploadDragView>(new UploadDragView(frame)));
}

void UploadDragView::didInit() {
  NSView::didInit();
  pasteboardTypes = {NSFilenamesPboardType, NSURLPboardType, kUTTypeGIF};
  registerForDraggedTypes(pasteboardTypes);
}

void UploadDragView::mouseDown(const std::shared_ptr<NSEvent>& /*event*/) {
  if (auto d = delegate.lock()) d->didClickDragView();
}

NSDragOperation UploadDragView::draggingEntered(const std::shared_ptr<NSDraggingInfo>& sender) {
  auto pasteboard = sender ? sender->draggingPasteboard() : nullptr;
  if (!pasteboard) return NSDragOperationNone;
  const auto types = pasteboard->types();
  if (types.empty()) return NSDragOperationNone;
  if (offers(types, NSFilenamesPboardType) || offers(types, NSURLPboardType) || offers(types, kUTTypeGIF)) {
    return NSDragOperationCopy;
  }
  return NSDragOperationNone;
}

bool UploadDragView::performDragOperation(const std::shared_ptr<NSDraggingInfo>& sender) {
  auto pasteboard = sender ? sender->draggingPasteboard() : nullptr;
  if (!pasteboard) return false;
  const auto types = pasteboard->types();
  if (types.empty()) return false;
  auto hand = [this](std::vector<std::shared_ptr<VornObject>> vorns) {
    if (vorns.empty()) return;
    if (auto d = delegate.lock()) d->didDragGifsWithVorns(vorns);
  };
  if (offers(types, kUTTypeGIF)) {
    if (auto data = pasteboard->dataForType(kUTTypeGIF)) {
      // The type is only the source's word for it: bytes that are no GIF stay out.
      if (!isGifData(data)) return true;
      if (auto made = VornObject::initWithLocalGifImageData(data)) hand({*made});
      return true;
    }
  }
  if (offers(types, NSFilenamesPboardType)) {
    auto paths = droppedPaths(pasteboard->propertyListForType(NSFilenamesPboardType));
    if (!paths) return true;
    std::vector<std::shared_ptr<VornObject>> vorns;
    for (const auto& path : *paths) {
      if (auto made = VornObject::initWithCopyFromLocalPath(NSURL::fileURLWithPath(path, false))) {
        vorns.push_back(*made);
      }
    }
    hand(std::move(vorns));
  }
  return true;
}
