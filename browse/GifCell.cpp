#include "browse/GifCell.h"

#include <random>

#include "collections/Collection.h"
#include "collections/CollectionManager.h"
#include "model/TelescopeUnit.h"
#include "model/VNTag.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"
#include "platform/av/AVAssetImageGenerator.h"
#include "platform/av/AVPlayer.h"
#include "platform/av/AVPlayerItem.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PerformRequests.h"
#include "platform/quartz/CAGradientLayer.h"
#include "ui/ClickableImageView.h"
#include "ui/ClickableView.h"
#include "ui/NSColorPalette.h"
#include "ui/NSImageViewExtensions.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSViewExtensions.h"
#include "ui/ProgressIndicator.h"
#include "ui/ProgressLayer.h"
#include "ui/QLXButton.h"
#include "ui/ResizingLayerBackedView.h"

std::shared_ptr<GifCell> GifCell::make() {
  registerInterface();
  return std::shared_ptr<GifCell>(new GifCell());
}

// --- Set-up and clean-up

void GifCell::awakeFromNib() {
  NSCollectionViewItem::awakeFromNib();
  if (auto backing = std::dynamic_pointer_cast<GifCellBackingView>(view())) {
    backing->delegate = std::dynamic_pointer_cast<GifCellBackingViewHoverDelegate>(shared_from_this());
  }
  auto content = contentContainer.lock();
  content->setWantsLayer(true);
  content->layer()->setCornerRadius(Constants::cornerRadius);
  content->layer()->setMasksToBounds(true);
  auto self = sharedAs<GifCell>();
  heartContainer.lock()->clickResponderDelegate = self;
  heart.lock()->clickResponderDelegate = self;
  usernameLabel.lock()->clickRespondingDelegate = self;
  heartContainer.lock()->setWantsLayer(true);
  heartContainer.lock()->layer()->setCornerRadius(heartContainer.lock()->frame().size.width / 2);
  titleGradientLayer = CAGradientLayer::layer();
  titleGradientContainer.lock()->setWantsLayer(true);
  auto hover = mouseoverElementsContainer.lock();
  hover->setWantsLayer(true);
  mouseoverGradientLayer = CAGradientLayer::layer();
  mouseoverGradientLayer->setFrame(hover->bounds());
  mouseoverGradientLayer->colors = {NSColor::colorWithWhite(0, 0.5)->CGColor(), NSColor::colorWithWhite(0, 0)->CGColor()};
  mouseoverGradientLayer->locations = {0.0, 0.25};
  mouseoverGradientLayer->setAutoresizingMask(kCALayerWidthSizable | kCALayerHeightSizable);
  hover->layer()->insertSublayer(mouseoverGradientLayer, 0);
  auto movies = movieContainer.lock();
  movies->setWantsLayer(true);
  movieLayer = AVPlayerLayer::layer();
  movieLayer->setFrame(movies->bounds());
  movies->layer()->addSublayer(movieLayer);
  movies->backingLayers = {movieLayer};
  movieLayer->setAutoresizingMask(kCALayerWidthSizable | kCALayerHeightSizable);
  movieLayer->setVideoGravity(AVLayerVideoGravityResize);
  createShadow(*view());
}

void GifCell::prepareForReuse() {
  NSCollectionViewItem::prepareForReuse();
  copyConfirmContainer.lock()->setAlphaValue(0.0);
  PerformRequests::cancel(shared_from_this());
  ++mediaGeneration_;
  gif.lock()->setImage(nullptr);
  indicator.lock()->setValue(0.0);
  indicator.lock()->setHidden(true);
  favoriteOverlay.lock()->setHidden(true);
}

void GifCell::reset() {
  contentLabel.lock()->setHidden(true);
  usernameLabel.lock()->setHidden(true);
  if (auto image = imageView.lock()) image->setHidden(true);
  gif.lock()->setImageScaling(NSImageScaling::axesIndependently);
  ++mediaGeneration_;
  gif.lock()->setImage(nullptr);
  indicator.lock()->setValue(0.0);
  indicator.lock()->setHidden(true);
  vorn = nullptr;
  copiedGifMessage = std::string(Constants::copiedGif);
  copyConfirmLabel.lock()->setStringValue(copiedGifMessage);
  // A confirmation of the item shown before must not linger on, or vanish early, on the next.
  PerformRequests::cancel(shared_from_this(), Constants::hideKey);
  copyConfirmContainer.lock()->setAlphaValue(0.0);
  titleGradientContainer.lock()->setHidden(true);
  mouseoverElementsContainer.lock()->setHidden(true);
  showOverlayOnMouseover = shouldAspectFillGif = canDragCell = false;
  NSNotificationCenter::defaultCenter()->removeObserver(shared_from_this());
  if (const auto& player = movieLayer->player()) player->pause();
  movieLayer->setPlayer(nullptr);
  favoriteOverlay.lock()->setWantsLayer(true);
  favoriteOverlay.lock()->layer()->setSublayers({});
  favoriteOverlay.lock()->setHidden(true);
  resetGifSize();
  ++badgeGeneration_;
  adBadgeImageView.lock()->setHidden(true);
  adBadgeImageView.lock()->setImage(nullptr);
}

void GifCell::unload() {
  ++mediaGeneration_;
  gif.lock()->setImage(nullptr);
  if (const auto& player = movieLayer->player()) player->pause();
  movieLayer->setPlayer(nullptr);
  NSNotificationCenter::defaultCenter()->removeObserver(shared_from_this());
}

void GifCell::setLoadingColor(std::shared_ptr<NSColor> color) {
  loadingColor_ = std::move(color);
  if (!loadingColor_) return;
  setConvenientBackgroundColor(*contentContainer.lock(), NSColorPalette::colorWithDarkerTone(*loadingColor_, 0.5));
  auto pie = indicator.lock();
  pie->setColor(loadingColor_);
  pie->setWantsLayer(true);
  pie->layer()->setBorderColor(loadingColor_->CGColor());
}

// --- Content

void GifCell::configureWithVorn(const std::shared_ptr<VornObject>& item) {
  vorn = item;
  auto name = usernameLabel.lock();
  if (!item->poster || item->poster->userType != PlovexUserType::glimdeck) {
    name->setHidden(true);
  } else {
    name->setHidden(false);
    setTitle(*name, "@" + item->poster->username, false, false);
  }
  setLoadingColor(item->background ? item->background : NSColorPalette::cellLoadingGray());
}

void GifCell::showTitle(const std::string& text) {
  auto label = contentLabel.lock();
  label->setHidden(false);
  label->setStringValue(text);
  addTitleGradient();
  setConvenientBackgroundColor(*contentContainer.lock(), NSColorPalette::cellLoadingGray());
}

void GifCell::configureWithTag(const std::shared_ptr<VNTag>& tag) {
  std::string title = tag->categoryTitle;
  std::erase(title, '#');
  showTitle(title);
}

void GifCell::configureWithTelescopeUnit(const std::shared_ptr<TelescopeUnit>& unit) { showTitle(unit->term); }

void GifCell::configureWithCollection(const std::shared_ptr<Collection>& collection) { showTitle(collection->name()); }

void GifCell::addTitleGradient() {
  auto container = titleGradientContainer.lock();
  titleGradientLayer->setFrame(container->bounds());
  titleGradientLayer->colors = {NSColor::colorWithWhite(0, 0.8)->CGColor(), NSColor::colorWithWhite(0, 0.4)->CGColor(),
                                NSColor::clearColor()->CGColor()};
  titleGradientLayer->locations = {0.0, 0.5, 1.0};
  titleGradientLayer->setAutoresizingMask(kCALayerWidthSizable | kCALayerHeightSizable);
  if (container->layer()) container->layer()->insertSublayer(titleGradientLayer, 0);
  container->setHidden(false);
}

// --- Media

void GifCell::updateAnimatedImageWithImage(const std::shared_ptr<NSImage>& image) {
  resizeGifForImage(image);
  auto view = gif.lock();
  view->setAnimates(true);
  view->setWantsLayer(true);
  view->canDrawSubviewsIntoLayer = true;
  view->layer()->setContentsGravity(kCAGravityResizeAspectFill);
  view->setImage(image);
}

void GifCell::loadAnimatedImage(std::function<NSImage::Input()> source, std::function<void()> shown) {
  std::weak_ptr<GifCell> weak = sharedAs<GifCell>();
  NSImage::Limits limits;
  limits.budgetBytes = Constants::pictureBudgetBytes;
  limits.maxSide = Constants::pictureMostSide;
  limits.smallestSide = Constants::pictureSmallestSide;
  NSImage::loadInBackground(std::move(source), limits, [weak, generation = mediaGeneration_, shown = std::move(shown)](
                                                           std::shared_ptr<NSImage> image) {
    auto cell = weak.lock();
    // Bytes that do not decode leave the tile as it is.
    if (!cell || !image || cell->mediaGeneration_ != generation) return;
    cell->updateAnimatedImageWithImage(image);
    if (shown) shown();
  });
}

void GifCell::resizeGifForImage(const std::shared_ptr<NSImage>& image) {
  if (!shouldAspectFillGif || !image) return;
  auto view = gif.lock();
  view->setImageScaling(NSImageScaling::proportionallyUpOrDown);
  const auto [w, h] = image->size();
  // The tile sizes the picture, never the picture itself: a GIF that claims thousands of
  // pixels a side is drawn (and its scaled copies kept) at about the tile's own size.
  auto container = contentContainer.lock();
  const auto [fw, fh] = container ? container->bounds().size : view->frame().size;
  // Every step divides by a side: an empty image or frame keeps the interface's placement.
  if (!(w > 0) || !(h > 0) || !(fw > 0) || !(fh > 0)) return;
  // The smallest rectangle of the picture's shape that covers the tile, a little larger
  // so that no edge of the tile shows through.
  const bool widthCovers = fw / w >= fh / h;
  const double cw = (widthCovers ? fw : w / h * fh) * Constants::aspectFillScale;
  const double ch = (widthCovers ? h / w * fw : fh) * Constants::aspectFillScale;
  const double dw = (cw - fw) / 2, dh = (ch - fh) / 2;
  gifTopConstraint.lock()->setConstant(-dh);
  gifBottomConstraint.lock()->setConstant(-dh);
  gifLeadingConstraint.lock()->setConstant(-dw);
  gifTrailingConstraint.lock()->setConstant(-dw);
}

void GifCell::resetGifSize() {
  for (const auto* constraint : {&gifTrailingConstraint, &gifLeadingConstraint, &gifTopConstraint, &gifBottomConstraint}) {
    if (auto held = constraint->lock()) held->setConstant(0.0);
  }
}

void GifCell::playMovieWithFilePath(const std::shared_ptr<NSURL>& path) {
  auto player = AVPlayer::initWithURL(path);
  movieLayer->setPlayer(player);
  player->volume = 0.0f;
  player->actionAtItemEnd = AVPlayerActionAtItemEnd::none;
  NSNotificationCenter::defaultCenter()->addObserver(sharedAs<GifCell>(), &GifCell::loopCurrentMovieWithNotification,
                                                     AVPlayerItemDidPlayToEndTimeNotification, nullptr);
  player->play();
}

void GifCell::loopCurrentMovieWithNotification(const std::shared_ptr<NSNotification>& notification) {
  auto item = asA<AVPlayerItem>(notification->object());
  const auto& player = movieLayer->player();
  if (!item || !player || player->currentItem() != item) return;
  player->seekToTime(CMTimeMake(0, 1));
  player->play();
}

std::shared_ptr<NSImage> GifCell::getCurrentImage() {
  const auto& player = movieLayer->player();
  if (player && player->currentItem() && player->currentItem()->asset()) {
    auto generator = AVAssetImageGenerator::initWithAsset(player->currentItem()->asset());
    auto picture = generator->copyCGImageAtTime(CMTimeMake(1, 1));
    if (!picture) return nullptr;
    return NSImage::initWithCGImage(*picture, NSZeroSize);
  }
  return gif.lock()->image();
}

void GifCell::simulateProgress() {
  static thread_local std::mt19937 random{std::random_device{}()};
  const int seconds = std::uniform_int_distribution<int>(0, 2)(random);
  const double fraction = std::uniform_int_distribution<std::uint32_t>(0, 4294967294u)(random) / 4294967295.0;
  auto pie = indicator.lock();
  pie->setHidden(false);
  pie->setValue(fraction * 0.19999999999999998 + 0.1, true, seconds + 1);
}

void GifCell::showProgress(double fraction) {
  auto pie = indicator.lock();
  pie->setHidden(false);
  const double current = pie->value();
  pie->setValue(current <= fraction ? fraction : current, true, Constants::progressDuration);
}

void GifCell::showAdBadgeWithImage(const std::shared_ptr<NSURL>& url) {
  auto badge = adBadgeImageView.lock();
  badge->setImage(nullptr);
  // Decoded away from the main thread at the badge's own size, whatever the picture's.
  std::weak_ptr<GifCell> weak = sharedAs<GifCell>();
  loadImageWithPath(url, shownPictureLimits(*badge, Constants::badgeBudgetBytes),
                    [weak, generation = ++badgeGeneration_](std::shared_ptr<NSImage> image) {
                      auto cell = weak.lock();
                      // A badge asked for before the tile moved on to another item is not shown.
                      if (!cell || !image || cell->badgeGeneration_ != generation) return;
                      if (auto shown = cell->adBadgeImageView.lock()) shown->setImage(image);
                    });
  badge->setHidden(false);
}

void GifCell::applyAdBadgePosition(AdBadgePosition position) {
  for (const auto& constraint : {advertisingOuterTop, advertisingOuterLeading, advertisingOuterBottom, advertisingOuterTrailing}) {
    constraint->setActive(false);
  }
  switch (position) {
    case AdBadgePosition::bottomRight:
      advertisingOuterBottom->setActive(true);
      advertisingOuterTrailing->setActive(true);
      break;
    case AdBadgePosition::bottomLeft:
      advertisingOuterLeading->setActive(true);
      advertisingOuterBottom->setActive(true);
      break;
    case AdBadgePosition::topRight:
      advertisingOuterTop->setActive(true);
      advertisingOuterTrailing->setActive(true);
      break;
    default:
      advertisingOuterTop->setActive(true);
      advertisingOuterLeading->setActive(true);
      break;
  }
}

// --- Hover

void GifCell::mouseEntered() {
  if (!showOverlayOnMouseover || !vorn) return;
  setConvenientBackgroundColor(*heartContainer.lock(), NSColor::whiteColor());
  heart.lock()->setImage(NSImage::imageNamed(isFavorite() ? Constants::redHeart : Constants::greyHeart));
  mouseoverElementsContainer.lock()->setHidden(false);
}

void GifCell::mouseExited() {
  if (vorn) mouseoverElementsContainer.lock()->setHidden(true);
}

bool GifCell::isFavorite() const {
  auto favorites = CollectionManager::sharedInstance()->getFavoritesCollection();
  if (!favorites || !vorn) return false;
  for (const auto& held : favorites->vorns()) {
    if (held->isEqual(vorn)) return true;
  }
  return false;
}
