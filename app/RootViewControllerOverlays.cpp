// The screens laid over the root panel: log-in, upload, create pack, terms of service and
// licences. Each
// is faded in over the whole panel and faded out and removed again; meanwhile the grids of
// the current display state do not scroll.

#include "account/QuorbUser.h"
#include "account/QuorbUserManager.h"
#include "app/AppDelegate.h"
#include "app/RootViewController.h"
#include "collections/UploadUnit.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSUserDefaults.h"
#include "ui/QLXLabel.h"

std::shared_ptr<LoginSignupViewController> RootViewController::loginSignupViewController() {
  if (!loginSignupViewController_) loginSignupViewController_ = LoginSignupViewController::init();
  return loginSignupViewController_;
}

std::shared_ptr<UploadViewController> RootViewController::uploadViewController() {
  if (!uploadViewController_) uploadViewController_ = UploadViewController::init();
  return uploadViewController_;
}

std::shared_ptr<CreateCollectionViewController> RootViewController::createCollectionController() {
  if (!createCollectionController_) createCollectionController_ = CreateCollectionViewController::init();
  return createCollectionController_;
}

std::shared_ptr<LicensesViewController> RootViewController::licensesViewController() {
  if (!licensesViewController_) licensesViewController_ = LicensesViewController::make();
  return licensesViewController_;
}

namespace {

// The application's outside-click monitor, when the application has a delegate that made one.
EventMonitor* outsideClickMonitor() {
  auto delegate = std::dynamic_pointer_cast<AppDelegate>(NSApplication::sharedApplication()->delegate());
  return delegate ? delegate->eventMontior() : nullptr;
}

bool presentedOver(NSViewController& overlay, NSViewController& panel) {
  return overlay.isViewLoaded() && panel.isViewLoaded() && overlay.view()->superview() == panel.view();
}

}  // namespace

bool RootViewController::isPresentingLoginInterface() { return presentedOver(*loginSignupViewController(), *this); }

bool RootViewController::isPresentingUploadInterface() { return presentedOver(*uploadViewController(), *this); }

bool RootViewController::isPresentingCreatePackInterface() {
  return presentedOver(*createCollectionController(), *this);
}

bool RootViewController::isPresentingTermsOfServiceInterface() {
  return termsOfServiceViewController && presentedOver(*termsOfServiceViewController, *this);
}

void RootViewController::updateScrollingForDisplayState(DisplayState displayState, bool enabled) {
  switch (displayState) {
    case DisplayState::search:
      focusedSearchController()->setScrollingEnabled(enabled);
      searchViewController()->contentCollectionView->setScrollingEnabled(enabled);
      break;
    case DisplayState::profile: {
      auto profile = profilePacksController();
      profile->contentCollectionView->setScrollingEnabled(enabled);
      if (profile->state == ProfilePacksViewController::StreamState::packStream) {
        profile->titledController()->contentCollectionView->setScrollingEnabled(enabled);
      }
      break;
    }
    case DisplayState::home:
      focusedSearchController()->setScrollingEnabled(enabled);
      contentCollectionView->setScrollingEnabled(enabled);
      break;
  }
}

void RootViewController::layOver(NSViewController& overlay, double fadeIn) {
  auto shown = overlay.view();
  shown->setFrame(view()->bounds());
  shown->setAlphaValue(0);
  view()->addSubview(shown);
  NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
    context.setDuration(fadeIn);
    shown->animator()->setAlphaValue(1.0);
  });
}

void RootViewController::fadeOutAndRemove(const std::shared_ptr<NSViewController>& overlay) {
  auto shown = overlay->view();
  std::weak_ptr<RootViewController> weak = self();
  NSAnimationContext::runAnimationGroup(
      [&](NSAnimationContext& context) {
        context.setDuration(Constants::overlayFade);
        shown->animator()->setAlphaValue(0.0);
      },
      [weak, shown] {
        // Shown again while it faded: the newer presentation keeps its view and the stillness.
        if (shown->alphaValue() != 0.0) return;
        shown->removeFromSuperview();
        if (auto strong = weak.lock()) strong->updateScrollingForDisplayState(strong->state, true);
      });
}

// --- Log-in form

void RootViewController::showLogin() {
  updateScrollingForDisplayState(state, false);
  auto form = loginSignupViewController();
  form->currentState = AuthenticationState::login;
  if (form->isViewLoaded()) form->updateInterfaceForState();
  layOver(*form, Constants::overlayFade);
}

void RootViewController::dismissLoginInterface() { fadeOutAndRemove(loginSignupViewController()); }

void RootViewController::authenticationDidCancel() { dismissLoginInterface(); }

void RootViewController::authenticationDidFinish() {
  dismissLoginInterface();
  configureUserAuthenticationButton();
}

// --- Upload screen

void RootViewController::showUploadWithContent(const std::optional<std::vector<std::shared_ptr<VornObject>>>& content) {
  updateScrollingForDisplayState(state, false);
  auto upload = uploadViewController();
  // One that is fading out (Back or Done was pressed) is over: it comes back as a new session
  // rather than taking the GIFs out of sight with it.
  if (!upload->isViewLoaded() || upload->view()->superview() != view() || upload->view()->alphaValue() == 0.0) {
    upload->reset();
    upload->delegate = self();
    layOver(*upload, Constants::overlayFade);
  }
  if (content) {
    for (const auto& vorn : *content) {
      upload->appendStagedUpload(
          UploadUnit::initWithVorn(vorn, {}, std::string(Constants::savedPackName), UploadUnit::SourceType::drag));
    }
    upload->showTaggingInterfaceIfNeeded();
    if (auto list = upload->stagedUploadsCollectionView.lock()) list->reloadData();
  }
  // A click in another application (a Finder window to drag from) must not close the popover
  // under the upload screen.
  if (auto monitor = outsideClickMonitor()) monitor->stop();
}

void RootViewController::removeUploadController() {
  fadeOutAndRemove(uploadViewController());
  if (auto monitor = outsideClickMonitor()) monitor->start();
}

// --- Create-pack form

void RootViewController::requestCollectionCreation(const std::shared_ptr<CollectionCreationCompletionHandler>& handler) {
  updateScrollingForDisplayState(state, false);
  collectionCompletionHandler = handler;
  auto form = createCollectionController();
  form->delegate = self();
  layOver(*form, Constants::createPackFadeIn);
  form->reset();
}

void RootViewController::collectionCreationSuccess() {
  if (auto handler = collectionCompletionHandler.lock()) handler->collectionCreated();
  closeCreatePackForm();
}

void RootViewController::collectionCreationCancelled() { closeCreatePackForm(); }

void RootViewController::closeCreatePackForm() {
  std::weak_ptr<RootViewController> weak = self();
  createCollectionController()->closeViewWithCallback([weak] {
    if (auto strong = weak.lock()) strong->updateScrollingForDisplayState(strong->state, true);
  });
}

// --- Terms of service

void RootViewController::presentTermsOfService(TermsOfServiceViewController::PresentationLayout layout) {
  using Layout = TermsOfServiceViewController::PresentationLayout;
  updateScrollingForDisplayState(state, false);
  if (termsOfServiceViewController) {
    termsOfServiceViewController->view()->removeFromSuperview();
    termsOfServiceViewController.reset();
  }
  bool canBeDismissed = true;
  if (layout == Layout::normal) {
    canBeDismissed =
        NSUserDefaults::standardUserDefaults()->integerForKey(Constants::termsOfServiceDismissalKey) <= 1;
  } else if (layout == Layout::welcome) {
    canBeDismissed = false;
  }
  auto terms = TermsOfServiceViewController::init(layout, true, canBeDismissed);
  if (!terms) return;
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) {
    analytics->logEventWithEvent(Constants::tosSplashEvent,
                                 PlovexAnalytics::EventData{{std::string(PlovexAnalytics::Constants::info),
                                                             std::string(TermsOfServiceViewController::rawValue(layout))}});
  }
  termsOfServiceViewController = terms;
  terms->setDelegate(self());
  layOver(*terms, Constants::overlayFade);
}

void RootViewController::dismissTermsOfService() {
  // The completion acts on the screen being dismissed only: one presented meanwhile stays.
  auto terms = termsOfServiceViewController;
  std::weak_ptr<RootViewController> weak = self();
  NSAnimationContext::runAnimationGroup(
      [&](NSAnimationContext& context) {
        context.setDuration(Constants::overlayFade);
        if (terms) terms->view()->animator()->setAlphaValue(0.0);
      },
      [weak, terms] {
        auto strong = weak.lock();
        if (terms) terms->view()->removeFromSuperview();
        if (!strong) return;
        if (strong->termsOfServiceViewController != terms) return;
        strong->termsOfServiceViewController.reset();
        strong->updateScrollingForDisplayState(strong->state, true);
      });
}

void RootViewController::didAcceptTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) {
  std::weak_ptr<RootViewController> weak = self();
  QuorbUserManager::quorbUserManager()->executeCurrentUserTOSAgreementWithCallback([weak, tosController](bool success) {
    DispatchQueue::main()->async([weak, tosController, success] {
      if (!success) {
        if (auto label = tosController->errorLabel.lock()) label->setHidden(false);
        return;
      }
      auto defaults = NSUserDefaults::standardUserDefaults();
      defaults->setInteger(2, Constants::termsOfServiceShownKey);
      defaults->synchronize();
      if (auto strong = weak.lock()) strong->dismissTermsOfService();
    });
  });
}

void RootViewController::didDeclineTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& /*tosController*/) {
  dismissTermsOfService();
  QuorbUser::logout();
}

void RootViewController::didDismissTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& /*tosController*/) {
  dismissTermsOfService();
}

// --- Profile packs

void RootViewController::showProfilePacks() {
  auto profile = profilePacksController();
  auto me = self();
  profile->usernameClickDelegate = me;
  profile->collectionCreationDelegate = me;
  profile->touchBarDelegate = me;
  auto container = profileContentContainer.lock();
  profile->view()->setFrame(container->bounds());
  container->addSubview(profile->view());
  container->setHidden(false);
  profile->loadContentForState(profile->state);
}

void RootViewController::hideProfilePacks() { profileContentContainer.lock()->setHidden(true); }

// --- Licences

void RootViewController::showLicenses() {
  updateScrollingForDisplayState(state, false);
  auto licenses = licensesViewController();
  licenses->delegate = self();
  layOver(*licenses, Constants::overlayFade);
}

void RootViewController::dismissLicenses() { fadeOutAndRemove(licensesViewController()); }
