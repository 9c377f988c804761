// The application delegate's dealings with the root panel in its popover: making it,
// focusing its search field, the terms of service on showing, and GIFs dropped on the icon.

#include "account/QuorbUser.h"
#include "account/QuorbUserManager.h"
#include "app/AppDelegate.h"
#include "app/RootViewController.h"
#include "platform/foundation/NSUserDefaults.h"

std::shared_ptr<RootViewController> AppDelegate::rootController() const {
  return std::dynamic_pointer_cast<RootViewController>(popover_->contentViewController());
}

std::shared_ptr<NSViewController> AppDelegate::makeRootPanel() { return RootViewController::init(); }

void AppDelegate::focusPanelSearchField() {
  auto root = rootController();
  if (!root) return;
  // Under a screen laid over the panel (the first run's terms) the keys go to that screen.
  root->focusPanelKeyboard();
}

void AppDelegate::checkTermsOfServiceOnShow() {
  auto root = rootController();
  if (!root || root->isPresentingTermsOfServiceInterface()) return;
  using Layout = TermsOfServiceViewController::PresentationLayout;
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (isFirstOverallAppOpen_) {
    root->presentTermsOfService(Layout::welcome);
    defaults->setInteger(2, Constants::termsOfServiceShownKey);
    (void)defaults->synchronize();
    isFirstOverallAppOpen_ = false;
  } else if (defaults->integerForKey(Constants::termsOfServiceShownKey) >= 2) {
    return;
  } else if (!QuorbUser::authToken()) {
    root->presentTermsOfService(Layout::blocker);
    defaults->setInteger(2, Constants::termsOfServiceShownKey);
    (void)defaults->synchronize();
  } else {
    auto user = QuorbUserManager::init()->currentUser();
    if (user && !user->hasAcceptedTOS) root->presentTermsOfService(Layout::normal);
  }
}

void AppDelegate::handOverDroppedVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) {
  auto root = rootController();
  if (!root) return;
  if (!QuorbUser::authToken()) {
    root->showLogin();
  } else {
    root->showUploadWithContent(vorns);
  }
}

bool AppDelegate::panelHoldsThePopoverOpen() const {
  auto root = rootController();
  return root && root->isPresentingUploadInterface() && root->uploadViewController()->view()->alphaValue() != 0.0;
}
