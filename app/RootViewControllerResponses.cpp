// The panel's answers to its child screens: taps and scrolling in the grids, user names,
// log-in requests and a change of the login state.

#include "app/RootViewController.h"
#include "browse/CopyVornToPasteboard.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/foundation/PerformRequests.h"

#include <algorithm>

namespace {

constexpr double confirmationFadeIn = 0.4;
constexpr double confirmationHideDelay = 3.0;

}  // namespace

void RootViewController::showCopyConfirmation(const std::shared_ptr<GifCell>& cell) {
  if (!cell) return;
  auto overlay = cell->copyConfirmContainer.lock();
  if (!overlay) return;
  NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
    context.setDuration(confirmationFadeIn);
    overlay->animator()->setAlphaValue(1.0);
  });
  PerformRequests::perform<GifCell>(cell, std::string(GifCell::Constants::hideKey),
                                    [](GifCell& tile) { tile.hideConfirmationOverlay(); }, confirmationHideDelay);
}

void RootViewController::cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) {
  if (auto vorn = asA<VornObject>(object)) {
    // Nothing written means nothing shared: no event and no confirmation.
    if (!copyVornToPasteboard(vorn)) return;
    logVornShare(vorn);
    showCopyConfirmation(cell);
    return;
  }
  if (auto tag = asA<VNTag>(object)) {
    searchCategory = std::string(Constants::reactionsCategory);
    performSearchWithTag(tag, true);
  }
}

void RootViewController::clampedMove(NSLayoutConstraint& constraint, double delta, double low, double high) {
  const double value = std::clamp(constraint.constant() + delta, low, high);
  if (value != constraint.constant()) constraint.setConstant(value);
}

void RootViewController::gifCollectionScrollViewDidScroll(const std::shared_ptr<GifCollectionScrollView>& /*scrollView*/,
                                                          double previousVerticalOffset, double currentVerticalOffset) {
  auto toolbar = topToolbarConstraint.lock();
  auto strip = trendingSearchesContainerTopConstraint.lock();
  if (!toolbar || !strip) return;
  const bool wasFull = isTrendingStreamFullyVisible();
  const double before = toolbar->constant();
  const double delta = previousVerticalOffset - currentVerticalOffset;
  clampedMove(*toolbar, delta, Constants::toolbarHiddenOffset, Constants::toolbarShownOffset);
  const double after = toolbar->constant();
  const double probe = before + delta + after;
  if (probe >= Constants::toolbarHiddenOffset && probe <= Constants::toolbarShownOffset) {
    toolbar->setConstant(after + delta);
  }
  if (toolbar->constant() == Constants::toolbarHiddenOffset ||
      (delta > 0 && toolbar->constant() >= Constants::toolbarShownOffset)) {
    clampedMove(*strip, delta, Constants::trendingHiddenOffset, Constants::trendingShownOffset);
  }
  repositionAutosuggestController();
  (void)wasFull;
}

void RootViewController::usernameTapped(const std::string& username) { performSearchWithTerm(username, true); }

void RootViewController::loginRequested() { showLogin(); }
