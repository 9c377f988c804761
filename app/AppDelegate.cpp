#include "app/AppDelegate.h"

#include "account/QuorbUser.h"
#include "account/QuorbUserManager.h"
#include "app/LegacyArchiveNames.h"
#include "app/LoginUtilities.h"
#include "app/RootViewController.h"
#include "browse/DraggableAdTrackingCollectionViewController.h"
#include "collections/CollectionManager.h"
#include "collections/CoreDataContext.h"
#include "model/AppConstants.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSNotification.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/services/MASShortcut.h"
#include "platform/services/MASShortcutBinder.h"
#include "sdk/crash/Veverovodod.h"
#include "sdk/foundation/Murvane.h"
#include "service/PlovexAnalytics.h"

namespace {
bool hasAnalyticsID() {
  auto id = PlovexAnalytics::sharedPlovexAnalytics()->quorbID();
  return id && !id->empty();
}
}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::init() {
  auto delegate = create();
  delegate->statusItem_ = NSStatusBar::systemStatusBar()->statusItemWithLength(statusItemLength);
  delegate->popover_ = NSPopover::make();
  delegate->updater_ = SUUpdater::make();
  return delegate;
}

void AppDelegate::applicationDidFinishLaunching(const std::shared_ptr<NSNotification>&) {
  // The Touch Bar's customisation item is always there on this platform: nothing to enable.
  registerLegacyArchiveClassNames();
  isFirstOverallAppOpen_ = !LoginUtilities::initialAutoLaunchHasBeenSet();

  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->registerDefaults(NSDictionary::make({{std::string(Constants::crashOnExceptionsKey), NSNumber::numberWithBool(true)}}));
  (void)defaults->synchronize();

  Murvane::with({Veverovodod::kitClass()});

  if (hasAnalyticsID()) {
    PlovexAnalytics::sharedPlovexAnalytics()->logEventWithEvent(Constants::applicationOpenEvent, std::nullopt);
  }
  QuorbUserManager::init()->authenticateUser();

  std::weak_ptr<AppDelegate> weak = sharedAs<AppDelegate>();
  collectionSyncTimer_ = NSTimer::scheduledTimerWithTimeInterval(
      Constants::collectionSyncInterval, true, [weak](const std::shared_ptr<NSTimer>& timer) {
        if (auto self = weak.lock()) self->syncCollectionsWithTimer(timer);
      });
  collectionSyncTimer_->fire();

  statusItemView_ = StatusItemView::initWithStatusItem(statusItem_);
  if (statusItemView_) {
    statusItemView_->appDelegate = weak;
    statusItemView_->delegate = std::static_pointer_cast<StatusItemViewDelegate>(sharedAs<AppDelegate>());
    statusItemView_->setHighlighted(true);
    statusItemView_->setNeedsDisplay(true);
    statusItemView_->displayIfNeeded();
  }

  popover_->setContentViewController(makeRootPanel());
  popover_->appearance = NSAppearance::appearanceNamed(NSAppearanceNameAqua);

  eventMontior_ = std::make_unique<EventMonitor>(NSEventMaskLeftMouseDown | NSEventMaskRightMouseDown,
                                                [weak](const std::shared_ptr<NSEvent>& event) {
                                                  auto self = weak.lock();
                                                  if (self && self->popover_->isShown()) {
                                                    self->closePopoverWithSender(event, true);
                                                  }
                                                });
  eventMontior_->start();

  auto center = NSNotificationCenter::defaultCenter();
  center->addObserver(sharedAs<AppDelegate>(), &AppDelegate::dragBegan, Constants::dragBeginNotification, nullptr);
  center->addObserver(sharedAs<AppDelegate>(), &AppDelegate::dragEnded, Constants::dragEndNotification, nullptr);

  DispatchQueue::main()->asyncAfter(Constants::openDelayAtLaunch, [weak] {
    // Another launch may have had it shown already; the toggle must not close it.
    auto self = weak.lock();
    if (self && !self->popover_->isShown()) self->togglePopoverWithSender(nullptr);
  });
  // The panel's fonts are made while the delay runs, when the main thread has nothing else
  // to do, rather than when the panel is first built.
  DispatchQueue::main()->async([] { RootViewController::prepareFonts(); });

  MASShortcutBinder::sharedBinder()->bindShortcutWithDefaultsKey(globalKeyboardShortcutKey, [weak] {
    if (auto self = weak.lock()) self->togglePopoverWithSender(nullptr);
  });
  registerDefaultShortcut();

  if (!LoginUtilities::initialAutoLaunchHasBeenSet()) {
    LoginUtilities::setInitialAutoLaunch(true);
    if (!LoginUtilities::isLaunchAtStartup()) LoginUtilities::toggleLaunchAtStartup();
  }
}

void AppDelegate::applicationWillTerminate(const std::shared_ptr<NSNotification>&) {
  if (collectionSyncTimer_) collectionSyncTimer_->invalidate();
  collectionSyncTimer_.reset();
  // Closed, the store is whole in its file (zg.sqlite alone is a backup of it), and the next
  // copy of the application finds it free.
  CoreDataContext::close();
}

void AppDelegate::reopenForAnotherLaunch() {
  if (!popover_->isShown()) {
    togglePopoverWithSender(nullptr);
    return;
  }
  NSApplication::sharedApplication()->activateIgnoringOtherApps(true);
  focusPanelSearchField();
}

void AppDelegate::syncCollectionsWithTimer(const std::shared_ptr<NSTimer>&) {
  auto manager = CollectionManager::sharedInstance();
  // What the service has not taken yet goes first, at launch and then once a day.
  manager->resendUnsentChanges();
  manager->synchronizeAllCollections();
}

void AppDelegate::registerDefaultShortcut() {
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (defaults->dataForKey(globalKeyboardShortcutKey)) return;
  // G with Shift and Command: the desktop's Shift+Ctrl+G.
  auto shortcut = MASShortcut::initWithKeyCode(NSKeyCode::g, NSEventModifierFlagShift | NSEventModifierFlagCommand);
  if (auto data = NSKeyedArchiver::archivedDataWithRootObject(shortcut)) {
    defaults->setObject(*data, globalKeyboardShortcutKey);
    (void)defaults->synchronize();
  }
}

// ---- the popover ----------------------------------------------------------------------

void AppDelegate::didClickItemWithHighlighted(bool) { togglePopoverWithSender(nullptr); }

void AppDelegate::togglePopoverWithSender(const std::shared_ptr<NSObject>& sender) {
  if (popover_->isShown()) {
    closePopoverWithSender(sender, true);
    return;
  }
  if (hasAnalyticsID()) PlovexAnalytics::sharedPlovexAnalytics()->logEventWithEvent(Constants::launchEvent, std::nullopt);
  showPopoverWithSender(sender);
  NSApplication::sharedApplication()->activateIgnoringOtherApps(true);
  focusPanelSearchField();
  tryCheckForNewVersion();
}

void AppDelegate::showPopoverWithSender(const std::shared_ptr<NSObject>&) {
  // A screen that gave the panel away (the file chooser) asks for it back as it closes, also
  // when the application is ending meanwhile: the panel would only flash.
  if (NSApplication::sharedApplication()->hasTerminated()) return;
  if (statusItemView_) {
    statusItemView_->setHighlighted(true);
    popover_->showRelativeToRect(statusItemView_->bounds(), statusItemView_, NSRectEdge::minY);
  }
  // The upload screen keeps the popover open (a file is dragged in from another program):
  // showing the popover again under it, after its file chooser, does not undo that.
  if (eventMontior_ && !panelHoldsThePopoverOpen()) eventMontior_->start();
  if (auto content = popover_->contentViewController()) {
    if (content->isViewLoaded()) {
      if (auto window = content->view()->window()) window->becomeKeyWindow();
    }
  }
  checkTermsOfServiceOnShow();
}

void AppDelegate::closePopoverWithSender(const std::shared_ptr<NSObject>& sender, bool animated) {
  bool animates = popover_->animates;
  popover_->animates = animated;
  popover_->performClose(sender);
  popover_->animates = animates;
  if (statusItemView_) statusItemView_->setHighlighted(false);
  if (eventMontior_) eventMontior_->stop();
}

void AppDelegate::tryCheckForNewVersion() {
  auto defaults = NSUserDefaults::standardUserDefaults();
  auto last = asA<NSDate>(defaults->valueForKey(Constants::newVersionDate));
  auto now = NSDate::date();
  // A date ahead of now (the clock was set back) would hold the checks off until then.
  double since = last ? now->timeIntervalSinceDate(*last) : 0;
  if (last && since >= 0 && since <= Constants::updateCheckInterval) return;
  defaults->setObject(now, Constants::newVersionDate);
  updater_->checkForUpdatesInBackground();
}

// ---- drags ----------------------------------------------------------------------------

void AppDelegate::didDragVornsWithVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) {
  showPopoverWithSender(nullptr);
  handOverDroppedVorns(vorns);
}

void AppDelegate::dragBegan(const std::shared_ptr<NSNotification>& notification) {
  using DragBegin = DraggableAdTrackingCollectionViewController::DragBegin;
  auto payload = notification ? asA<DragBegin>(notification->object()) : nullptr;
  if (!payload || !payload->view || !payload->draggingItem) {
    closePopoverWithSender(nullptr, true);
    return;
  }
  closePopoverWithSender(nullptr, false);
  payload->view->beginDraggingSessionWithItems({payload->draggingItem}, payload->event, payload->source);
}

void AppDelegate::dragEnded(const std::shared_ptr<NSNotification>&) { showPopoverWithSender(nullptr); }
