// The panel's search flow: the search field, the searches themselves and the
// search-analytics context that travels with every search and share event of the panel.

#include "app/RootViewController.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotification.h"
#include "platform/foundation/NSNumber.h"
#include "service/AdvertisingLogger.h"
#include "service/VNStreamRequester.h"
#include "ui/NSTextFieldExtensions.h"

namespace {

void logPanelEvent(std::string_view event, const PlovexAnalytics::EventData& data) {
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) analytics->logEventWithEvent(event, data);
}

}  // namespace

PlovexAnalytics::EventData RootViewController::constructSearchAnalyticsParameters() const {
  using K = PlovexAnalytics::Constants;
  PlovexAnalytics::EventData data;
  const std::pair<std::string_view, const std::optional<std::string>*> fields[] = {
      {K::tag, &sourceSearchTerm}, {K::tag1, &firstSearchTerm},   {K::tag2, &secondSearchTerm},
      {K::category, &searchCategory}, {K::actions, &searchAction}};
  for (const auto& [key, field] : fields) {
    if (*field) data.emplace(std::string(key), **field);
  }
  return data;
}

void RootViewController::clearSearchAnalytics() {
  sourceSearchTerm.reset();
  firstSearchTerm.reset();
  secondSearchTerm.reset();
  searchCategory.reset();
  searchAction.reset();
}

void RootViewController::logVornShare(const std::shared_ptr<VornObject>& vorn) {
  using K = PlovexAnalytics::Constants;
  PlovexAnalytics::EventData data;
  if (sourceSearchTerm) {
    data = constructSearchAnalyticsParameters();
  } else {
    data.emplace(std::string(K::category), std::string(Constants::trendingCategory));
  }
  data[std::string(K::vornIDKey)] = vorn->vid;
  logPanelEvent(Constants::shareEvent, data);
}

void RootViewController::logAdShareWithPromotedVorn(const std::shared_ptr<VornObject>& vorn) {
  if (vorn->advertisingSourceID) AdvertisingLogger::didShareContentWithSourceID(*vorn->advertisingSourceID);
}

// --- The search field

void RootViewController::controlTextDidChange(const std::shared_ptr<NSNotification>& /*notification*/) {
  auto field = searchTextField.lock();
  autosuggestCollectionViewController->setCurrentPrefix(field ? field->stringValue() : std::string());
}

void RootViewController::controlTextDidEndEditing(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto movement = info ? info->objectForKeyAs<NSNumber>(Constants::textMovementKey) : nullptr;
  if (!movement || movement->isBool() || movement->isReal()) return;
  if (movement->integerValue() != Constants::returnTextMovement) return;
  clearSearchAnalytics();
  searchCategory = std::string(Constants::searchCategoryValue);
  searchAction = std::string(Constants::qwertyAction);
  auto field = searchTextField.lock();
  auto term = autosuggestCollectionViewController->selectedTerm();
  performSearchWithTerm(term ? *term : field ? field->stringValue() : std::string(), true);
}

void RootViewController::showInSearchField(const std::string& text) {
  // The field keeps the keys it has: every search and every way home leaves it on screen, and
  // what is typed next belongs there (Escape too, which reaches the panel through it). Asked
  // to give them up, the field would leave them with nothing on a later turn.
  if (auto field = searchTextField.lock()) setTitle(*field, text, false, true);
}

// --- The autosuggest list

void RootViewController::didSelectTermWithTerm(const std::string& term) {
  clearSearchAnalytics();
  searchCategory = std::string(Constants::searchCategoryValue);
  searchAction = std::string(Constants::autosuggestAction);
  performSearchWithTerm(term, true);
}

void RootViewController::selectedTermChangedWithSelectedTerm(const std::string& term) {
  if (auto field = searchTextField.lock()) setTitle(*field, term, false, true);
}

// --- Searches

void RootViewController::performSearchWithTerm(const std::string& term, bool setSourceSearchTerm) {
  showInSearchField(term);
  searchViewController()->setRequester(VNStreamRequester::getForTermWithTerm(term));
  if (contentCollectionView->view()->superview()) moveResultsIntoPlace();
  beginSearchSession(term, setSourceSearchTerm);
}

void RootViewController::performSearchWithTag(const std::shared_ptr<VNTag>& tag, bool setSourceSearchTerm) {
  const auto& term = tag->additionalResultTag;
  showInSearchField(term);
  searchViewController()->setRequester(VNStreamRequester::getForTagWithTag(tag));
  moveResultsIntoPlace();
  beginSearchSession(term, setSourceSearchTerm);
  profileContentContainer.lock()->setHidden(true);
}

void RootViewController::moveResultsIntoPlace() {
  auto results = searchViewController()->view();
  results->setFrame(contentCollectionView->view()->frame());
  contentCollectionView->view()->removeFromSuperview();
  contentContainer.lock()->addSubview(results);
}

void RootViewController::beginSearchSession(const std::string& term, bool setSourceSearchTerm) {
  state = DisplayState::search;
  setDisplayState(DisplayState::search);
  focusedSearchController()->setCurrentSearchTerm(term);
  emptyAutosuggestList();
  showBackButton();
  trendingSearchesContainerTopConstraint.lock()->setConstant(Constants::trendingShownOffset);
  if (setSourceSearchTerm) {
    sourceSearchTerm = term;
    if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) analytics->generateNewAPIRefID();
  } else {
    firstSearchTerm = term;
  }
  secondSearchTerm.reset();
  setTouchBarState(TouchBarState::stream);
  logPanelEvent(Constants::textsearchEvent, constructSearchAnalyticsParameters());
}
