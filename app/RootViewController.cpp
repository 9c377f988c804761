#include "app/RootViewController.h"

#include <algorithm>
#include <utility>

#include "account/QuorbUser.h"
#include "app/RootViewControllerView.h"
#include "model/InputLimits.h"
#include "model/VNMockTag.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "service/GlobalKeys.h"
#include "service/VNTagRequester.h"
#include "ui/NSColorPalette.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/QLXButton.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace {

constexpr double toolbarHeight = 50.0;
constexpr double searchBarHeight = 56.0;
constexpr double searchFieldHeight = 36.0;
constexpr double margin = 10.0;
constexpr double buttonHeight = 26.0;
constexpr double uploadWidth = 80.0;
constexpr double accountWidth = 130.0;
constexpr double profileWidth = 80.0;
constexpr double moreWidth = 30.0;
constexpr double logoWidth = 70.0;
constexpr double backLeading = 10.0;
constexpr double backWidth = 21.0;

std::shared_ptr<NSButton> toolbarButton(NSRect frame, std::string title, NSAction action) {
  auto button = NSButton::initWithFrame(frame);
  button->setTitle(std::move(title));
  button->setBordered(false);
  button->action = std::move(action);
  return button;
}

}  // namespace

RootViewController::RootViewController()
    : contentCollectionView(GifCollectionViewController::init()),
      autosuggestCollectionViewController(AutosuggestCollectionViewController::make()),
      searchBackgroundGradient(CAGradientLayer::layer()) {}

std::shared_ptr<RootViewController> RootViewController::init() { return create(); }

std::shared_ptr<FocusedSearchViewController> RootViewController::focusedSearchController() {
  if (!focusedSearchController_) focusedSearchController_ = FocusedSearchViewController::make();
  return focusedSearchController_;
}

std::shared_ptr<ProfilePacksViewController> RootViewController::profilePacksController() {
  if (!profilePacksController_) profilePacksController_ = ProfilePacksViewController::init();
  return profilePacksController_;
}

std::shared_ptr<SearchViewController> RootViewController::searchViewController() {
  if (!searchViewController_) searchViewController_ = SearchViewController::make();
  return searchViewController_;
}

// --- Construction of the view tree

void RootViewController::loadView() {
  auto me = self();
  auto root = RootViewControllerView::initWithFrame(NSMakeRect(0, 0, panelSize.width, panelSize.height));
  auto make = [&](const std::shared_ptr<NSView>& parent) {
    auto view = NSView::initWithFrame(NSZeroRect);
    parent->addSubview(view);
    return view;
  };
  // Back to front: the content and the strip slide under the search bar and the toolbar.
  auto content = make(root);
  auto trending = make(root);
  auto profile = make(root);
  profile->setHidden(true);
  auto searchBar = make(root);
  auto toolbar = make(root);

  auto fieldShadow = make(searchBar);
  auto field = NSTextField::initWithFrame(NSZeroRect);
  field->maximumLength = InputLimits::searchTerm;
  // The kit's vertically aligned cell keeps the text, the placeholder and the editor in
  // the middle of the tall field.
  field->setCell(VerticallyAlignedTextFieldCell::initTextCell(""));
  field->setEditable(true);
  field->setDelegate(me);
  fieldShadow->addSubview(field);
  auto back = toolbarButton(NSZeroRect, "<", targetAction(me, &RootViewController::didTapBackWithSender));
  searchBar->addSubview(back);

  auto logo = toolbarButton(NSZeroRect, "Zolto", targetAction(me, &RootViewController::didTapZoltoLogo));
  toolbar->addSubview(logo);
  auto uploadShadow = make(toolbar);
  auto upload = QLXButton::initWithFrame(NSZeroRect);
  upload->setTitle(std::string(Constants::uploadButtonTitle));
  upload->action = targetAction(me, &RootViewController::didTapUpload);
  uploadShadow->addSubview(upload);
  auto accountShadow = make(toolbar);
  auto account = QLXButton::initWithFrame(NSZeroRect);
  account->setTitle(std::string(Constants::accountButtonTitle));
  account->action = targetAction(me, &RootViewController::userAuthenticationButtonPressed);
  accountShadow->addSubview(account);
  auto profileToggle = toolbarButton(NSZeroRect, "PROFILE", targetAction(me, &RootViewController::didTapProfileWithSender));
  profileToggle->setButtonType(NSButtonType::pushOnPushOff);
  toolbar->addSubview(profileToggle);
  auto more = toolbarButton(NSZeroRect, "...", [weak = std::weak_ptr(me)](const std::shared_ptr<NSObject>& sender) {
    if (auto strong = weak.lock()) strong->didTapMore(sender);
  });
  toolbar->addSubview(more);

  // The switched constants, kept by the panel view, which lays out from them.
  using A = NSLayoutAttribute;
  auto toolbarTop = NSLayoutConstraint::equal(toolbar, A::top, root, A::top, 0);
  auto trendingTop = NSLayoutConstraint::equal(trending, A::top, searchBar, A::bottom, Constants::trendingShownOffset);
  auto telescoping = NSLayoutConstraint::constant(trending, A::height, Constants::telescopingStripHeight);
  auto backLeadingConstraint = NSLayoutConstraint::equal(back, A::leading, searchBar, A::leading, 0);
  auto backWidthConstraint = NSLayoutConstraint::constant(back, A::width, 0);
  auto accountWidthConstraint = NSLayoutConstraint::constant(accountShadow, A::width, accountWidth);
  uploadToSignupWidth = NSLayoutConstraint::equal(uploadShadow, A::trailing, accountShadow, A::leading, -margin);
  uploadToProfileWidth = NSLayoutConstraint::equal(uploadShadow, A::trailing, profileToggle, A::leading, -margin);
  root->addConstraints({toolbarTop, trendingTop, telescoping, backLeadingConstraint, backWidthConstraint,
                        accountWidthConstraint, uploadToSignupWidth, uploadToProfileWidth});

  contentContainer = content;
  telescopingHeight = telescoping;
  trendingSearchesContainerTopConstraint = trendingTop;
  trendingSearchesContainer = trending;
  topToolbarConstraint = toolbarTop;
  topToolbarContainer = toolbar;
  uploadButton = upload;
  uploadButtonShadowView = uploadShadow;
  userAuthenticationButtonShadowView = accountShadow;
  userAuthenticationButtonWidth = accountWidthConstraint;
  userAuthenticationButton = account;
  searchTextField = field;
  textFieldShadowView = fieldShadow;
  searchTextFieldContainer = searchBar;
  backButtonWidthConstraint = backWidthConstraint;
  backButtonLeadingConstraint = backLeadingConstraint;
  profileButton = profileToggle;
  profileContentContainer = profile;
  logoButton = logo;
  backButton = back;
  moreButton = more;

  std::weak_ptr<RootViewController> weak = me;
  root->layoutHandler = [weak](NSView&) {
    if (auto strong = weak.lock()) strong->layoutPanel();
  };
  setView(root);
  layoutPanel();
  awakeFromNib();
}

void RootViewController::layoutPanel() {
  auto root = view();
  const double width = root->bounds().size.width;
  const double height = root->bounds().size.height;
  const double toolbarTop = topToolbarConstraint.lock()->constant();
  const double searchTop = toolbarTop + toolbarHeight;
  const double searchBottom = searchTop + searchBarHeight;
  const double stripTop = searchBottom + trendingSearchesContainerTopConstraint.lock()->constant();
  const double stripHeight = telescopingHeight.lock()->constant();
  const double contentTop = std::min(height, stripTop + stripHeight + margin / 2);
  // Measured from the top, placed in the panel's upward coordinates.
  auto place = [&](const std::weak_ptr<NSView>& view, double top, double viewHeight) {
    view.lock()->setFrame(NSMakeRect(0, height - top - viewHeight, width, viewHeight));
  };
  place(topToolbarContainer, toolbarTop, toolbarHeight);
  place(searchTextFieldContainer, searchTop, searchBarHeight);
  place(trendingSearchesContainer, stripTop, stripHeight);
  place(contentContainer, contentTop, height - contentTop);
  place(profileContentContainer, searchBottom, std::max(0.0, height - searchBottom));

  // The search bar: the back button, then the field.
  const double backX = backButtonLeadingConstraint.lock()->constant();
  const double backW = backButtonWidthConstraint.lock()->constant();
  const double fieldY = (searchBarHeight - searchFieldHeight) / 2;
  backButton.lock()->setFrame(NSMakeRect(backX, fieldY, backW, searchFieldHeight));
  const double fieldX = backX + backW + margin;
  textFieldShadowView.lock()->setFrame(NSMakeRect(fieldX, fieldY, width - fieldX - margin, searchFieldHeight));
  searchTextField.lock()->setFrame(NSMakeRect(0, 0, width - fieldX - margin, searchFieldHeight));

  // The toolbar, right to left: more, the profile toggle or the account button, upload.
  const double buttonY = (toolbarHeight - buttonHeight) / 2;
  logoButton.lock()->setFrame(NSMakeRect(margin, buttonY, logoWidth, buttonHeight));
  const double moreX = width - margin - moreWidth;
  moreButton.lock()->setFrame(NSMakeRect(moreX, buttonY, moreWidth, buttonHeight));
  const double profileX = moreX - margin - profileWidth;
  profileButton.lock()->setFrame(NSMakeRect(profileX, buttonY, profileWidth, buttonHeight));
  const double accountW = userAuthenticationButtonWidth.lock()->constant();
  const double accountX = moreX - margin - accountW;
  userAuthenticationButtonShadowView.lock()->setFrame(NSMakeRect(accountX, buttonY, accountW, buttonHeight));
  userAuthenticationButton.lock()->setFrame(NSMakeRect(0, 0, accountW, buttonHeight));
  const double uploadTrailing = uploadToProfileWidth->isActive()
                                    ? profileX + uploadToProfileWidth->constant()
                                    : accountX + uploadToSignupWidth->constant();
  uploadButtonShadowView.lock()->setFrame(NSMakeRect(uploadTrailing - uploadWidth, buttonY, uploadWidth, buttonHeight));
  uploadButton.lock()->setFrame(NSMakeRect(0, 0, uploadWidth, buttonHeight));
}

// --- Life cycle

void RootViewController::awakeFromNib() {
  NSViewController::awakeFromNib();
  auto me = self();
  auto search = searchViewController();
  search->delegate = me;
  search->tapDelegate = me;
  search->touchBarDelegate = me;
  search->usernameClickDelegate = me;
  search->scrollDelegate = me;
  loginSignupViewController()->setDelegate(me);
  configureUserAuthenticationButton();
  configureSearchField();

  auto content = contentContainer.lock();
  contentCollectionView->view()->setFrame(content->bounds());
  content->addSubview(contentCollectionView->view());
  contentCollectionView->delegate = me;
  auto featured = VNTagRequester::reactionsRequester();
  featured->resultsAspectRatio = Constants::featuredTagsAspectRatio;
  contentCollectionView->requester = featured;
  contentCollectionView->reload();

  auto focused = focusedSearchController();
  auto strip = trendingSearchesContainer.lock();
  focused->view()->setFrame(strip->bounds());
  strip->addSubview(focused->view());
  focused->delegate = me;

  autosuggestCollectionViewController->delegate = me;
  auto list = autosuggestCollectionViewController->view();
  NSRect listFrame = list->frame();
  listFrame.size.height = 0;
  list->setFrame(listFrame);
  view()->addSubview(list);
  repositionAutosuggestController();

  auto bar = searchTextFieldContainer.lock();
  searchBackgroundGradient->setFrame(bar->bounds());
  searchBackgroundGradient->colors = {NSColorPalette::searchBarGradientColorLeft()->CGColor(),
                                      NSColorPalette::searchBarGradientColorRight()->CGColor()};
  searchBackgroundGradient->startPoint = NSMakePoint(0.0, 0.5);
  searchBackgroundGradient->endPoint = NSMakePoint(1.0, 0.5);
  bar->setWantsLayer(true);
  bar->layer()->insertSublayer(searchBackgroundGradient, 0);

  configureToolbarForLoginState(QuorbUser::authToken().has_value());
  NSNotificationCenter::defaultCenter()->addObserver(me, &RootViewController::loginStateChanged,
                                                     QuorbUser::Constants::loginStateChanged, nullptr);
}

void RootViewController::viewDidLoad() {
  NSViewController::viewDidLoad();
  std::weak_ptr<RootViewController> weak = self();
  auto emoji = VNTagRequester::emojiRequester();
  emoji->fetchWithCallback([weak, emoji](bool success, std::optional<VNRequester::Content> content) {
    if (!success || !content) return;
    std::vector<std::shared_ptr<VNTag>> tags;
    for (const auto& item : *content) {
      auto tag = asA<VNTag>(item);
      if (!tag) return;  // not a list of tags: the previous list stays
      tags.push_back(tag);
    }
    DispatchQueue::main()->async([weak, tags = std::move(tags)]() mutable {
      auto strong = weak.lock();
      if (!strong) return;
      auto favorites = VNMockTag::initWithNewApiData({});
      favorites->mockTag = std::string(Constants::favoritesMockTag);
      tags.insert(tags.begin(), favorites);
      strong->emojiList = std::move(tags);
      strong->reloadScrubberWithIdentifier(GlobalKeys::touchBarEmojiScrubberIdentifier());
    });
  });
}

void RootViewController::viewWillLayout() {
  NSViewController::viewWillLayout();
  auto clamp = [](NSLayoutConstraint& constraint, double low, double high) {
    const double value = std::clamp(constraint.constant(), low, high);
    if (value != constraint.constant()) constraint.setConstant(value);
  };
  if (auto toolbar = topToolbarConstraint.lock())
    clamp(*toolbar, Constants::toolbarHiddenOffset, Constants::toolbarShownOffset);
  if (auto strip = trendingSearchesContainerTopConstraint.lock())
    clamp(*strip, Constants::trendingHiddenOffset, Constants::trendingShownOffset);
}

void RootViewController::viewDidLayout() {
  NSViewController::viewDidLayout();
  contentCollectionView->view()->setFrame(contentContainer.lock()->bounds());
  searchBackgroundGradient->setFrame(searchTextFieldContainer.lock()->bounds());
  if (state == DisplayState::search) searchViewController()->view()->setFrame(contentContainer.lock()->bounds());
  // The list is placed from the frames just laid out: placed from those the last pass left
  // (a scroll moves the toolbar before its layout), it would lie over the field.
  repositionAutosuggestController();
}

void RootViewController::viewDidAppear() {
  if (auto field = searchTextField.lock()) setCursorColor(*field, NSColor::whiteColor());
  focusedSearchController()->restore();
  if (state == DisplayState::home) {
    contentCollectionView->restore();
    homeGridUnloaded_ = false;
  }
  if (state == DisplayState::search) searchViewController()->restore();
  if (state == DisplayState::profile) profilePacksController()->restore();
  NSViewController::viewDidAppear();
}

void RootViewController::viewDidDisappear() {
  contentCollectionView->unload();
  homeGridUnloaded_ = true;
  focusedSearchController()->unload();
  if (state == DisplayState::search) searchViewController()->unload();
  if (state == DisplayState::profile) profilePacksController()->unload();
  NSViewController::viewDidDisappear();
}

void RootViewController::keyUp(const std::shared_ptr<NSEvent>& event) {
  switch (event->keyCode()) {
    case NSKeyCode::downArrow: autosuggestCollectionViewController->arrowPressedWithUp(false); return;
    case NSKeyCode::upArrow: autosuggestCollectionViewController->arrowPressedWithUp(true); return;
    case NSKeyCode::escape: break;
    default: return;
  }
  emptyAutosuggestList();
  // Escape leaves a search as the back button does: the session ends and home comes back
  // whole, whatever the results had slid away.
  if (state == DisplayState::search) didTapBackWithSender(nullptr);
}

// --- Display states

void RootViewController::setDisplayState(DisplayState newState) {
  auto search = searchViewController();
  auto focused = focusedSearchController();
  focused->view()->removeFromSuperview();
  contentCollectionView->view()->removeFromSuperview();
  search->view()->removeFromSuperview();
  profilePacksController()->view()->removeFromSuperview();
  // Left shown but empty, the profile's container would take the clicks meant for the
  // content under it.
  if (newState != DisplayState::profile) hideProfilePacks();
  hideBackButton();
  // Every screen begins with the whole toolbar in view, however far the grid left behind
  // had slid it away: its buttons are the way on.
  topToolbarConstraint.lock()->setConstant(Constants::toolbarShownOffset);
  switch (newState) {
    case DisplayState::search: {
      trendingSearchesContainer.lock()->addSubview(focused->view());
      auto content = contentContainer.lock();
      if (search->view()->frame() != content->bounds()) search->view()->setFrame(content->bounds());
      content->addSubview(search->view());
      if (auto toggle = profileButton.lock()) toggle->setState(NSControlStateValueOff);
      showBackButton();
      break;
    }
    case DisplayState::profile:
      showProfilePacks();
      break;
    case DisplayState::home:
      // Home begins with its strip in view too: a short home grid may not scroll far enough
      // to bring it back.
      trendingSearchesContainerTopConstraint.lock()->setConstant(Constants::trendingShownOffset);
      showHomeElements();
      resetFocusedSearchToTrending();
      showInSearchField("");
      search->contentCollectionView->reset();
      if (auto toggle = profileButton.lock()) toggle->setState(NSControlStateValueOff);
      break;
  }
}

void RootViewController::setTouchBarState(TouchBarState newState) {
  touchBarState_ = newState;
  applyTouchBarState();
}

void RootViewController::showHomeElements() {
  contentContainer.lock()->addSubview(contentCollectionView->view());
  trendingSearchesContainer.lock()->addSubview(focusedSearchController()->view());
  // Unloaded while the panel was away in another state: its tiles would stay on their
  // placeholders until the panel next came back.
  if (std::exchange(homeGridUnloaded_, false)) contentCollectionView->restore();
}

void RootViewController::hideHomeElements() {
  contentCollectionView->view()->removeFromSuperview();
  focusedSearchController()->view()->removeFromSuperview();
}

void RootViewController::resetFocusedSearchToTrending() {
  // The strip loads itself when its term changes while its view is loaded.
  focusedSearchController()->setCurrentSearchTerm(std::nullopt);
}

void RootViewController::showBackButton() {
  backButtonLeadingConstraint.lock()->setConstant(backLeading);
  backButtonWidthConstraint.lock()->setConstant(backWidth);
  std::weak_ptr<RootViewController> weak = self();
  DispatchQueue::main()->async([weak] {
    if (auto strong = weak.lock()) strong->repositionAutosuggestController();
  });
}

void RootViewController::hideBackButton() {
  backButtonLeadingConstraint.lock()->setConstant(0);
  backButtonWidthConstraint.lock()->setConstant(0);
  std::weak_ptr<RootViewController> weak = self();
  DispatchQueue::main()->async([weak] {
    if (auto strong = weak.lock()) strong->repositionAutosuggestController();
  });
}

void RootViewController::repositionAutosuggestController() {
  auto list = autosuggestCollectionViewController->view();
  auto field = searchTextField.lock();
  auto fieldShadow = textFieldShadowView.lock();
  auto bar = searchTextFieldContainer.lock();
  if (!field || !fieldShadow || !bar) return;
  NSRect frame = list->frame();
  frame.size.width = field->frame().size.width;
  frame.origin.x = fieldShadow->frame().origin.x;
  frame.origin.y = bar->frame().origin.y + 11 - frame.size.height;
  list->setFrame(frame);
}

void RootViewController::emptyAutosuggestList() {
  // The list's own emptying also drops its selection, which Return would otherwise search.
  autosuggestCollectionViewController->hide();
}

bool RootViewController::isTrendingStreamFullyVisible() {
  return focusedSearchController()->currentMode == FocusedSearchViewController::Mode::trendingGifs &&
         trendingSearchesContainerTopConstraint.lock()->constant() == Constants::trendingShownOffset;
}

// --- Toolbar

void RootViewController::configureToolbarForLoginState(bool loggedIn) {
  uploadToSignupWidth->setActive(!loggedIn);
  uploadToProfileWidth->setActive(loggedIn);
  // The account button goes with the view that carries its shadow, which would otherwise
  // still lie over the upload button's right side and take its presses.
  userAuthenticationButton.lock()->setHidden(loggedIn);
  userAuthenticationButtonShadowView.lock()->setHidden(loggedIn);
  profileButton.lock()->setHidden(!loggedIn);
}

void RootViewController::refreshToolbarForLoginState() {
  configureToolbarForLoginState(QuorbUser::authToken().has_value());
}

void RootViewController::loginStateChanged(const std::shared_ptr<NSNotification>& /*notification*/) {
  std::weak_ptr<RootViewController> weak = self();
  DispatchQueue::main()->async([weak] {
    if (auto strong = weak.lock()) {
      strong->refreshToolbarForLoginState();
      strong->leaveFormerAccountsScreens();
    }
  });
}

void RootViewController::didTapZoltoLogo(const std::shared_ptr<NSObject>& /*sender*/) {
  state = DisplayState::home;
  setDisplayState(DisplayState::home);
  setTouchBarState(TouchBarState::home);
}

void RootViewController::didTapBackWithSender(const std::shared_ptr<NSObject>& /*sender*/) {
  state = DisplayState::home;
  setDisplayState(DisplayState::home);
  resetFocusedSearchToTrending();
  emptyAutosuggestList();
  showInSearchField("");
  setTouchBarState(TouchBarState::home);
  clearSearchAnalytics();
  trendingSearchesContainerTopConstraint.lock()->setConstant(Constants::trendingShownOffset);
  topToolbarConstraint.lock()->setConstant(Constants::toolbarShownOffset);
}

void RootViewController::didTapProfileWithSender(const std::shared_ptr<NSObject>& /*sender*/) {
  if (profileButton.lock()->state() == NSControlStateValueOn) {
    state = DisplayState::profile;
    setDisplayState(DisplayState::profile);
  } else {
    state = DisplayState::home;
    setDisplayState(DisplayState::home);
    setTouchBarState(TouchBarState::home);
  }
}

void RootViewController::didTapUpload(const std::shared_ptr<NSObject>& /*sender*/) {
  if (QuorbUser::authToken()) {
    showUploadWithContent(std::nullopt);
  } else {
    showLogin();
  }
}

void RootViewController::userAuthenticationButtonPressed(const std::shared_ptr<NSObject>& /*sender*/) {
  if (!QuorbUser::authToken()) showLogin();
}
