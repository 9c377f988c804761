#include "collections/screens/ProfilePacksViewController.h"

#include "account/QuorbUserManager.h"
#include "browse/CopyVornToPasteboard.h"
#include "browse/GifCell.h"
#include "collections/Collection.h"
#include "collections/CollectionManager.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSTextField.h"
#include "platform/foundation/DispatchQueue.h"
#include "service/VNStreamRequester.h"
#include "ui/NSColorPalette.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"

namespace {

// The title colour of the segment not chosen.
std::shared_ptr<NSColor> unselectedSegmentColor() {
  static const auto color = NSColorPalette::initWithFullChannel(204, 204, 204, 255);
  return color;
}

}  // namespace

std::shared_ptr<TitledStreamController> ProfilePacksViewController::titledController() {
  if (!titledController_) titledController_ = TitledStreamController::make();
  return titledController_;
}

void ProfilePacksViewController::viewDidLoad() {
  NSViewController::viewDidLoad();
  updateSegmentButtonTitles(state);
  if (auto shadow = createPackButtonShadow.lock()) createShadow(*shadow);
  if (auto container = contentContainer.lock()) {
    auto grid = contentCollectionView->view();
    grid->translatesAutoresizingMaskIntoConstraints = false;
    container->addSubview(grid);
    for (auto attribute : {NSLayoutAttribute::centerX, NSLayoutAttribute::centerY, NSLayoutAttribute::width,
                           NSLayoutAttribute::height}) {
      container->addConstraint(NSLayoutConstraint::constraintWithItem(grid, attribute, NSLayoutRelation::equal,
                                                                      container, attribute, 1.0, 0.0));
    }
    // Nothing solves constraints here: the container places the grid as the four say.
    container->layoutHandler = [](NSView& view) {
      for (const auto& subview : view.subviews()) {
        if (!subview->translatesAutoresizingMaskIntoConstraints) subview->setFrame(view.bounds());
      }
    };
    grid->setFrame(container->bounds());
  }
  contentCollectionView->delegate =
      std::static_pointer_cast<GifCollectionViewControllerDelegate>(sharedAs<ProfilePacksViewController>());
  if (auto button = createCollectionButton.lock()) button->configureStylingForQLX();
}

void ProfilePacksViewController::viewDidAppear() {
  NSViewController::viewDidAppear();
  if (state != StreamState::packStream) return;
  if (auto touchBar = touchBarDelegate.lock()) {
    touchBar->clearScrubber();
    touchBar->fetchedContent(titledController()->contentCollectionView->mainSection());
  }
}

void ProfilePacksViewController::updateSegmentButtonTitles(StreamState shown) {
  auto retitle = [this](const std::shared_ptr<NSButton>& button, bool selected) {
    if (button) button->setAttributedTitle(NSAttributedString::make(button->title(), getStringAttributesForButton(*button, selected)));
  };
  retitle(uploadsSegmentButton.lock(), shown == StreamState::uploads);
  retitle(packsSegmentButton.lock(), shown == StreamState::packs);
}

NSAttributes ProfilePacksViewController::getStringAttributesForButton(const NSButton& button, bool isEnabled) const {
  NSAttributes attributes{{NSForegroundColorAttributeName,
                           isEnabled ? NSColorPalette::standardTextOffBlack() : unselectedSegmentColor()}};
  if (auto font = button.font()) attributes[NSFontAttributeName] = font;
  return attributes;
}

PlovexAnalytics::EventData ProfilePacksViewController::getAnalyticsParametersWithVorn(
    const std::shared_ptr<VornObject>& vorn) const {
  PlovexAnalytics::EventData parameters{{std::string(PlovexAnalytics::Constants::category), std::string(Constants::category)}};
  if (vorn) parameters[std::string(PlovexAnalytics::Constants::vornIDKey)] = vorn->vid;
  return parameters;
}

bool ProfilePacksViewController::enterState(StreamState next) {
  const auto old = state;
  state = next;
  if (old == next) return false;
  updateSegmentButtonTitles(next);
  loadContentForState(next);
  return true;
}

void ProfilePacksViewController::didTapUploads(const std::shared_ptr<NSObject>& sender) {
  if (auto button = asA<NSButton>(sender)) button->setState(NSControlStateValueOn);
  enterState(StreamState::uploads);
}

void ProfilePacksViewController::didTapPacks(const std::shared_ptr<NSObject>& sender) {
  if (auto button = asA<NSButton>(sender)) button->setState(NSControlStateValueOn);
  enterState(StreamState::packs);
}

void ProfilePacksViewController::didTapCreatePack(const std::shared_ptr<NSObject>& /*sender*/) {
  if (auto owner = collectionCreationDelegate.lock()) {
    owner->requestCollectionCreation(
        std::static_pointer_cast<CollectionCreationCompletionHandler>(sharedAs<ProfilePacksViewController>()));
  }
}

void ProfilePacksViewController::loadContentForState(StreamState shown) {
  if (auto label = noContentLabel.lock()) label->setHidden(true);
  switch (shown) {
    case StreamState::packs:
      loadCollections();
      break;
    case StreamState::uploads:
      loadUploadContentStream();
      if (auto touchBar = touchBarDelegate.lock()) touchBar->clearScrubber();
      break;
    case StreamState::packStream:
      break;
  }
}

void ProfilePacksViewController::setTwoColumns() {
  if (auto layout = contentCollectionView->layout.lock()) {
    layout->setStreamCount(Constants::columns);
    layout->invalidateLayout();
  }
}

void ProfilePacksViewController::loadUploadContentStream() {
  auto user = QuorbUserManager::init()->currentUser();
  if (!user) return;
  contentCollectionView->reset();
  contentCollectionView->requester = VNStreamRequester::getForUserWithUsername(user->username);
  setTwoColumns();
  contentCollectionView->reload();
}

void ProfilePacksViewController::loadCollections() {
  contentCollectionView->reset();
  auto& section = contentCollectionView->contentList[contentCollectionView->mainContentDisplaySection];
  for (const auto& collection : CollectionManager::sharedInstance()->getAllCollections(true)) section.push_back(collection);
  setTwoColumns();
  contentCollectionView->reload();
}

void ProfilePacksViewController::showCollectionStreamWithCollection(const std::shared_ptr<Collection>& collection) {
  auto titled = titledController();
  auto titledView = titled->view();
  titledView->setFrame(view()->bounds());
  titledView->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  view()->addSubview(titledView);
  // The pack is a screen of its own: the list under it would go on playing its tiles unseen.
  showList(false);
  titled->touchBarDelegate = touchBarDelegate;
  titled->delegate = std::static_pointer_cast<TitledStreamControllerDelegate>(sharedAs<ProfilePacksViewController>());
  titled->configureWithCollection(collection);
  titled->usernameClickDelegate = usernameClickDelegate;
}

void ProfilePacksViewController::showList(bool shown) {
  if (auto container = contentContainer.lock()) container->setHidden(!shown);
  if (!shown) contentCollectionView->unload();
}

void ProfilePacksViewController::unload() {
  contentCollectionView->unload();
  auto titled = titledController();
  if (titled->isViewLoaded() && titled->view()->superview()) titled->contentCollectionView->unload();
}

void ProfilePacksViewController::restore() {
  // Under an open pack the list stays put away until the pack is left.
  if (state != StreamState::packStream) contentCollectionView->restore();
  auto titled = titledController();
  if (titled->isViewLoaded() && titled->view()->superview()) titled->contentCollectionView->restore();
}

void ProfilePacksViewController::reset() {
  state = StreamState::uploads;
  // An open pack is closed without a word to anyone: nothing of it is to be listed again.
  if (titledController_) {
    if (titledController_->isViewLoaded()) titledController_->view()->removeFromSuperview();
    titledController_->contentCollectionView->reset();
  }
  contentCollectionView->reset();
  if (!isViewLoaded()) return;
  showList(true);
  for (const auto& segment : {uploadsSegmentButton.lock(), packsSegmentButton.lock()}) {
    if (segment) segment->setState(NSControlStateValueOff);
  }
  updateSegmentButtonTitles(state);
  if (auto label = noContentLabel.lock()) label->setHidden(true);
}

void ProfilePacksViewController::cellTapped(const std::shared_ptr<NSObject>& object,
                                            const std::shared_ptr<GifCell>& cell) {
  if (auto vorn = asA<VornObject>(object)) {
    if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) {
      analytics->logEventWithEvent(Constants::shareEvent, getAnalyticsParametersWithVorn(vorn));
    }
    copyVornToPasteboard(vorn);
    if (!cell) return;
    NSAnimationContext::runAnimationGroup(
        [&](NSAnimationContext&) { cell->displayConfirmationOverlayWithMessage(std::nullopt); });
    std::weak_ptr<GifCell> weakCell = cell;
    DispatchQueue::main()->asyncAfter(Constants::confirmationSeconds, [weakCell] {
      if (auto shown = weakCell.lock()) shown->hideConfirmationOverlay();
    });
    return;
  }
  if (auto pack = asA<Collection>(object)) {
    enterState(StreamState::packStream);
    if (auto touchBar = touchBarDelegate.lock()) touchBar->clearScrubber();
    showCollectionStreamWithCollection(pack);
  }
}

void ProfilePacksViewController::didRetrieveContentWithContent(const VNRequester::Content& content) {
  if (state == StreamState::packs) return;
  if (auto touchBar = touchBarDelegate.lock()) touchBar->fetchedContent(content);
}

void ProfilePacksViewController::didRetrieveEmptyContentList() {
  if (auto label = noContentLabel.lock()) label->setHidden(false);
}

void ProfilePacksViewController::usernameTapped(const std::string& username) {
  if (auto owner = usernameClickDelegate.lock()) owner->didTapUsernameLabel(username);
}

void ProfilePacksViewController::didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type,
                                                                       const std::shared_ptr<VornObject>& vorn) {
  auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
  if (!analytics) return;
  auto parameters = getAnalyticsParametersWithVorn(vorn);
  parameters[std::string(PlovexAnalytics::Constants::targetapp)] =
      PlovexAnalytics::getEllipsesMenuShareTypeStringFrom(static_cast<std::int64_t>(type));
  analytics->logEventWithEvent(Constants::shareEvent, parameters);
}

void ProfilePacksViewController::collectionCreated() {
  if (state == StreamState::packs) loadCollections();
}

void ProfilePacksViewController::didTapBack() {
  showList(true);
  enterState(StreamState::packs);
  titledController()->contentCollectionView->reset();
}

// The view tree, built in code: the two segments and the create-pack button across the top
// (the root is flipped, so it reads downwards), the grid's container under them and the
// empty-list line over its middle.
void ProfilePacksViewController::loadView() {
  constexpr double width = 400;
  constexpr double height = 420;
  constexpr double barHeight = 50;
  auto self = sharedAs<ProfilePacksViewController>();
  auto action = [weak = std::weak_ptr<ProfilePacksViewController>(self)](
                    void (ProfilePacksViewController::*method)(const std::shared_ptr<NSObject>&)) -> NSAction {
    return [weak, method](const std::shared_ptr<NSObject>& sender) {
      if (auto strong = weak.lock()) ((*strong).*method)(sender);
    };
  };
  auto root = NSView::initWithFrame(NSMakeRect(0, 0, width, height));
  root->setFlipped(true);
  auto segment = [&](std::string_view title, NSRect frame, NSAction act) {
    auto button = NSButton::initWithFrame(frame);
    button->setTitle(std::string(title));
    button->setBordered(false);
    button->setButtonType(NSButtonType::pushOnPushOff);
    button->setFont(NSFont::fontWithName(Constants::segmentFont, Constants::segmentFontSize));
    button->action = std::move(act);
    root->addSubview(button);
    return button;
  };
  auto uploads = segment(Constants::uploadsTitle, NSMakeRect(16, 10, 90, 30), action(&ProfilePacksViewController::didTapUploads));
  auto packs = segment(Constants::packsTitle, NSMakeRect(106, 10, 90, 30), action(&ProfilePacksViewController::didTapPacks));
  const NSRect createFrame = NSMakeRect(width - 16 - 120, 10, 120, 30);
  auto shadow = NSView::initWithFrame(createFrame);
  shadow->autoresizingMask = NSViewMinXMargin;
  root->addSubview(shadow);
  auto create = QLXButton::initWithFrame(createFrame);
  create->setTitle(std::string(Constants::createPackTitle));
  create->setBordered(false);
  create->setFont(NSFont::fontWithName(Constants::segmentFont, Constants::segmentFontSize));
  create->setCornerRadius(3.0);
  setConvenientBackgroundColor(*create, NSColorPalette::standardBlue());
  create->autoresizingMask = NSViewMinXMargin;
  create->action = action(&ProfilePacksViewController::didTapCreatePack);
  root->addSubview(create);
  auto container = NSView::initWithFrame(NSMakeRect(0, barHeight, width, height - barHeight));
  container->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  root->addSubview(container);
  auto empty = NSTextField::labelWithString(std::string(Constants::noContentText));
  empty->setFrame(NSMakeRect(0, height / 2, width, 24));
  empty->setAlignment(NSTextAlignment::center);
  empty->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin | NSViewMaxYMargin;
  empty->setHidden(true);
  root->addSubview(empty);

  uploadsSegmentButton = uploads;
  packsSegmentButton = packs;
  createCollectionButton = create;
  createPackButtonShadow = shadow;
  contentContainer = container;
  noContentLabel = empty;
  setView(root);
}
