#pragma once
// The whole content of the popover: the toolbar with the search field, the home grid of
// featured tags, the trending strip, the search results and the overlays, switched between
// the display states home, search and profile. The panel runs every search of the
// application and keeps the search-analytics context sent with its search and share events.
// Built in code; main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "account/screens/LoginSignupViewController.h"
#include "account/screens/TermsOfServiceViewController.h"
#include "app/LicensesViewController.h"
#include "app/LicensesViewControllerDelegate.h"
#include "browse/AnalyticsDelegate.h"
#include "browse/AutosuggestCollectionViewController.h"
#include "browse/FocusedSearchViewController.h"
#include "browse/GifCollectionViewController.h"
#include "browse/SearchViewController.h"
#include "browse/TouchBarUpdater.h"
#include "browse/UsernameClickDelegate.h"
#include "collections/CreateCollectionViewController.h"
#include "collections/UploadViewController.h"
#include "collections/screens/CollectionCreationRequestHandler.h"
#include "collections/screens/ProfilePacksViewController.h"
#include "model/VNTag.h"
#include "model/VornObject.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSScrubberLayout.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTouchBar.h"
#include "platform/appkit/NSViewController.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CAGradientLayer.h"
#include "service/PlovexAnalytics.h"

class Collection;
class QLXButton;
class RunLoopTimerToken;
class NSMenu;
class NSNotification;

class RootViewController : public NSViewController,
                           public GifCollectionViewControllerDelegate,
                           public NSTextFieldDelegate,
                           public AnalyticsDelegate,
                           public UsernameClickDelegate,
                           public TouchBarUpdater,
                           public SearchViewControllerDelegate,
                           public AutosuggestCollectionViewControllerDelegate,
                           public FocusedSearchViewControllerDelegate,
                           public LoginSignupViewControllerDelegate,
                           public UploadViewControllerDelegate,
                           public CreateCollectionViewControllerDelegate,
                           public CollectionCreationRequestHandler,
                           public LicensesViewControllerDelegate,
                           public TermsOfServiceViewControllerDelegate,
                           public NSTouchBarDelegate,
                           public NSScrubberDataSource,
                           public NSScrubberFlowLayoutDelegate {
 public:
  enum class DisplayState { home = 0, search = 1, profile = 2 };
  enum class TouchBarState { home = 0, stream = 1 };

  struct Constants {
    static constexpr std::string_view uploadButtonTitle = "UPLOAD";
    static constexpr std::string_view accountButtonTitle = "SIGN UP / LOG IN";
    static constexpr std::string_view searchPlaceholder = "Search Zolto";
    static constexpr double telescopingStripHeight = 80.0;
    static constexpr std::string_view textMovementKey = "NSTextMovement";
    static constexpr NSSize shadowOffset{0.0, -2.0};
    static constexpr double shadowBlurRadius = 2.0;
    static constexpr std::string_view buttonTitleFontName = "AvenirNext-DemiBold";
    static constexpr double buttonTitleFontSize = 13.0;
    static constexpr std::string_view searchFontName = "AvenirNext-Bold";
    static constexpr double searchFontSize = 18.0;
    static constexpr std::string_view scrubberTextItemIdentifier = "label";
    static constexpr std::string_view scrubberGifItemIdentifier = "gif";
    static constexpr double featuredTagsAspectRatio = 47.0 / 27.0;
    static constexpr double scrubberItemSize = 50.0;
    static constexpr double scrubberItemSpacing = 4.0;
    // Where the collapsible toolbar and trending strip may sit.
    static constexpr double toolbarHiddenOffset = -50.0;
    static constexpr double toolbarShownOffset = 0.0;
    static constexpr double trendingHiddenOffset = -85.0;
    static constexpr double trendingShownOffset = 5.0;
    // The autosuggest list's rows.
    static constexpr double autosuggestRowHeight = 65.0;
    static constexpr std::size_t autosuggestMaxRows = 5;
    // Analytics.
    static constexpr std::string_view textsearchEvent = "textsearch";
    static constexpr std::string_view shareEvent = "share";
    static constexpr std::string_view trendingCategory = "trending";
    static constexpr std::string_view searchCategoryValue = "search";
    static constexpr std::string_view reactionsCategory = "reactions";
    static constexpr std::string_view trendingSearchesCategory = "trendingsearches";
    static constexpr std::string_view qwertyAction = "qwerty";
    static constexpr std::string_view autosuggestAction = "autosuggest";
    static constexpr std::string_view didYouMeanAction = "didyoumean_stream";
    static constexpr std::string_view telescopingAction = "telescoping";
    static constexpr std::string_view favoritesMockTag = "favorites";
    static constexpr std::string_view tosSplashEvent = "tos_splash_screen";
    static constexpr std::string_view termsOfServiceDismissalKey = "termsOfServiceDismissal";
    static constexpr std::string_view termsOfServiceShownKey = "termsOfServiceShown";
    static constexpr std::string_view savedPackName = "Saved";
    static constexpr double overlayFade = 0.25;
    static constexpr double createPackFadeIn = 0.4;
    static constexpr long returnTextMovement = 16;
    // The web pages of the settings menu ("Privacy and Terms" opens the legal terms that the
    // terms-of-service and sign-up screens link, legalTermsUrl).
    static constexpr std::string_view downloadAppAddress = "https://zolto.example/app";
    static constexpr std::string_view aboutAddress = "https://zolto.example/";
  };

  // The panel's size when the popover shows it.
  static constexpr NSSize panelSize{400.0, 600.0};

  static std::shared_ptr<RootViewController> init();
  // Makes and measures the fonts the panel's toolbar and search field are drawn in, so that
  // building the panel finds them made (each costs a font lookup and a measurement).
  static void prepareFonts();

  // Outlets, set when the view is built.
  std::weak_ptr<NSView> contentContainer;
  std::weak_ptr<NSLayoutConstraint> telescopingHeight;
  std::weak_ptr<NSLayoutConstraint> trendingSearchesContainerTopConstraint;
  std::weak_ptr<NSView> trendingSearchesContainer;
  std::weak_ptr<NSLayoutConstraint> topToolbarConstraint;
  std::weak_ptr<NSView> topToolbarContainer;
  std::weak_ptr<QLXButton> uploadButton;
  std::weak_ptr<NSView> uploadButtonShadowView;
  std::weak_ptr<NSView> userAuthenticationButtonShadowView;
  std::weak_ptr<NSLayoutConstraint> userAuthenticationButtonWidth;
  std::weak_ptr<QLXButton> userAuthenticationButton;
  std::weak_ptr<NSTextField> searchTextField;
  std::weak_ptr<NSView> textFieldShadowView;
  std::weak_ptr<NSView> searchTextFieldContainer;
  std::weak_ptr<NSLayoutConstraint> backButtonWidthConstraint;
  std::weak_ptr<NSLayoutConstraint> backButtonLeadingConstraint;
  std::weak_ptr<NSButton> profileButton;
  std::shared_ptr<NSLayoutConstraint> uploadToSignupWidth;
  std::shared_ptr<NSLayoutConstraint> uploadToProfileWidth;
  std::weak_ptr<NSView> profileContentContainer;
  // Buttons without a named outlet, kept for the simulator and the layout pass.
  std::weak_ptr<NSButton> logoButton;
  std::weak_ptr<NSButton> backButton;
  std::weak_ptr<NSButton> moreButton;

  // Children: made with the panel, or on first read and then kept.
  std::shared_ptr<GifCollectionViewController> contentCollectionView;
  std::shared_ptr<AutosuggestCollectionViewController> autosuggestCollectionViewController;
  std::shared_ptr<SearchViewController> searchViewController();
  std::shared_ptr<FocusedSearchViewController> focusedSearchController();
  std::shared_ptr<ProfilePacksViewController> profilePacksController();
  std::shared_ptr<LoginSignupViewController> loginSignupViewController();
  std::shared_ptr<UploadViewController> uploadViewController();
  std::shared_ptr<LicensesViewController> licensesViewController();
  std::shared_ptr<CreateCollectionViewController> createCollectionController();
  // The screen that asked for the create-pack form; it may be gone by the time a pack exists.
  std::weak_ptr<CollectionCreationCompletionHandler> collectionCompletionHandler;
  // Made anew for each presentation and cleared once dismissed.
  std::shared_ptr<TermsOfServiceViewController> termsOfServiceViewController;
  std::shared_ptr<CAGradientLayer> searchBackgroundGradient;

  std::vector<std::shared_ptr<VNTag>> emojiList;
  std::vector<std::shared_ptr<VornObject>> searchContentProxy;
  DisplayState state = DisplayState::home;

  // Search analytics.
  std::optional<std::string> sourceSearchTerm;
  std::optional<std::string> firstSearchTerm;
  std::optional<std::string> secondSearchTerm;
  std::optional<std::string> searchCategory;
  std::optional<std::string> searchAction;

  TouchBarState touchBarState() const { return touchBarState_; }
  void setTouchBarState(TouchBarState state);

  // View life cycle.
  void loadView() override;
  void awakeFromNib() override;
  void viewDidLoad() override;
  void viewWillLayout() override;
  void viewDidLayout() override;
  void viewDidAppear() override;
  void viewDidDisappear() override;
  void keyUp(const std::shared_ptr<NSEvent>& event) override;

  // Display states and toolbar.
  void setDisplayState(DisplayState state);
  void showHomeElements();
  void hideHomeElements();
  void showBackButton();
  void hideBackButton();
  void repositionAutosuggestController();
  void configureToolbarForLoginState(bool loggedIn);
  void refreshToolbarForLoginState();
  bool isTrendingStreamFullyVisible();

  // Overlays: each lies over the whole panel while the current state's grids stand still.
  bool isPresentingLoginInterface();
  bool isPresentingUploadInterface();
  bool isPresentingCreatePackInterface();
  bool isPresentingTermsOfServiceInterface();
  void showLogin();
  void dismissLoginInterface();
  void showUploadWithContent(const std::optional<std::vector<std::shared_ptr<VornObject>>>& content);
  void removeUploadController();
  void requestCollectionCreation(const std::shared_ptr<CollectionCreationCompletionHandler>& handler) override;
  void collectionCreationSuccess() override;
  void collectionCreationCancelled() override;
  void presentTermsOfService(TermsOfServiceViewController::PresentationLayout layout);
  void dismissTermsOfService();
  void showLicenses();
  void dismissLicenses();
  void updateScrollingForDisplayState(DisplayState state, bool enabled);
  // Gives the keys to the screen on top: an overlay's first field (nothing beneath it while
  // it has none), otherwise the search field. A field of the top screen that has them keeps them.
  void focusPanelKeyboard();
  // The profile's packs fill their container in the profile state (not an overlay).
  void showProfilePacks();
  void hideProfilePacks();

  // Toolbar and search-field styling.
  void configureUserAuthenticationButton();
  void configureSearchField();

  // Button actions.
  void didTapBackWithSender(const std::shared_ptr<NSObject>& sender);
  void didTapZoltoLogo(const std::shared_ptr<NSObject>& sender);
  void didTapProfileWithSender(const std::shared_ptr<NSObject>& sender);
  void didTapUpload(const std::shared_ptr<NSObject>& sender);
  void userAuthenticationButtonPressed(const std::shared_ptr<NSObject>& sender);

  // Searches: every search of the application goes through these two.
  void performSearchWithTerm(const std::string& term, bool setSourceSearchTerm);
  void performSearchWithTag(const std::shared_ptr<VNTag>& tag, bool setSourceSearchTerm);
  // The search field.
  void controlTextDidChange(const std::shared_ptr<NSNotification>& notification) override;
  void controlTextDidEndEditing(const std::shared_ptr<NSNotification>& notification) override;

  // The autosuggest list.
  void didSelectTermWithTerm(const std::string& term) override;
  void selectedTermChangedWithSelectedTerm(const std::string& term) override;

  // Search analytics.
  PlovexAnalytics::EventData constructSearchAnalyticsParameters() const;
  void clearSearchAnalytics();
  StringDictionary requestSearchAnalytics() override { return constructSearchAnalyticsParameters(); }
  void logVornShare(const std::shared_ptr<VornObject>& vorn);
  void logAdShareWithPromotedVorn(const std::shared_ptr<VornObject>& vorn);

  // Responses to the grids.
  void cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) override;
  void gifCollectionScrollViewDidScroll(const std::shared_ptr<GifCollectionScrollView>& scrollView,
                                        double previousVerticalOffset, double currentVerticalOffset) override;
  void usernameTapped(const std::string& username) override;
  void loginRequested() override;
  void didRequestLogin() override { loginRequested(); }
  // The trending strip.
  void focusCellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) override;
  void focusCellDragged(const std::shared_ptr<VornObject>& vorn) override;
  void didLoadResultsWithResultsEmpty(bool resultsEmpty) override;
  bool shouldTrackPromotedTrendingContent() override;
  void authenticationDidCancel() override;
  void authenticationDidFinish() override;
  void didTapCancel() override { removeUploadController(); }
  void didComplete() override { removeUploadController(); }
  void licensesInterfaceDidRequestClose() override { dismissLicenses(); }
  void didAcceptTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) override;
  void didDeclineTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) override;
  void didDismissTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) override;
  void loginStateChanged(const std::shared_ptr<NSNotification>& notification);
  void didTapUsernameLabel(const std::string& username) override { usernameTapped(username); }

  // What the stream screens fetched, for the Touch Bar.
  void fetchedContent(const VNRequester::Content& content) override;
  void clearScrubber() override;

  // The Touch Bar: the emoji scrubber at home, the GIF scrubber in a stream (RootTouchBar.cpp).
  struct TouchBarConstants {
    static constexpr std::string_view confirmationText = "Copied! Press \u2318+V to paste!";
    static constexpr double confirmationTime = 2.0;
    static constexpr std::string_view gifTapEvent = "touchbar_gif_tap";
    static constexpr std::string_view favoriteTapEvent = "touchbar_favorite_tap";
    static constexpr std::string_view emojiTapEvent = "touchbar_emoji_tap";
    static constexpr std::string_view tagKey = "tag";
  };
  std::shared_ptr<NSTouchBar> makeTouchBar() override;
  std::shared_ptr<NSTouchBarItem> touchBarMakeItemForIdentifier(const std::shared_ptr<NSTouchBar>& touchBar,
                                                                const std::string& identifier) override;
  std::shared_ptr<NSScrubber> getScrubberWithIdentifier(const std::string& identifier);
  void reloadScrubberWithIdentifier(const std::string& identifier);
  // None: the scrubber of the display state.
  void loadScrubberWithIdentifier(const std::optional<std::string>& identifier);
  void resetScrubber();
  void loadCollectionInScrubberWithCollection(const std::shared_ptr<Collection>& collection);
  std::size_t numberOfItemsForScrubber(const std::shared_ptr<NSScrubber>& scrubber) override;
  std::shared_ptr<NSScrubberItemView> scrubberViewForItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber,
                                                                 std::size_t index) override;
  void scrubberDidSelectItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber, std::size_t index) override;
  NSSize scrubberLayoutSizeForItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber,
                                          const std::shared_ptr<NSScrubberLayout>& layout, std::size_t index) override;

  // The settings menu and its items' actions.
  std::shared_ptr<NSMenu> settingsMenu() const;
  void didTapMore(const std::shared_ptr<NSObject>& sender);
  void checkUpdatesSelected();
  void preferencesSelected();
  void downloadZDSelected();
  void aboutSelected();
  void privacyAndTermsSelected();
  void licensesSelected();
  void logOutSelected();
  void quitSelected();
  // After any change of user (log-out, log-in, sign-up, a refresh that logs out): nothing the
  // former account saw stays on screen. Run with the toolbar's refresh on the notification.
  void leaveFormerAccountsScreens();
  // Leaves the profile for home, as Log Out does.
  void goHomeFromProfile();
  bool respondsToCommand(std::string_view selector) const override;
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) override;

  ~RootViewController() override = default;
  GLIMDECK_OBJECT(RootViewController)

 private:
  RootViewController();
  // Places the panel's views from the constraint constants (nothing solves constraints here).
  void layoutPanel();
  // The steps every search shares once the search screen has its stream.
  void beginSearchSession(const std::string& term, bool setSourceSearchTerm);
  // The search field shows the text (the term searched, empty at home), the caret after it.
  void showInSearchField(const std::string& text);
  // The results take the home grid's place in the content area.
  void moveResultsIntoPlace();
  void showCopyConfirmation(const std::shared_ptr<GifCell>& cell);
  // Moves a constraint's constant by delta within [low, high], writing only a change.
  static void clampedMove(NSLayoutConstraint& constraint, double delta, double low, double high);
  std::shared_ptr<RootViewController> self() { return sharedAs<RootViewController>(); }

  // Empties the autosuggest list, keeping its upper edge where it is.
  void emptyAutosuggestList();

  // An overlay's view over the whole panel, faded in; faded out and taken away again.
  void layOver(NSViewController& overlay, double fadeIn);
  void fadeOutAndRemove(const std::shared_ptr<NSViewController>& overlay);
  // The keyboard follows the overlays: one laid over the panel takes the keys from the
  // control it covers; once it has gone, the panel's own screen has them back.
  void takeKeyboardFor(const std::shared_ptr<NSView>& overlay);
  void overlayLeaving(const std::shared_ptr<NSView>& overlay);
  // focusPanelKeyboard, unless a control has the keys already (one the user focused meanwhile).
  void focusPanelKeyboardUnlessTaken();
  // The overlay on top that is not on its way out, if any.
  std::shared_ptr<NSView> coveringOverlay();
  // The overlays shown and not on their way out, in the order they were laid over the panel.
  std::vector<std::weak_ptr<NSView>> coveringOverlays_;

  // A suggestion narrows the current search without a new session.
  void telescopeWithUnit(const TelescopeUnit& unit);
  // The strip back to the trending GIFs.
  void resetFocusedSearchToTrending();

  std::shared_ptr<SearchViewController> searchViewController_;
  std::shared_ptr<FocusedSearchViewController> focusedSearchController_;
  std::shared_ptr<ProfilePacksViewController> profilePacksController_;
  std::shared_ptr<LoginSignupViewController> loginSignupViewController_;
  std::shared_ptr<UploadViewController> uploadViewController_;
  std::shared_ptr<LicensesViewController> licensesViewController_;
  std::shared_ptr<CreateCollectionViewController> createCollectionController_;
  // Closes the create-pack form and lets the grids scroll again once it has gone.
  void closeCreatePackForm();
  TouchBarState touchBarState_ = TouchBarState::home;
  // The home grid gives its tiles' media back whenever the panel goes away, but gets them
  // again only when the panel comes back at home: set while it waits to be restored.
  bool homeGridUnloaded_ = false;
  // Shows the scrubber of a new Touch Bar state.
  void applyTouchBarState();
  // The return from the copy confirmation to the scrubber, while it is pending.
  std::shared_ptr<RunLoopTimerToken> pendingScrubberLoad_;
  // Empties the GIF scrubber's content for a new stream; a reply to an earlier one is dropped.
  void clearScrubberContent();
  std::uint64_t scrubberStream_ = 0;
};
