// Submitting the log-in and sign-up form: the account calls, their replies on the main
// thread, the terms splash a log-in may need, and a success that installs the user and
// merges the user's packs.
#include "account/QuorbUserManager.h"
#include "account/screens/LoginSignupViewController.h"
#include "collections/CollectionManager.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"

namespace {

std::string submittedText(const std::weak_ptr<NSTextField>& field) {
  auto held = field.lock();
  return held ? held->stringValue() : std::string();
}

}  // namespace

void LoginSignupViewController::tappedAuthenticationButton(const std::shared_ptr<NSObject>& /*sender*/) { submit(); }

void LoginSignupViewController::submit() {
  if (callUnderWay_) return;
  clearErrors();
  if (!validateInput()) return;
  if (currentState == AuthenticationState::signup) {
    signup();
  } else {
    login(false);
  }
}

void LoginSignupViewController::login(bool includeTOSFlag) {
  const auto username = submittedText(usernameTextField);
  const auto password = submittedText(passwordTextField);
  setLoadingOverlayHidden(false);
  callUnderWay_ = true;
  std::weak_ptr<LoginSignupViewController> weak = sharedAs<LoginSignupViewController>();
  QuorbUser::loginWith(username, password, includeTOSFlag,
                       [weak](std::shared_ptr<QuorbUser> user, bool requiresTOS, std::shared_ptr<NSError> error,
                              std::shared_ptr<NSDictionary> errorMap) {
                         DispatchQueue::main()->async([weak, user, requiresTOS, error, errorMap] {
                           handleLoginResult(weak, user, requiresTOS, error, errorMap);
                         });
                       });
}

void LoginSignupViewController::signup() {
  const auto username = submittedText(usernameTextField);
  const auto password = submittedText(passwordTextField);
  const auto email = submittedText(emailTextField);
  setLoadingOverlayHidden(false);
  callUnderWay_ = true;
  std::weak_ptr<LoginSignupViewController> weak = sharedAs<LoginSignupViewController>();
  QuorbUser::signupWith(email, username, password,
                        [weak](std::shared_ptr<QuorbUser> user, bool, std::shared_ptr<NSError> error,
                               std::shared_ptr<NSDictionary> errorMap) {
                          DispatchQueue::main()->async([weak, user, error, errorMap] {
                            handleSignupResult(weak, user, error, errorMap);
                          });
                        });
}

void LoginSignupViewController::handleLoginResult(const std::weak_ptr<LoginSignupViewController>& screen,
                                                  const std::shared_ptr<QuorbUser>& user, bool requiresTOS,
                                                  const std::shared_ptr<NSError>& error,
                                                  const std::shared_ptr<NSDictionary>& errorMap) {
  if (error || errorMap) {
    showFailure(screen, error, errorMap);
  } else if (requiresTOS) {
    if (auto form = screen.lock()) form->showTermsOfService();
  } else if (user) {
    completeAuthentication(screen, user);
  } else if (auto form = screen.lock()) {
    form->showError("", AuthenticationInputType::username);
    form->showError(Constants::incorrectLoginMessage, AuthenticationInputType::password);
  }
  if (auto form = screen.lock()) {
    form->setLoadingOverlayHidden(true);
    form->callUnderWay_ = false;
  }
}

void LoginSignupViewController::handleSignupResult(const std::weak_ptr<LoginSignupViewController>& screen,
                                                   const std::shared_ptr<QuorbUser>& user,
                                                   const std::shared_ptr<NSError>& error,
                                                   const std::shared_ptr<NSDictionary>& errorMap) {
  if (error || errorMap) {
    showFailure(screen, error, errorMap);
  } else if (user) {
    completeAuthentication(screen, user);
  } else if (auto form = screen.lock()) {
    form->showError(Constants::generalErrorMessage, AuthenticationInputType::username);
  }
  if (auto form = screen.lock()) {
    form->setLoadingOverlayHidden(true);
    form->callUnderWay_ = false;
  }
}

void LoginSignupViewController::showFailure(const std::weak_ptr<LoginSignupViewController>& screen,
                                            const std::shared_ptr<NSError>& error,
                                            const std::shared_ptr<NSDictionary>& errorMap) {
  auto form = screen.lock();
  if (!form) return;
  form->displayErrorsWithErrorMap(errorMap ? errorMap : NSDictionary::make());
  // A failure whose complaints named no field of the form still says why, under the
  // username: the service's own sentence when it gave one, else the general message.
  if (form->isShowingAnError()) return;
  std::string reason;
  if (error && error->domain() == QuorbUser::Constants::errorDomain && error->userInfo()) {
    if (auto text = error->userInfo()->objectForKeyAs<NSString>(QuorbUser::Constants::NSLocalizedFailureReasonErrorKey)) {
      reason = text->string();
    }
  }
  form->showError(reason.empty() ? Constants::generalErrorMessage : reason, AuthenticationInputType::username);
}

// The user and the packs are taken in even when the form has gone meanwhile: the account
// call already stored the token, so the user is signed in either way.
void LoginSignupViewController::completeAuthentication(const std::weak_ptr<LoginSignupViewController>& screen,
                                                       const std::shared_ptr<QuorbUser>& user) {
  QuorbUserManager::init()->setUser(user);
  auto collections = NSArray::make();
  for (const auto& collection : user->rawCollections) collections->addObject(collection);
  CollectionManager::sharedInstance()->synchronizeLocalAndServerAPI(collections, false);
  if (auto form = screen.lock()) {
    if (auto owner = form->delegate()) owner->authenticationDidFinish();
  }
}

void LoginSignupViewController::showTermsOfService() {
  if (termsOfServiceViewController) {
    if (termsOfServiceViewController->isViewLoaded()) termsOfServiceViewController->view()->removeFromSuperview();
    termsOfServiceViewController = nullptr;
  }
  auto splash = TermsOfServiceViewController::init(TermsOfServiceViewController::PresentationLayout::normal, true, true);
  if (!splash) return;
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) {
    analytics->logEventWithEvent(Constants::splashEvent,
                                 PlovexAnalytics::EventData{{std::string(Constants::infoKey), "normal"}});
  }
  termsOfServiceViewController = splash;
  // A decline here only closes the splash, so it needs no warning step.
  splash->requiresDenialConfirmation = false;
  splash->setDelegate(sharedAs<LoginSignupViewController>());
  auto splashView = splash->view();
  auto own = view();
  splashView->setFrame(own->bounds());
  splashView->setAlphaValue(0);
  own->addSubview(splashView);
  NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
    context.setDuration(Constants::fadeDuration);
    splashView->animator()->setAlphaValue(1);
  });
}

void LoginSignupViewController::hideTermsOfService() {
  auto splash = termsOfServiceViewController;
  if (!splash) return;
  std::weak_ptr<LoginSignupViewController> weak = sharedAs<LoginSignupViewController>();
  NSAnimationContext::runAnimationGroup(
      [&](NSAnimationContext& context) {
        context.setDuration(Constants::fadeDuration);
        splash->view()->animator()->setAlphaValue(0);
      },
      [weak, splash] {
        splash->view()->removeFromSuperview();
        // A newer splash may have come meanwhile (the log-in after an acceptance can be
        // answered before this fade ends): only this one goes.
        auto form = weak.lock();
        if (form && form->termsOfServiceViewController == splash) form->termsOfServiceViewController = nullptr;
      });
}

void LoginSignupViewController::didAcceptTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>&) {
  hideTermsOfService();
  login(true);
}

void LoginSignupViewController::didDeclineTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>&) {
  hideTermsOfService();
}

void LoginSignupViewController::didDismissTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>&) {
  hideTermsOfService();
}
