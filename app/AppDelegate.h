#pragma once
// The application's delegate: it runs the start-up in its fixed order and owns the
// menu-bar presence: the status item and its view, the popover holding the root panel,
// the outside-click monitor, the updater and the daily collection-sync timer.

#include <memory>
#include <vector>

#include "app/EventMonitor.h"
#include "app/StatusItemView.h"
#include "collections/PopoverPresenter.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSPopover.h"
#include "platform/appkit/NSStatusBar.h"
#include "platform/foundation/NSTimer.h"
#include "platform/services/SUUpdater.h"

class RootViewController;
class NSNotification;

class AppDelegate : public NSObject, public NSApplicationDelegate, public StatusItemViewDelegate, public PopoverPresenter {
 public:
  struct Constants {
    static constexpr std::string_view newVersionDate = "newVersionDate";
    static constexpr std::string_view crashOnExceptionsKey = "NSApplicationCrashOnExceptions";
    static constexpr std::string_view termsOfServiceShownKey = "termsOfServiceShown";
    static constexpr std::string_view applicationOpenEvent = "application_open";
    static constexpr std::string_view launchEvent = "launch";
    static constexpr std::string_view dragBeginNotification = "dragBegin";
    static constexpr std::string_view dragEndNotification = "dragEnd";
    static constexpr double collectionSyncInterval = 86400.0;
    static constexpr double updateCheckInterval = 86400.0;
    static constexpr double openDelayAtLaunch = 0.2;
  };

  static std::shared_ptr<AppDelegate> init();
  static std::shared_ptr<AppDelegate> make() { return init(); }

  std::shared_ptr<NSStatusItem> statusItem() const { return statusItem_; }
  std::shared_ptr<StatusItemView> statusItemView() const { return statusItemView_; }
  void setStatusItemView(const std::shared_ptr<StatusItemView>& view) { statusItemView_ = view; }
  std::shared_ptr<NSPopover> popover() const { return popover_; }
  std::shared_ptr<SUUpdater> updater() const { return updater_; }
  void setUpdater(const std::shared_ptr<SUUpdater>& updater) { updater_ = updater; }
  std::shared_ptr<NSTimer> collectionSyncTimer() const { return collectionSyncTimer_; }
  void setCollectionSyncTimer(const std::shared_ptr<NSTimer>& timer) { collectionSyncTimer_ = timer; }
  bool isFirstOverallAppOpen() const { return isFirstOverallAppOpen_; }
  void setIsFirstOverallAppOpen(bool value) { isFirstOverallAppOpen_ = value; }
  // Whether the outside-click monitor is installed now.
  bool isOutsideClickMonitorInstalled() const { return eventMontior_ && eventMontior_->isInstalled(); }
  // The outside-click monitor itself, for screens that must keep the popover open while they
  // are up (none before launch).
  EventMonitor* eventMontior() const { return eventMontior_.get(); }
  // The popover's content when it is the root panel.
  std::shared_ptr<RootViewController> rootController() const;

  void applicationDidFinishLaunching(const std::shared_ptr<NSNotification>& notification) override;
  void applicationWillTerminate(const std::shared_ptr<NSNotification>& notification) override;
  void dragBegan(const std::shared_ptr<NSNotification>& notification);
  void dragEnded(const std::shared_ptr<NSNotification>& notification);
  void registerDefaultShortcut();
  void togglePopoverWithSender(const std::shared_ptr<NSObject>& sender);
  // Also what the upload screen uses to put the popover away while its file chooser runs.
  void showPopoverWithSender(const std::shared_ptr<NSObject>& sender) override;
  void closePopoverWithSender(const std::shared_ptr<NSObject>& sender, bool animated) override;
  void tryCheckForNewVersion();
  void syncCollectionsWithTimer(const std::shared_ptr<NSTimer>& timer);
  // Another launch of the application handed over to this one: the panel opens as a click
  // on the icon opens it, and stays open when it is.
  void reopenForAnotherLaunch();

  // StatusItemViewDelegate.
  void didClickItemWithHighlighted(bool highlighted) override;
  void didDragVornsWithVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) override;

  GLIMDECK_OBJECT(AppDelegate)

 private:
  AppDelegate() = default;
  // The root panel's side of showing and of drops (kept beside the panel it drives).
  std::shared_ptr<NSViewController> makeRootPanel();
  void focusPanelSearchField();
  void checkTermsOfServiceOnShow();
  void handOverDroppedVorns(const std::vector<std::shared_ptr<VornObject>>& vorns);
  // Whether the root panel shows a screen that keeps the popover open against outside clicks.
  bool panelHoldsThePopoverOpen() const;

  std::shared_ptr<NSStatusItem> statusItem_;
  std::shared_ptr<StatusItemView> statusItemView_;
  std::shared_ptr<NSPopover> popover_;
  std::unique_ptr<EventMonitor> eventMontior_;
  std::shared_ptr<SUUpdater> updater_;
  std::shared_ptr<NSTimer> collectionSyncTimer_;
  bool isFirstOverallAppOpen_ = false;
};
