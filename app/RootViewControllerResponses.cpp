// The panel's answers to its child screens: taps and scrolling in the grids, user names,
// log-in requests and a change of the login state.

#include "app/RootViewController.h"
#include "browse/CopyVornToPasteboard.h"
#include "model/TelescopeUnit.h"
#include "service/GlobalKeys.h"
#include "service/VNStreamRequester.h"

#include <algorithm>

void RootViewController::showCopyConfirmation(const std::shared_ptr<GifCell>& cell) {
  // The tile's own confirmation: it says the GIF was copied, whatever it said before.
  if (cell && !cell->copyConfirmContainer.expired()) cell->displayConfirmationOverlayWithMessage(std::nullopt);
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
  if (!wasFull && shouldTrackPromotedTrendingContent()) focusedSearchController()->logViewsForAllVisiblePromos();
}

// --- The trending strip

void RootViewController::focusCellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) {
  if (auto tag = asA<VNTag>(object)) {
    searchCategory = std::string(tag->tagType == TagType::reactions ? Constants::reactionsCategory
                                                                    : Constants::trendingSearchesCategory);
    performSearchWithTag(tag, true);
    return;
  }
  if (auto unit = asA<TelescopeUnit>(object)) {
    if (unit->type == TelescopeType::didyoumean) {
      searchAction = std::string(Constants::didYouMeanAction);
      performSearchWithTerm(unit->term, false);
    } else {
      telescopeWithUnit(*unit);
    }
    return;
  }
  if (auto vorn = asA<VornObject>(object)) {
    // Nothing written means nothing shared: no event and no confirmation.
    if (!copyVornToPasteboard(vorn)) return;
    showCopyConfirmation(cell);
    logVornShare(vorn);
    if (vorn->featureData && vorn->advertisingSourceID) logAdShareWithPromotedVorn(vorn);
  }
}

void RootViewController::telescopeWithUnit(const TelescopeUnit& unit) {
  auto focused = focusedSearchController();
  const auto& current = focused->currentSearchTerm();
  if (!current) return;
  clearScrubberContent();
  reloadScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier());
  const std::string narrowed = *current + " " + unit.term;
  showInSearchField(narrowed);
  searchViewController()->setRequester(VNStreamRequester::getForTermWithTerm(narrowed));
  if (!firstSearchTerm) firstSearchTerm = sourceSearchTerm;
  secondSearchTerm = unit.term;
  searchAction = std::string(Constants::telescopingAction);
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) {
    analytics->logEventWithEvent(Constants::textsearchEvent, constructSearchAnalyticsParameters());
  }
}

void RootViewController::focusCellDragged(const std::shared_ptr<VornObject>& vorn) {
  if (!vorn) return;
  logVornShare(vorn);
  if (vorn->featureData && vorn->advertisingSourceID) logAdShareWithPromotedVorn(vorn);
}

void RootViewController::didLoadResultsWithResultsEmpty(bool resultsEmpty) {
  telescopingHeight.lock()->setConstant(resultsEmpty ? 0.0 : Constants::telescopingStripHeight);
}

bool RootViewController::shouldTrackPromotedTrendingContent() {
  return state == DisplayState::home && !isPresentingLoginInterface() && !isPresentingUploadInterface() &&
         !isPresentingCreatePackInterface() &&
         focusedSearchController()->currentMode == FocusedSearchViewController::Mode::trendingGifs &&
         trendingSearchesContainerTopConstraint.lock()->constant() == Constants::trendingShownOffset;
}

void RootViewController::usernameTapped(const std::string& username) { performSearchWithTerm(username, true); }

void RootViewController::loginRequested() { showLogin(); }
