// The screens laid over the root panel: log-in, upload, create pack, terms of service and
// licences. Each is faded in over the whole panel and faded out and removed again; meanwhile
// the grids of the current display state do not scroll, and the keys go to the screen on
// top, never to a control it covers.

#include "account/QuorbUser.h"
#include "account/QuorbUserManager.h"
#include "app/AppDelegate.h"
#include "app/RootViewController.h"
#include "collections/UploadUnit.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
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

// A screen's first field that takes typing, in the order of its views, as a desktop form
// puts the caret in its first field.
std::shared_ptr<NSTextField> firstTypedField(const std::shared_ptr<NSView>& view) {
  if (view->isHidden()) return nullptr;
  if (auto field = asA<NSTextField>(view); field && field->isEditable()) return field;
  for (const auto& subview : view->subviews()) {
    if (auto field = firstTypedField(subview)) return field;
  }
  return nullptr;
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
  takeKeyboardFor(shown);
}

// --- The keyboard under the overlays

std::shared_ptr<NSView> RootViewController::coveringOverlay() {
  while (!coveringOverlays_.empty()) {
    auto top = coveringOverlays_.back().lock();
    if (top && isViewLoaded() && top->superview() == view()) return top;
    coveringOverlays_.pop_back();  // taken away without a fade (a newer terms screen's place)
  }
  return nullptr;
}

void RootViewController::takeKeyboardFor(const std::shared_ptr<NSView>& overlay) {
  std::erase_if(coveringOverlays_, [&](const auto& weak) { return weak.expired() || weak.lock() == overlay; });
  coveringOverlays_.push_back(overlay);
  auto window = view()->window();
  if (!window) return;
  // What is typed must not reach the control the screen covers (a search field focused
  // before, a search the user would never see).
  if (auto holder = window->focusedView(); holder && !holder->isDescendantOf(overlay)) {
    window->makeFirstResponder(nullptr);
  }
  // Its first field takes the keys once the screen has laid itself out for this showing: a
  // form empties its fields, which lets their focus go on a later turn of the main queue.
  std::weak_ptr<RootViewController> weak = self();
  std::weak_ptr<NSView> weakOverlay = overlay;
  // A field it focused itself (the create-pack form's name), or one clicked meanwhile, keeps them.
  DispatchQueue::main()->async([weak, weakOverlay] {
    auto strong = weak.lock();
    auto shown = weakOverlay.lock();
    if (strong && shown && strong->coveringOverlay() == shown) strong->focusPanelKeyboardUnlessTaken();
  });
}

void RootViewController::overlayLeaving(const std::shared_ptr<NSView>& overlay) {
  std::erase_if(coveringOverlays_, [&](const auto& weak) { return weak.expired() || weak.lock() == overlay; });
  // Keys typed while it fades out would reach a form on its way out (a Return that logs in).
  auto window = isViewLoaded() ? view()->window() : nullptr;
  if (!window) return;
  if (auto holder = window->focusedView(); holder && holder->isDescendantOf(overlay)) {
    window->makeFirstResponder(nullptr);
  }
}

void RootViewController::focusPanelKeyboardUnlessTaken() {
  auto window = isViewLoaded() ? view()->window() : nullptr;
  if (window && window->firstResponder().get() == window.get()) focusPanelKeyboard();
}

void RootViewController::focusPanelKeyboard() {
  if (!isViewLoaded()) return;
  auto overlay = coveringOverlay();
  if (!overlay) {
    if (auto field = searchTextField.lock()) field->becomeFirstResponder();
    return;
  }
  auto window = view()->window();
  if (!window) return;
  if (auto holder = window->focusedView(); holder && holder->isDescendantOf(overlay)) return;
  window->makeFirstResponder(nullptr);
  if (auto field = firstTypedField(overlay)) window->makeFirstResponder(field);
}

void RootViewController::fadeOutAndRemove(const std::shared_ptr<NSViewController>& overlay) {
  auto shown = overlay->view();
  overlayLeaving(shown);
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
        if (auto strong = weak.lock()) {
          strong->updateScrollingForDisplayState(strong->state, true);
          strong->focusPanelKeyboardUnlessTaken();
        }
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
    std::vector<std::shared_ptr<UploadUnit>> units;
    for (const auto& vorn : *content) {
      units.push_back(UploadUnit::initWithVorn(vorn, {}, std::string(Constants::savedPackName), UploadUnit::SourceType::drag));
    }
    upload->appendStagedUploads(units);
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
  auto form = createCollectionController();
  if (form->isViewLoaded()) overlayLeaving(form->view());
  std::weak_ptr<RootViewController> weak = self();
  form->closeViewWithCallback([weak] {
    if (auto strong = weak.lock()) {
      strong->updateScrollingForDisplayState(strong->state, true);
      strong->focusPanelKeyboardUnlessTaken();
    }
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
  if (terms && terms->isViewLoaded()) overlayLeaving(terms->view());
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
        strong->focusPanelKeyboardUnlessTaken();
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
