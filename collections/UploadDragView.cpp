#include "collections/UploadDragView.h"

#include <algorithm>
#include <filesystem>

#include "collections/UploadIntake.h"

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
  // The pasteboard is read now, while the drag lasts; the checks and copies come later.
  std::vector<UploadIntake::Source> sources;
  bool readable = false;
  if (offers(types, kUTTypeGIF)) {
    if (auto data = pasteboard->dataForType(kUTTypeGIF)) {
      sources.push_back({{}, data});
      readable = true;
    }
  }
  if (!readable && offers(types, NSFilenamesPboardType)) {
    if (auto paths = droppedPaths(pasteboard->propertyListForType(NSFilenamesPboardType))) {
      for (auto& path : *paths) sources.push_back({std::move(path), nullptr});
      readable = !sources.empty();
    }
  }
  std::weak_ptr<UploadDragViewDelegate> weakDelegate = delegate;
  if (!readable) {
    // A link alone, or a list that names no file: nothing here is a GIF to take.
    if (auto d = weakDelegate.lock()) d->didRefuseDropWithNothingReadable();
    return false;
  }
  // The dragging program hears once everything was checked: taken when a GIF was staged.
  auto answer = sender->answerLater();
  auto staged = std::make_shared<bool>(false);
  UploadIntake::takeIn(
      std::move(sources),
      [weakDelegate, staged](UploadIntake::Batch batch) {
        if (auto d = weakDelegate.lock()) {
          d->didDragGifsWithVorns(batch);
          *staged = true;
          return;
        }
        // Copies nobody stages any more (the screen went meanwhile) are not kept.
        for (const auto& vorn : batch) {
          if (auto url = NSURL::URLWithString(vorn->vid); url && url->isFileURL()) {
            std::error_code ignored;
            std::filesystem::remove(url->path(), ignored);
          }
        }
      },
      [weakDelegate, staged, answer](std::vector<UploadIntake::Refusal> refusals) {
        auto d = weakDelegate.lock();
        if (d) d->didRefuseDroppedItems(refusals);
        answer(d && *staged);
      });
  return true;
}
