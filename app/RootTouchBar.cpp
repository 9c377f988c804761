// The root panel's Touch Bar: at home the emoji scrubber (the favourites heart, then the
// service's emoji tags, each searching its tag); in a stream the GIF scrubber, fed by the
// stream screens, whose GIFs copy on a tap and show a confirmation for a moment.

#include <cmath>

#include "account/QuorbUserManager.h"
#include "app/RootViewController.h"
#include "app/ScrubberGifItem.h"
#include "browse/CopyVornToPasteboard.h"
#include "collections/Collection.h"
#include "collections/CollectionManager.h"
#include "model/VNMockTag.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSScrubber.h"
#include "platform/appkit/NSTextField.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSRunLoop.h"
#include "service/GlobalKeys.h"
#include "service/VNStreamRequester.h"

namespace {

void logTouchBarEvent(std::string_view event, const std::optional<PlovexAnalytics::EventData>& data) {
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) analytics->logEventWithEvent(event, data);
}

// The content as GIFs, or none when anything in it is not one.
std::optional<std::vector<std::shared_ptr<VornObject>>> gifsOf(const VNRequester::Content& content) {
  std::vector<std::shared_ptr<VornObject>> items;
  items.reserve(content.size());
  for (const auto& entry : content) {
    auto vorn = asA<VornObject>(entry);
    if (!vorn) return std::nullopt;
    items.push_back(std::move(vorn));
  }
  return items;
}

std::shared_ptr<NSScrubber> makeScrubber(const std::string& identifier, const std::shared_ptr<RootViewController>& panel,
                                         std::optional<double> spacing, bool withTextItems) {
  using C = RootViewController::Constants;
  auto scrubber = NSScrubber::initWithFrame(NSZeroRect);
  scrubber->identifier = identifier;
  auto layout = NSScrubberFlowLayout::make();
  if (spacing) layout->setItemSpacing(*spacing);
  scrubber->setScrubberLayout(layout);
  if (withTextItems) {
    scrubber->registerClass([] { return NSScrubberTextItemView::initWithFrame(NSMakeRect(0, 0, C::scrubberItemSize, 30)); },
                            std::string(C::scrubberTextItemIdentifier));
  }
  ScrubberGifItem::registerInterface();
  scrubber->registerNib(NSNib::initWithNibNamed(ScrubberGifItem::Constants::interfaceName),
                        std::string(C::scrubberGifItemIdentifier));
  scrubber->mode = NSScrubberMode::free;
  scrubber->setDelegate(panel);
  scrubber->setDataSource(panel);
  return scrubber;
}

}  // namespace

std::shared_ptr<NSTouchBar> RootViewController::makeTouchBar() {
  auto bar = NSTouchBar::make();
  bar->setDelegate(self());
  bar->customizationIdentifier = GlobalKeys::touchBarEmojiBarIdentifier();
  bar->customizationAllowedItemIdentifiers = {GlobalKeys::touchBarEmojiScrubberIdentifier()};
  bar->setDefaultItemIdentifiers({GlobalKeys::touchBarEmojiScrubberIdentifier()});
  return bar;
}

std::shared_ptr<NSTouchBarItem> RootViewController::touchBarMakeItemForIdentifier(
    const std::shared_ptr<NSTouchBar>& /*touchBar*/, const std::string& identifier) {
  const bool emoji = identifier == GlobalKeys::touchBarEmojiScrubberIdentifier();
  if (emoji || identifier == GlobalKeys::touchBarGifScrubberIdentifier()) {
    auto item = NSCustomTouchBarItem::initWithIdentifier(identifier);
    item->view = makeScrubber(identifier, self(), emoji ? std::nullopt : std::optional(Constants::scrubberItemSpacing),
                              emoji);
    return item;
  }
  if (identifier == GlobalKeys::touchBarConfirmationIdentifier()) {
    auto item = NSCustomTouchBarItem::initWithIdentifier(identifier);
    item->view = NSTextField::labelWithString(std::string(TouchBarConstants::confirmationText));
    return item;
  }
  return nullptr;
}

std::shared_ptr<NSScrubber> RootViewController::getScrubberWithIdentifier(const std::string& identifier) {
  auto bar = touchBar();
  auto item = bar ? asA<NSCustomTouchBarItem>(bar->itemForIdentifier(identifier)) : nullptr;
  return item ? asA<NSScrubber>(item->view) : nullptr;
}

void RootViewController::reloadScrubberWithIdentifier(const std::string& identifier) {
  if (auto scrubber = getScrubberWithIdentifier(identifier)) scrubber->reloadData();
}

void RootViewController::loadScrubberWithIdentifier(const std::optional<std::string>& identifier) {
  if (pendingScrubberLoad_) pendingScrubberLoad_->cancel();
  pendingScrubberLoad_.reset();
  const std::string shown = identifier.value_or(state == DisplayState::home
                                                    ? GlobalKeys::touchBarEmojiScrubberIdentifier()
                                                    : GlobalKeys::touchBarGifScrubberIdentifier());
  auto bar = touchBar();
  if (!bar) return;
  bar->customizationAllowedItemIdentifiers = {shown};
  bar->setDefaultItemIdentifiers({shown});
}

void RootViewController::clearScrubberContent() {
  searchContentProxy.clear();
  ++scrubberStream_;
}

void RootViewController::resetScrubber() {
  clearScrubberContent();
  loadScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
  reloadScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
}

void RootViewController::applyTouchBarState() {
  if (touchBarState_ == TouchBarState::stream) {
    clearScrubberContent();
    reloadScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
    loadScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
  } else {
    loadScrubberWithIdentifier(GlobalKeys::touchBarEmojiScrubberIdentifier());
  }
}

void RootViewController::clearScrubber() { resetScrubber(); }

void RootViewController::fetchedContent(const VNRequester::Content& content) {
  const std::size_t before = searchContentProxy.size();
  auto items = gifsOf(content);
  if (!items) return;  // not a list of GIFs: nothing changes
  searchContentProxy.insert(searchContentProxy.end(), items->begin(), items->end());
  auto scrubber = getScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
  if (!scrubber) return;
  if (before == 0) scrubber->reloadData();
  else if (!items->empty()) scrubber->insertItemsAtIndexes(NSIndexSet::indexSetWithIndexesInRange(before, items->size()));
}

void RootViewController::loadCollectionInScrubberWithCollection(const std::shared_ptr<Collection>& collection) {
  clearScrubberContent();
  loadScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
  auto requester = collection ? collection->constructStreamRequester() : nullptr;
  if (!requester) return;
  std::weak_ptr<RootViewController> weak = self();
  const auto stream = scrubberStream_;
  // The requester stays alive in its own callback until the reply.
  requester->fetchWithCallback([weak, requester, stream](bool success, std::optional<VNRequester::Content> content) {
    auto items = success && content ? gifsOf(*content) : std::nullopt;
    if (!items) return;
    // The list belongs to the main thread: the items travel there with the reload.
    DispatchQueue::main()->async([weak, stream, items = std::move(*items)] {
      auto panel = weak.lock();
      // A search begun since owns the scrubber now: the late favourites would mix into it.
      if (!panel || panel->scrubberStream_ != stream) return;
      panel->searchContentProxy.insert(panel->searchContentProxy.end(), items.begin(), items.end());
      panel->reloadScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
    });
  });
}

std::size_t RootViewController::numberOfItemsForScrubber(const std::shared_ptr<NSScrubber>& scrubber) {
  if (!scrubber) return 0;
  if (scrubber->identifier == GlobalKeys::touchBarEmojiScrubberIdentifier()) return emojiList.size();
  if (scrubber->identifier == GlobalKeys::touchBarGifScrubberIdentifier()) return searchContentProxy.size();
  if (scrubber->identifier == GlobalKeys::touchBarConfirmationIdentifier()) return 1;
  return 0;
}

std::shared_ptr<NSScrubberItemView> RootViewController::scrubberViewForItemAtIndex(
    const std::shared_ptr<NSScrubber>& scrubber, std::size_t index) {
  if (scrubber->identifier == GlobalKeys::touchBarEmojiScrubberIdentifier()) {
    if (index >= emojiList.size()) return nullptr;
    const auto& tag = emojiList[index];
    if (asA<VNMockTag>(tag)) {
      auto heart = asA<ScrubberGifItem>(scrubber->makeItemWithIdentifier(Constants::scrubberGifItemIdentifier, nullptr));
      if (heart) {
        heart->reset();
        heart->configureAsFavorite();
      }
      return heart;
    }
    auto label = asA<NSScrubberTextItemView>(scrubber->makeItemWithIdentifier(Constants::scrubberTextItemIdentifier, nullptr));
    if (label) label->textField()->setStringValue(tag->character);
    return label;
  }
  if (index >= searchContentProxy.size()) return nullptr;
  auto gif = asA<ScrubberGifItem>(scrubber->makeItemWithIdentifier(Constants::scrubberGifItemIdentifier, nullptr));
  if (gif) gif->configureWithVorn(searchContentProxy[index]);
  return gif;
}

NSSize RootViewController::scrubberLayoutSizeForItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber,
                                                            const std::shared_ptr<NSScrubberLayout>& /*layout*/,
                                                            std::size_t index) {
  const double height = scrubber->frame().size.height;
  if (scrubber->identifier == GlobalKeys::touchBarGifScrubberIdentifier() && index < searchContentProxy.size()) {
    if (const auto& dims = searchContentProxy[index]->dims) {
      // A GIF without height has no width either, rather than an endless one.
      const double width = dims->height == 0 ? 0.0 : height * (dims->width / dims->height);
      return {std::isfinite(width) ? width : 0.0, height};
    }
  }
  return {Constants::scrubberItemSize, height};
}

void RootViewController::scrubberDidSelectItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber, std::size_t index) {
  if (scrubber->identifier == GlobalKeys::touchBarEmojiScrubberIdentifier()) {
    if (index >= emojiList.size()) return;
    auto tag = emojiList[index];
    if (asA<VNMockTag>(tag)) {
      logTouchBarEvent(TouchBarConstants::favoriteTapEvent, std::nullopt);
      if (!QuorbUserManager::quorbUserManager()->isUserLoggedIn()) {
        showLogin();
        return;
      }
      if (auto favorites = CollectionManager::sharedInstance()->getFavoritesCollection()) {
        loadCollectionInScrubberWithCollection(favorites);
      }
      return;
    }
    logTouchBarEvent(TouchBarConstants::emojiTapEvent, PlovexAnalytics::EventData{
                                                           {std::string(TouchBarConstants::tagKey), tag->categoryTitle}});
    performSearchWithTag(tag, true);
    return;
  }
  if (scrubber->identifier != GlobalKeys::touchBarGifScrubberIdentifier() || index >= searchContentProxy.size()) return;
  auto vorn = searchContentProxy[index];
  const bool copied = copyVornToPasteboard(vorn);
  const std::string vidKey(PlovexAnalytics::Constants::vornIDKey);
  if (copied) {
    auto data = sourceSearchTerm ? constructSearchAnalyticsParameters() : PlovexAnalytics::EventData{};
    data[vidKey] = vorn->vid;
    logTouchBarEvent(Constants::shareEvent, data);
  }
  logTouchBarEvent(TouchBarConstants::gifTapEvent, PlovexAnalytics::EventData{{vidKey, vorn->vid}});
  // Nothing was shared and nothing can be pasted: no confirmation says otherwise.
  if (!copied) return;
  loadScrubberWithIdentifier(GlobalKeys::touchBarConfirmationIdentifier());
  std::weak_ptr<RootViewController> weak = self();
  pendingScrubberLoad_ = DispatchQueue::main()->asyncAfter(TouchBarConstants::confirmationTime, [weak] {
    if (auto panel = weak.lock()) panel->loadScrubberWithIdentifier(std::nullopt);
  });
}
