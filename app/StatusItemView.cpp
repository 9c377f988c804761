#include "app/StatusItemView.h"

#include <cmath>

#include "model/AppConstants.h"
#include "platform/appkit/NSAppearance.h"
#include "platform/appkit/NSDraggingInfo.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "ui/MenuBarAppearance.h"

std::shared_ptr<StatusItemView> StatusItemView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<StatusItemView>(new StatusItemView(frame)));
}

void StatusItemView::didInit() {
  NSView::didInit();
  lightMenuBarImage_ = NSImage::imageNamed(Constants::lightImageName);
  darkMenuBarImage_ = NSImage::imageNamed(Constants::darkImageName);
  highlightedMenuBarImage_ = NSImage::imageNamed(Constants::highlightedImageName);
  registerForDraggedTypes({NSFilenamesPboardType, NSURLPboardType, kUTTypeGIF});
  NSNotificationCenter::defaultCenter()->addObserver(sharedAs<StatusItemView>(), &StatusItemView::interfaceThemeChanged,
                                                     NSAppearance::Constants::interfaceThemeChangedNotification, nullptr);
}

void StatusItemView::interfaceThemeChanged(const std::shared_ptr<NSNotification>&) {
  // The rule that picks the picture runs whenever the state is set; the state stays.
  setHighlighted(highlighted_);
}

std::shared_ptr<StatusItemView> StatusItemView::initWithStatusItem(const std::shared_ptr<NSStatusItem>& item) {
  if (!item) return nullptr;
  auto view = initWithFrame(NSMakeRect(0, 0, item->length(), NSStatusBar::systemStatusBar()->thickness()));
  view->statusItem = item;
  item->setView(view);
  return view;
}

void StatusItemView::setHighlighted(bool highlighted) {
  highlighted_ = highlighted;
  if (highlighted) {
    image_ = highlightedMenuBarImage_;
  } else {
    image_ = isDarkMenuBar() ? darkMenuBarImage_ : lightMenuBarImage_;
  }
  setNeedsDisplay(true);
}

void StatusItemView::setImage(const std::shared_ptr<NSImage>& image) {
  image_ = image;
  setNeedsDisplay(true);
}

void StatusItemView::drawRect(NSRect dirtyRect) {
  if (statusItem) statusItem->drawStatusBarBackgroundInRect(dirtyRect, false);
  if (!image_) return;
  NSSize size = image_->size();
  // Whole points, so the icon's pixels land on the display's pixels.
  double x = std::round(static_cast<float>((bounds().width() - size.width) * 0.5));
  double y = std::round(static_cast<float>((bounds().height() - size.height) * 0.5));
  image_->drawAtPoint(NSMakePoint(x, y), bounds(), NSCompositingOperation::sourceOver, 1.0);
}

void StatusItemView::mouseUp(const std::shared_ptr<NSEvent>&) {
  setHighlighted(!highlighted_);
  if (auto d = delegate.lock()) d->didClickItemWithHighlighted(highlighted_);
}

NSDragOperation StatusItemView::draggingEntered(const std::shared_ptr<NSDraggingInfo>& sender) {
  if (sender) validDrops_[sender->draggingSequenceNumber()] = true;
  return NSDragOperationCopy;
}

void StatusItemView::draggingEnded(const std::shared_ptr<NSDraggingInfo>& sender) {
  // Some drops end without the platform asking to perform them; the sequence number keeps
  // a drop that was performed from being handled twice.
  if (sender && NSPointInRect(sender->draggingLocation(), frame())) performDragOperation(sender);
}

bool StatusItemView::performDragOperation(const std::shared_ptr<NSDraggingInfo>& sender) {
  if (!sender) return false;
  long number = sender->draggingSequenceNumber();
  if (!validDrops_.contains(number)) return true;
  auto pasteboard = sender->draggingPasteboard();
  auto types = pasteboard ? pasteboard->types() : std::vector<NSPasteboardType>{};
  if (types.empty()) return false;
  auto offers = [&](const NSPasteboardType& type) { return std::find(types.begin(), types.end(), type) != types.end(); };

  std::shared_ptr<NSData> gifData = offers(kUTTypeGIF) ? pasteboard->dataForType(kUTTypeGIF) : nullptr;
  if (gifData) {
    // Bytes offered as a GIF that are none would become a file no GIF reader opens.
    auto vorn = isGifData(gifData) ? std::optional(VornObject::initWithLocalGifImageData(gifData)) : std::nullopt;
    if (vorn && *vorn) {
      if (auto d = delegate.lock()) d->didDragVornsWithVorns({**vorn});
    }
  } else if (offers(NSFilenamesPboardType)) {
    // The type carries web addresses too: only a list that names files is a drop of files.
    auto paths = asA<NSArray>(pasteboard->propertyListForType(NSFilenamesPboardType));
    if (paths && !paths->objects().empty()) {
      std::vector<std::shared_ptr<VornObject>> vorns;
      for (const auto& entry : paths->objects()) {
        auto path = asA<NSString>(entry);
        if (!path) continue;
        if (auto vorn = VornObject::initWithCopyFromLocalPath(NSURL::fileURLWithPath(path->string()))) {
          vorns.push_back(*vorn);
        }
      }
      if (auto d = delegate.lock()) d->didDragVornsWithVorns(vorns);
    }
  }
  validDrops_.erase(number);
  return true;
}

std::string StatusItemView::dumpText() const {
  std::string name = image_ ? image_->name() : "none";
  return "image=" + name + (highlighted_ ? " highlighted" : "");
}
