#include "collections/UploadViewController.h"

#include <algorithm>

#include "account/QuorbUserManager.h"
#include "collections/CollectionManager.h"
#include "collections/PopoverPresenter.h"
#include "collections/UploadIntake.h"
#include "model/AppConstants.h"
#include "model/InputLimits.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/quartz/CALayer.h"
#include "service/AssetCache.h"
#include "service/PlovexAnalytics.h"
#include "ui/NSColorPalette.h"
#include "ui/QLXButton.h"

namespace {

std::shared_ptr<PopoverPresenter> popoverPresenter() {
  return std::dynamic_pointer_cast<PopoverPresenter>(NSApplication::sharedApplication()->delegate());
}

std::string joined(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i) text += separator;
    text += pieces[i];
  }
  return text;
}

}  // namespace

void UploadViewController::setStagedUploads(std::vector<std::shared_ptr<UploadUnit>> units) {
  stagedUploads_ = std::move(units);
  if (!stagedUploads_.empty()) showMessage("");
  showTaggingInterfaceIfNeeded();
  // However a GIF arrives (a drop here or on the icon, the file browser, an address), an
  // untagged one keeps Upload off.
  checkReadyToUpload();
}

void UploadViewController::appendStagedUploads(const std::vector<std::shared_ptr<UploadUnit>>& units) {
  if (units.empty()) return;
  const std::size_t before = stagedUploads_.size();
  stagedUploads_.insert(stagedUploads_.end(), units.begin(), units.end());
  // What was said of earlier GIFs is old news once one is staged; what this intake refuses is
  // said once it is all checked.
  showMessage("");
  showTaggingInterfaceIfNeeded();
  checkReadyToUpload();
  auto list = stagedUploadsCollectionView.lock();
  if (!list) return;
  // Only the new rows are made (those in sight, with their previews); a reload would make
  // every row in sight again for each batch of a large drop.
  if (list->numberOfSections() == 1 && list->numberOfItemsInSection(0) == before) {
    NSIndexPathSet added;
    for (std::size_t i = before; i < stagedUploads_.size(); ++i) added.insert(NSIndexPath::indexPathForItem(i, 0));
    if (list->insertItemsAtIndexPaths(added)) return;
  }
  list->reloadData();
}

void UploadViewController::setReadyToUpload(bool ready) {
  readyToUpload_ = ready;
  configureUploadButtonWithEnabled(ready);
}

void UploadViewController::showTaggingInterfaceIfNeeded() {
  auto container = taggingContainer.lock();
  if (container && container->alphaValue() == 0.0 && !stagedUploads_.empty()) showTaggingInterface();
}

void UploadViewController::showTaggingInterface() {
  auto container = taggingContainer.lock();
  if (!container || !taggingView) return;
  taggingView->setFrame(container->bounds());
  taggingView->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  if (taggingView->superview() != container) container->addSubview(taggingView);
  container->setAlphaValue(0.0);
  NSAnimationContext::runAnimationGroup([&](NSAnimationContext&) { container->animator()->setAlphaValue(1.0); });
  borderDropTarget(NSColor::clearColor());
}

void UploadViewController::configureUploadButtonWithEnabled(bool enabled) {
  auto button = uploadButton.lock();
  if (!button) return;
  button->setWantsLayer(true);
  auto blue = NSColorPalette::standardBlue()->CGColor();
  blue.alpha = enabled ? Constants::readyAlpha : Constants::notReadyAlpha;
  if (auto layer = button->layer()) layer->setBackgroundColor(blue);
  button->setNeedsDisplay(true);
}

void UploadViewController::showSuccess() {
  auto container = successContainer.lock();
  if (!container) return;
  container->setHidden(false);
  container->setAlphaValue(0.0);
  NSAnimationContext::runAnimationGroup([&](NSAnimationContext&) { container->animator()->setAlphaValue(1.0); });
}

void UploadViewController::triggerUploadErrorWithShow(bool show) {
  auto button = uploadButton.lock();
  auto label = errorLabel.lock();
  std::weak_ptr<UploadViewController> weak = sharedAs<UploadViewController>();
  NSAnimationContext::runAnimationGroup(
      [&](NSAnimationContext&) {
        if (button) button->animator()->setAlphaValue(show ? 0.0 : 1.0);
        if (label) label->animator()->setAlphaValue(show ? 1.0 : 0.0);
      },
      [weak, show] {
        if (!show) return;
        DispatchQueue::main()->asyncAfter(Constants::errorShownSeconds, [weak] {
          if (auto self = weak.lock()) self->triggerUploadErrorWithShow(false);
        });
      });
}

void UploadViewController::reload() {
  if (auto list = stagedUploadsCollectionView.lock()) list->reloadData();
}

void UploadViewController::setURLInputState(URLInputState state) {
  urlInputState_ = state;
  auto field = filenameTextInput.lock();
  if (!field) return;
  field->setWantsLayer(true);
  std::shared_ptr<NSColor> color = state == URLInputState::success ? NSColor::systemGreenColor()
                                   : state == URLInputState::error ? NSColor::systemRedColor()
                                                                   : NSColorPalette::standardBorderGray();
  if (auto layer = field->layer()) layer->setBorderColor(color->CGColor());
  field->setNeedsDisplay(true);
}

void UploadViewController::borderDropTarget(const std::shared_ptr<NSColor>& color) {
  auto target = dragContainer.lock();
  if (!target) return;
  target->setWantsLayer(true);
  if (auto layer = target->layer()) layer->setBorderColor(color->CGColor());
  target->setNeedsDisplay(true);
}

void UploadViewController::resolveURLWithGifUrl(const std::shared_ptr<NSURL>& gifUrl) {
  if (!gifUrl) return;
  std::weak_ptr<UploadViewController> weak = sharedAs<UploadViewController>();
  const auto session = session_;
  auto failed = [weak, session] {
    DispatchQueue::main()->async([weak, session] {
      auto self = weak.lock();
      if (self && self->session_ == session) self->setURLInputState(URLInputState::error);
    });
  };
  auto task = NSURLSession::sharedSession()->dataTaskWithURL(
      gifUrl, [weak, gifUrl, failed, session](const std::shared_ptr<NSData>& data, const std::shared_ptr<NSURLResponse>&,
                                     const std::shared_ptr<NSError>& error) {
        if (error || !data || !isGifData(data)) return failed();
        const std::string key = gifUrl->absoluteString();
        auto cache = AssetCache::shared();
        cache->cacheAssetWithData(data, key, std::string(Constants::gifSuffix));
        auto file = cache->storagePathForKey(key);
        auto image = NSImage::initWithData(data);
        if (!file || !image) return failed();
        // The cache replaces its file when the same address comes again and drops old ones as
        // it fills: the staged GIF gets a file of its own that lives until it is uploaded.
        auto own = VornObject::initWithLocalGifImageData(data);
        if (!own) return failed();
        auto vorn = *own;
        vorn->dims = (*image)->size();
        auto unit = UploadUnit::initWithVorn(vorn, {}, std::string(Constants::destinationPackName),
                                             UploadUnit::SourceType::url);
        DispatchQueue::main()->async([weak, unit, session] {
          auto self = weak.lock();
          if (!self || self->session_ != session) {
            // The session was left meanwhile: the copy made for it is nobody's.
            CollectionManager::sharedInstance()->deleteLocalFileIfUnused(unit->vorn);
            return;
          }
          self->appendStagedUploads({unit});
          self->setReadyToUpload(false);
          self->setURLInputState(URLInputState::success);
        });
      });
  task->resume();
}

void UploadViewController::searchDirectoriesForGif() {
  auto panel = NSOpenPanel::openPanel();
  panel->canChooseFiles = true;
  panel->canChooseDirectories = false;
  panel->allowsMultipleSelection = true;
  panel->allowedFileTypes = {std::string(Constants::gifFileType)};
  auto presenter = popoverPresenter();
  if (presenter) presenter->closePopoverWithSender(nullptr, true);
  // A Cancel leaves the panel with nothing chosen and nothing turned away.
  panel->runModal();
  // Back to the panel whatever was chosen, a cancel too: the upload screen is still up.
  if (presenter) presenter->showPopoverWithSender(nullptr);
  // The files are checked and copied away from the main thread, as dropped ones are. What
  // the chooser gave that the panel turned away (a path typed for a file that is not there,
  // or for one of another type) is checked with them as a drop's would be: named when it is
  // no GIF, taken when it is one whatever its name.
  std::vector<UploadIntake::Source> sources;
  for (const auto* urls : {&panel->URLs(), &panel->refusedURLs()}) {
    for (const auto& url : *urls) {
      if (url && url->isFileURL()) sources.push_back({url->path(), nullptr});
    }
  }
  if (sources.empty()) return;
  std::weak_ptr<UploadViewController> weak = sharedAs<UploadViewController>();
  const auto session = session_;
  auto current = [weak, session] {
    auto self = weak.lock();
    return self && self->session_ == session ? self : nullptr;
  };
  UploadIntake::takeIn(
      std::move(sources),
      [current](UploadIntake::Batch batch) {
        auto self = current();
        if (!self) {
          // The session was left meanwhile: the copies made for it are nobody's.
          for (const auto& vorn : batch) CollectionManager::sharedInstance()->deleteLocalFileIfUnused(vorn);
          return;
        }
        self->stageVorns(batch, UploadUnit::SourceType::browseDesktop);
        self->setReadyToUpload(false);
      },
      [current](std::vector<UploadIntake::Refusal> refusals) {
        if (auto self = current()) self->showRefusals(refusals);
      });
}

void UploadViewController::showMessage(const std::string& text) {
  auto label = messageLabel.lock();
  if (!label) return;
  label->setStringValue(text);
  label->setHidden(text.empty());
  // The message takes the instructions' place while it shows.
  if (auto subtitle = subtitleLabel.lock()) subtitle->setHidden(!text.empty());
}

void UploadViewController::showRefusals(const std::vector<UploadIntake::Refusal>& refusals) {
  auto label = messageLabel.lock();
  if (!label) return;
  std::size_t most = 0;
  {
    std::map<VornObject::LocalGifRefusal, std::size_t> perReason;
    for (const auto& refusal : refusals) most = std::max(most, ++perReason[refusal.reason]);
  }
  // The most names of each reason that leave the message within its line's height (more
  // names, more text: a halving search finds it in a few measures).
  const double room = label->frame().height();
  auto fits = [&](std::size_t names) {
    label->setStringValue(UploadIntake::message(refusals, names));
    return label->cell()->cellSizeForBounds(NSMakeRect(0, 0, label->frame().width(), 1e6)).height <= room;
  };
  std::size_t low = 0, high = most;
  if (!fits(high)) {
    while (low + 1 < high) {
      const std::size_t middle = low + (high - low) / 2;
      (fits(middle) ? low : high) = middle;
    }
    high = low;
  }
  showMessage(UploadIntake::message(refusals, high));
}

void UploadViewController::didRefuseDroppedItems(const std::vector<UploadIntake::Refusal>& refusals) {
  showRefusals(refusals);
}

void UploadViewController::didRefuseDropWithNothingReadable() {
  showMessage(std::string(UploadIntake::Constants::nothingReadable));
}

void UploadViewController::controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>& /*control*/,
                                                                 std::string_view /*string*/,
                                                                 std::string_view /*errorDescription*/) {
  static_assert(InputLimits::url == 2048, "the message names the limit");
  showMessage(std::string(Constants::addressTooLongText));
}

void UploadViewController::checkReadyToUpload() {
  bool ready = !uploaded_ && !stagedUploads_.empty();
  for (const auto& unit : stagedUploads_) {
    auto entry = stagedUploadsTaggingMap.find(unit);
    if (entry == stagedUploadsTaggingMap.end() || !entry->second) {
      ready = false;
      break;
    }
  }
  setReadyToUpload(ready);
}

void UploadViewController::uploadUnitsWithCallback(const std::function<void()>& callback) {
  // A copy: an append may reach code that stages more.
  auto units = stagedUploads_;
  for (const auto& unit : units) uploadUnitWithUnit(unit);
  if (callback) callback();
}

void UploadViewController::uploadUnitWithUnit(const std::shared_ptr<UploadUnit>& unit, Collection::TakenHandler taken) {
  if (!unit) {
    if (taken) taken(false);
    return;
  }
  auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
  const auto installId = analytics ? analytics->quorbID() : std::nullopt;
  const std::string linkKey = installId ? *installId + PlovexAnalytics::getUUIDBase64() : std::string();
  using Keys = PlovexAnalytics::Constants;
  PlovexAnalytics::EventData data;
  data[std::string(Keys::actions)] = std::string(UploadUnit::rawValue(unit->source));
  data[std::string(Keys::tag)] = joined(unit->tags, ",");
  data[std::string(Keys::category)] = std::string(Constants::uploadFlowCategory);
  data[std::string(Keys::info)] = unit->destinationPackName;
  data[std::string(Constants::embedid)] = linkKey;
  const bool sends = installId && !installId->empty();
  if (sends) analytics->sendEvent(Constants::uploadEvent, data);
  data.erase(std::string(Keys::info));
  data[std::string(Keys::tag)] = unit->destinationPackName;
  if (sends) analytics->sendEvent(Constants::collectEvent, data);
  if (unit->vorn) uploadWithVorn(unit->vorn, unit->tags, unit->destinationPackName, linkKey, std::move(taken));
  else if (taken) taken(false);
}

void UploadViewController::uploadWithVorn(const std::shared_ptr<VornObject>& vorn,
                                          const std::optional<std::vector<std::string>>& tags,
                                          const std::string& collectionName,
                                          const std::optional<std::string>& uploadLinkKey,
                                          Collection::TakenHandler taken) {
  if (!vorn) {
    if (taken) taken(false);
    return;
  }
  auto copy = VornObject::initWithCopyValuesFromVorn(vorn);
  if (tags) copy->tags = *tags;
  if (auto user = QuorbUserManager::init()->currentUser()) copy->poster = user->createPlovexUser();
  auto manager = CollectionManager::sharedInstance();
  if (uploadLinkKey) manager->uploadKeyMap[vorn->vid] = *uploadLinkKey;
  // Saved is the special collection, whatever pack may carry its name.
  auto collection = collectionName == Constants::destinationPackName ? manager->getSavedCollection()
                                                                      : manager->getCollection(collectionName);
  if (collection) collection->append(copy, std::move(taken));
  else if (taken) taken(false);
}

void UploadViewController::reset() {
  // The first showing resets a screen whose view is not made yet: made now, it starts from
  // the same state as every later showing (the success view hidden, not only transparent).
  loadViewIfNeeded();
  ++session_;
  // The copies made for GIFs that were staged and not uploaded go; an uploaded one's file
  // is held by Saved.
  auto manager = CollectionManager::sharedInstance();
  for (const auto& unit : stagedUploads_) {
    if (unit->vorn) manager->deleteLocalFileIfUnused(unit->vorn);
  }
  uploaded_ = false;
  if (auto label = errorLabel.lock()) {
    label->setStringValue(std::string(Constants::errorText));
    label->setAlphaValue(0.0);
  }
  if (auto button = uploadButton.lock()) {
    button->setHidden(false);
    button->setAlphaValue(1.0);
  }
  setReadyToUpload(false);
  if (auto field = filenameTextInput.lock()) field->setStringValue("");
  if (auto container = taggingContainer.lock()) container->setAlphaValue(0.0);
  if (auto container = successContainer.lock()) {
    container->setAlphaValue(0.0);
    container->setHidden(true);
  }
  borderDropTarget(NSColorPalette::standardBorderGray());
  setURLInputState(URLInputState::standard);
  showMessage("");
  setStagedUploads({});
  stagedUploadsTaggingMap.clear();
  reload();
}

void UploadViewController::didTapBack(const std::shared_ptr<NSObject>& /*sender*/) {
  if (auto d = delegate.lock()) d->didTapCancel();
}

void UploadViewController::didTapBrowse(const std::shared_ptr<NSObject>& /*sender*/) { searchDirectoriesForGif(); }

void UploadViewController::didTapUpload(const std::shared_ptr<NSObject>& /*sender*/) {
  if (!readyToUpload_) {
    triggerUploadErrorWithShow(true);
    return;
  }
  uploaded_ = true;
  setReadyToUpload(false);
  // Success is told only for what the service took: the answers are counted as they come.
  struct Tally {
    std::size_t answered = 0, taken = 0, total = 0;
  };
  auto tally = std::make_shared<Tally>();
  auto units = stagedUploads_;
  tally->total = units.size();
  std::weak_ptr<UploadViewController> weak = sharedAs<UploadViewController>();
  const auto session = session_;
  for (const auto& unit : units) {
    uploadUnitWithUnit(unit, [weak, tally, session](bool taken) {
      ++tally->answered;
      if (taken) ++tally->taken;
      auto self = weak.lock();
      if (self && self->session_ == session && tally->answered == tally->total) self->showUploadResult(tally->taken, tally->total);
    });
  }
}

void UploadViewController::showUploadResult(std::size_t taken, std::size_t total) {
  if (taken == 0) {
    if (auto button = uploadButton.lock()) button->setHidden(true);
    if (auto label = errorLabel.lock()) {
      label->setStringValue(std::string(Constants::failedText));
      label->setAlphaValue(1.0);
    }
    return;
  }
  if (auto label = successLabel.lock()) {
    label->setStringValue(taken == total ? std::string(Constants::successText)
                                         : std::to_string(taken) + " of " + std::to_string(total) +
                                               std::string(Constants::partialSuccessText));
  }
  showSuccess();
}

void UploadViewController::didTapDone(const std::shared_ptr<NSObject>& /*sender*/) {
  if (auto d = delegate.lock()) d->didComplete();
}

void UploadViewController::didDragGifsWithVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) {
  stageVorns(vorns, UploadUnit::SourceType::drag);
}

void UploadViewController::stageVorns(const std::vector<std::shared_ptr<VornObject>>& vorns,
                                      UploadUnit::SourceType source) {
  std::vector<std::shared_ptr<UploadUnit>> units;
  for (const auto& vorn : vorns) {
    units.push_back(UploadUnit::initWithVorn(vorn, {}, std::string(Constants::destinationPackName), source));
  }
  appendStagedUploads(units);
}

void UploadViewController::editingBeganWithUnit(const std::shared_ptr<UploadUnit>& unit) {
  stagedUploadsTaggingMap.try_emplace(unit, false);
}

void UploadViewController::updateTagStateForUnit(const std::shared_ptr<UploadUnit>& unit, bool isTagged) {
  stagedUploadsTaggingMap[unit] = isTagged;
  checkReadyToUpload();
}

void UploadViewController::controlTextDidChange(const std::shared_ptr<NSNotification>& /*notification*/) {
  setURLInputState(URLInputState::standard);
}

bool UploadViewController::control(const std::shared_ptr<NSControl>& /*control*/,
                                   const std::shared_ptr<NSTextView>& /*textView*/,
                                   std::string_view doCommandBySelector) {
  if (doCommandBySelector != "insertNewline:") return false;
  auto field = filenameTextInput.lock();
  auto url = field ? NSURL::URLWithString(field->stringValue()) : nullptr;
  if (!url) return false;
  resolveURLWithGifUrl(url);
  return true;
}

std::size_t UploadViewController::numberOfItemsInSection(NSCollectionView& /*collectionView*/,
                                                         std::size_t /*section*/) {
  return stagedUploads_.size();
}

std::shared_ptr<NSCollectionViewItem> UploadViewController::itemForRepresentedObjectAtIndexPath(
    NSCollectionView& collectionView, NSIndexPath indexPath) {
  auto item = collectionView.makeItemWithIdentifier(Constants::cellIdentifier, indexPath);
  auto cell = asA<UploadTaggerCell>(item);
  if (!cell) return item;
  if (indexPath.item < stagedUploads_.size()) cell->configureWithUnit(stagedUploads_[indexPath.item]);
  cell->delegate = std::static_pointer_cast<UploadTaggerCellDelegate>(sharedAs<UploadViewController>());
  return cell;
}

std::optional<NSSize> UploadViewController::sizeForItemAtIndexPath(NSCollectionView& collectionView,
                                                                   NSCollectionViewLayout& /*layout*/,
                                                                   NSIndexPath /*indexPath*/) {
  return NSMakeSize(collectionView.frame().size.width, Constants::rowHeight);
}
