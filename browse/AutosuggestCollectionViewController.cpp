#include "browse/AutosuggestCollectionViewController.h"

#include "browse/AutosuggestCollectionViewCell.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSShadow.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperationQueue.h"
#include "platform/quartz/CALayer.h"
#include "service/NetworkUtilities.h"
#include "ui/NSColorPalette.h"
#include "ui/NSViewExtensions.h"

std::shared_ptr<AutosuggestCollectionViewController> AutosuggestCollectionViewController::initWithNibName(
    std::string nibName) {
  registerInterface();
  return create(nibName.empty() ? std::string(Constants::interfaceName) : std::move(nibName));
}

AutosuggestCollectionViewController::~AutosuggestCollectionViewController() {
  if (clickMonitor) NSEvent::removeMonitor(clickMonitor);
  clickMonitor.reset();
}

void AutosuggestCollectionViewController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>& owner) {
      const auto frame = NSMakeRect(0, 0, Constants::maxRowWidth, 0);
      auto root = NSView::initWithFrame(frame);
      auto scroll = NSScrollView::initWithFrame(frame);
      scroll->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      auto list = SelectionNotifyingCollectionView::initWithFrame(frame);
      auto flow = NSCollectionViewFlowLayout::init();
      flow->setMinimumLineSpacing(0);
      flow->setMinimumInteritemSpacing(0);
      list->setCollectionViewLayout(flow);
      scroll->setDocumentView(list);
      root->addSubview(scroll);
      if (auto strip = asA<AutosuggestCollectionViewController>(owner)) {
        strip->setView(root);
        strip->collectionView = list;
      }
      return std::vector<std::shared_ptr<NSObject>>{root};
    });
    return true;
  }();
  (void)registered;
}

namespace {
const bool autosuggestInterfaceRegistered = (AutosuggestCollectionViewController::registerInterface(), true);
}  // namespace

void AutosuggestCollectionViewController::viewDidLoad() {
  NSViewController::viewDidLoad();
  auto self = sharedAs<AutosuggestCollectionViewController>();
  auto root = view();
  auto list = collectionView.lock();
  setConvenientBackgroundColor(*root, NSColor::clearColor());
  auto scroll = list->enclosingScrollView();
  scroll->setWantsLayer(true);
  scroll->layer()->setCornerRadius(2.0);

  auto shadow = NSShadow::make();
  shadow->shadowColor = NSColorPalette::standardShadowBlack();
  shadow->shadowOffset = NSMakeSize(0.0, -2.0);
  shadow->shadowBlurRadius = 2.0;
  root->setShadow(shadow);
  root->layer()->setMasksToBounds(false);

  root->postsFrameChangedNotifications = true;
  NSNotificationCenter::defaultCenter()->addObserver(self, &AutosuggestCollectionViewController::frameChangedWithNotification,
                                                     NSView::Constants::frameDidChangeNotification, nullptr);

  list->registerClass([] { return AutosuggestCollectionViewCell::make(); }, std::string(Constants::cellIdentifier));
  list->selectable = true;
  list->allowsEmptySelection = true;
  list->allowsMultipleSelection = true;
  scroll->verticalScroller()->setAlphaValue(0);
  scroll->horizontalScroller()->setAlphaValue(0);
  scroll->hasVerticalScroller = false;
  scroll->hasHorizontalScroller = false;
  list->maxItemSize = NSMakeSize(Constants::maxRowWidth, Constants::rowHeight);
  list->minItemSize = NSMakeSize(0.0, Constants::rowHeight);
  list->dataSource = self;
  list->delegate = self;
  list->selectionDelegate = self;

  std::weak_ptr<AutosuggestCollectionViewController> weak = self;
  clickMonitor = NSEvent::addLocalMonitorForEventsMatchingMask(
      NSEventMaskLeftMouseDown | NSEventMaskLeftMouseUp, [weak](const std::shared_ptr<NSEvent>& event) {
        auto strip = weak.lock();
        return strip ? strip->outsideClick(event) : event;
      });
}

std::shared_ptr<NSEvent> AutosuggestCollectionViewController::outsideClick(const std::shared_ptr<NSEvent>& event) {
  if (!event) return event;
  auto root = view();
  // A click in another of the application's windows is outside, wherever it falls there.
  bool inside = event->window() == root->window() &&
                NSPointInRect(root->convertPoint(event->locationInWindow(), nullptr), root->bounds());
  if (!inside) {
    std::weak_ptr<AutosuggestCollectionViewController> weak = sharedAs<AutosuggestCollectionViewController>();
    NSOperationQueue::mainQueue()->addOperationWithBlock([weak] {
      if (auto strip = weak.lock()) strip->hide();
    });
  }
  return event;
}

void AutosuggestCollectionViewController::setCurrentPrefix(std::optional<std::string> prefix) {
  currentPrefix_ = std::move(prefix);
  if (currentPrefix_) requestSuggestions(*currentPrefix_);
}

void AutosuggestCollectionViewController::fetchTerms() {
  if (currentPrefix_) requestSuggestions(*currentPrefix_);
}

void AutosuggestCollectionViewController::requestSuggestions(const std::string& prefix) {
  std::weak_ptr<AutosuggestCollectionViewController> weak = sharedAs<AutosuggestCollectionViewController>();
  NetworkUtilities::requestSuggestions(prefix, true, [weak, prefix](std::vector<std::string> terms) {
    NSOperationQueue::mainQueue()->addOperationWithBlock([weak, prefix, terms = std::move(terms)]() mutable {
      if (auto strip = weak.lock()) strip->acceptTerms(prefix, std::move(terms));
    });
  });
}

void AutosuggestCollectionViewController::acceptTerms(const std::optional<std::string>& prefix,
                                                      std::vector<std::string> terms) {
  // Replies may come back in any order: only the one for the text now typed is shown.
  if (prefix != currentPrefix_) return;
  currentTerms = std::move(terms);
  // A row picked among the old terms is not a pick among the new ones: Return would search
  // a term the user never chose.
  clearSelection();
  if (auto list = collectionView.lock()) list->reloadData();
  resize();
}

void AutosuggestCollectionViewController::hide() {
  currentTerms.clear();
  clearSelection();
  resize();
}

void AutosuggestCollectionViewController::clearSelection() {
  auto list = collectionView.lock();
  if (list && !list->selectionIndexes().empty()) list->setSelectionIndexes(NSIndexSet{});
}

void AutosuggestCollectionViewController::resize() {
  const double height = static_cast<double>(std::min(currentTerms.size(), Constants::maxRows)) * Constants::rowHeight;
  auto root = view();
  NSRect frame = root->frame();
  frame.origin.y -= height - frame.size.height;
  frame.size.height = height;
  root->setFrame(frame);
}

std::optional<std::string> AutosuggestCollectionViewController::selectedTerm() const {
  auto list = collectionView.lock();
  auto first = list ? list->selectionIndexes().firstIndex() : std::nullopt;
  if (!first || *first >= currentTerms.size()) return std::nullopt;
  return currentTerms[*first];
}

void AutosuggestCollectionViewController::arrowPressedWithUp(bool up) {
  auto list = collectionView.lock();
  if (currentTerms.empty() || !list) return;
  auto selected = list->selectionIndexes().firstIndex();
  if (!selected) {
    if (!up) list->setSelectionIndexes(NSIndexSet::indexSetWithIndex(0));
    return;
  }
  if (up && *selected == 0) {
    list->setSelectionIndexes(NSIndexSet{});
    return;
  }
  const std::size_t target = up ? *selected - 1 : *selected + 1;
  if (target >= std::min(currentTerms.size(), Constants::maxRows)) return;
  list->setSelectionIndexes(NSIndexSet::indexSetWithIndex(target));
  list->scrollToItemsAtIndexPaths({NSIndexPath{target, 0}}, NSCollectionViewScrollPositionBottom);
}

void AutosuggestCollectionViewController::frameChangedWithNotification(const std::shared_ptr<NSNotification>& notification) {
  if (!isViewLoaded() || notification->object() != std::static_pointer_cast<NSObject>(view())) return;
  if (auto list = collectionView.lock()) list->collectionViewLayout()->invalidateLayout();
}

std::size_t AutosuggestCollectionViewController::numberOfItemsInSection(NSCollectionView&, std::size_t) {
  return std::min(currentTerms.size(), Constants::maxRows);
}

std::shared_ptr<NSCollectionViewItem> AutosuggestCollectionViewController::itemForRepresentedObjectAtIndexPath(
    NSCollectionView& view, NSIndexPath path) {
  auto cell = asA<AutosuggestCollectionViewCell>(view.makeItemWithIdentifier(Constants::cellIdentifier, path));
  if (!cell) return NSCollectionViewItem::make();
  if (path.item < currentTerms.size()) cell->setTerm(currentTerms[path.item]);
  return cell;
}

std::optional<NSSize> AutosuggestCollectionViewController::sizeForItemAtIndexPath(NSCollectionView& view,
                                                                                  NSCollectionViewLayout&, NSIndexPath) {
  return NSMakeSize(view.frame().size.width, Constants::rowHeight);
}

void AutosuggestCollectionViewController::didSelectItemsAtIndexPaths(NSCollectionView& view, const NSIndexPathSet& paths) {
  if (paths.empty()) return;
  const auto item = paths.begin()->item;
  if (auto listener = delegate.lock(); listener && item < currentTerms.size()) listener->didSelectTermWithTerm(currentTerms[item]);
  view.setSelectionIndexes(NSIndexSet{});
}

void AutosuggestCollectionViewController::selectedIndexesChangedWithSelectionIndexes(const NSIndexSet& indexes) {
  auto first = indexes.firstIndex();
  auto listener = delegate.lock();
  if (first && *first < currentTerms.size() && listener) listener->selectedTermChangedWithSelectedTerm(currentTerms[*first]);
}
