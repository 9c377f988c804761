#include "app/ScrubberGifItem.h"

#include <optional>
#include <vector>

#include "model/VornObject.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSNib.h"
#include "platform/foundation/NSOperationQueue.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/quartz/CALayer.h"
#include "service/AssetCache.h"
#include "ui/NSImageViewExtensions.h"

std::shared_ptr<ScrubberGifItem> ScrubberGifItem::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<ScrubberGifItem>(new ScrubberGifItem(frame)));
}

void ScrubberGifItem::configureAsFavorite() {
  if (auto heart = heartImage.lock()) {
    heart->setAlphaValue(0.0);
    heart->setAlphaValue(1.0);
  }
}

void ScrubberGifItem::reset() {
  if (auto heart = heartImage.lock()) heart->setAlphaValue(0.0);
}

void ScrubberGifItem::configureWithVorn(const std::shared_ptr<VornObject>& vorn) {
  reset();
  if (!vorn) return;
  const std::string key = vorn->tinyGifUrl;
  shownKey_ = key;
  ++pictureGeneration_;
  auto cache = AssetCache::shared();
  if (cache->containsValueForKey(key)) {
    // Read on the loading queue, as it is decoded.
    showGIF([key] { return AssetCache::shared()->cachedAssetWithKey(key); });
    return;
  }
  auto url = NSURL::URLWithString(key);
  if (!url) return;
  std::weak_ptr<ScrubberGifItem> weak = sharedAs<ScrubberGifItem>();
  task = NSURLSession::sharedSession()->dataTaskWithURL(
      url, [weak, key](std::shared_ptr<NSData> data, std::shared_ptr<NSURLResponse> response,
                       std::shared_ptr<NSError> error) {
        if (!data || error) return;
        // An error page is not the GIF: caching it would hand it to every later reader.
        auto http = asA<NSHTTPURLResponse>(response);
        if (http && (http->statusCode() < 200 || http->statusCode() >= 300)) return;
        NSOperationQueue::mainQueue()->addOperationWithBlock([weak, key, data] {
          AssetCache::shared()->cacheAssetWithData(data, key, std::string(Constants::fileSuffix));
          // A scrubber may have handed the item to another GIF meanwhile.
          auto item = weak.lock();
          if (item && item->shownKey_ == key) item->loadGIFWithData(data);
        });
      });
  task->resume();
}

void ScrubberGifItem::loadGIFWithData(const std::shared_ptr<NSData>& data) {
  showGIF([data] { return data; });
}

void ScrubberGifItem::showGIF(std::function<std::shared_ptr<NSData>()> source) {
  auto view = gif.lock();
  if (!view) return;
  view->setAnimates(true);
  view->setWantsLayer(true);
  view->canDrawSubviewsIntoLayer = true;
  if (auto layer = view->layer()) layer->setContentsGravity(kCAGravityResizeAspectFill);
  view->setImage(nullptr);
  // Decoded away from the main thread at the item's size; an item handed to another GIF
  // meanwhile drops it.
  std::weak_ptr<ScrubberGifItem> weak = sharedAs<ScrubberGifItem>();
  NSImage::loadInBackground(std::move(source), shownPictureLimits(*view),
                            [weak, generation = ++pictureGeneration_](std::shared_ptr<NSImage> image) {
                              auto item = weak.lock();
                              if (!item || item->pictureGeneration_ != generation) return;
                              if (auto shown = item->gif.lock()) shown->setImage(image);
                            });
}

namespace {

constexpr double gifItemWidth = 50;
constexpr double gifItemHeight = 30;
constexpr double gifItemHeartSide = 18;

std::vector<std::shared_ptr<NSObject>> buildScrubberGifItem(const std::shared_ptr<NSObject>& /*owner*/) {
  auto item = ScrubberGifItem::initWithFrame(NSMakeRect(0, 0, gifItemWidth, gifItemHeight));
  auto image = NSImageView::initWithFrame(item->bounds());
  image->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  // The strip sizes GIF items to their aspect ratio, so scaling to fit fills them.
  image->setImageScaling(NSImageScaling::proportionallyUpOrDown);
  item->addSubview(image);
  auto heart = NSImageView::initWithFrame(
      NSMakeRect((gifItemWidth - gifItemHeartSide) / 2, (gifItemHeight - gifItemHeartSide) / 2, gifItemHeartSide, gifItemHeartSide));
  heart->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin | NSViewMinYMargin | NSViewMaxYMargin;
  heart->setImage(NSImage::imageNamed(ScrubberGifItem::Constants::heartImageName));
  heart->setAlphaValue(0.0);
  item->addSubview(heart);
  item->gif = image;
  item->heartImage = heart;
  return {item};
}

}  // namespace

void ScrubberGifItem::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), buildScrubberGifItem);
    return true;
  }();
  (void)registered;
}

namespace {
// The interface exists as soon as the class is part of the program, as an interface file
// would be.
const bool scrubberGifItemInterfaceRegistered = (ScrubberGifItem::registerInterface(), true);
}  // namespace
