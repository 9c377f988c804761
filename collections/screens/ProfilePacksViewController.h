#pragma once
// The signed-in user's profile: two segments switch one embedded GIF grid between the
// user's uploaded GIFs (the service's stream of their posts) and their packs (the local
// collections), both in two columns. A tapped pack opens its stream over the panel with a
// way back; a tapped GIF is copied and confirmed on its tile; shares are logged.

#include <memory>
#include <string>
#include <string_view>

#include "browse/GifCollectionViewController.h"
#include "browse/TitledStreamController.h"
#include "browse/TouchBarUpdater.h"
#include "browse/UsernameClickDelegate.h"
#include "collections/screens/CollectionCreationRequestHandler.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSViewController.h"
#include "service/PlovexAnalytics.h"

class Collection;
class NSButton;
class NSTextField;
class QLXButton;

class ProfilePacksViewController : public NSViewController,
                                   public GifCollectionViewControllerDelegate,
                                   public CollectionCreationCompletionHandler,
                                   public TitledStreamControllerDelegate {
 public:
  enum class StreamState { uploads, packs, packStream };

  struct Constants {
    static constexpr std::string_view uploadsTitle = "UPLOADS";
    static constexpr std::string_view packsTitle = "PACKS";
    static constexpr std::string_view createPackTitle = "CREATE PACK";
    static constexpr std::string_view noContentText = "Nothing here yet";
    static constexpr std::string_view segmentFont = "AvenirNext-DemiBold";
    static constexpr double segmentFontSize = 14.0;
    static constexpr std::string_view category = "uploads";
    static constexpr std::string_view shareEvent = "share";
    static constexpr long columns = 2;
    static constexpr double confirmationSeconds = 3.0;
  };

  static std::shared_ptr<ProfilePacksViewController> init() { return create(); }

  std::weak_ptr<NSButton> uploadsSegmentButton;
  std::weak_ptr<NSButton> packsSegmentButton;
  std::weak_ptr<QLXButton> createCollectionButton;
  std::weak_ptr<NSView> contentContainer;
  std::weak_ptr<NSView> createPackButtonShadow;
  std::weak_ptr<NSTextField> noContentLabel;
  const std::shared_ptr<GifCollectionViewController> contentCollectionView = GifCollectionViewController::init();
  std::weak_ptr<CollectionCreationRequestHandler> collectionCreationDelegate;
  std::weak_ptr<UsernameClickDelegate> usernameClickDelegate;
  std::weak_ptr<TouchBarUpdater> touchBarDelegate;
  StreamState state = StreamState::uploads;

  // Made on first use.
  std::shared_ptr<TitledStreamController> titledController();

  void loadView() override;
  void viewDidLoad() override;
  void viewDidAppear() override;

  void loadContentForState(StreamState state);
  void loadUploadContentStream();
  void loadCollections();
  void showCollectionStreamWithCollection(const std::shared_ptr<Collection>& collection);
  void unload();
  void restore();
  // Back to the screen as it first opens: uploads chosen, no pack open, nothing listed (the
  // owner loads it when it next shows it). Whoever signs in next sees nothing the former
  // account saw here.
  void reset();
  void updateSegmentButtonTitles(StreamState state);

  void didTapUploads(const std::shared_ptr<NSObject>& sender);
  void didTapPacks(const std::shared_ptr<NSObject>& sender);
  void didTapCreatePack(const std::shared_ptr<NSObject>& sender);

  NSAttributes getStringAttributesForButton(const NSButton& button, bool isEnabled) const;
  PlovexAnalytics::EventData getAnalyticsParametersWithVorn(const std::shared_ptr<VornObject>& vorn) const;

  // The grid.
  void cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) override;
  void didRetrieveContentWithContent(const VNRequester::Content& content) override;
  void didRetrieveEmptyContentList() override;
  void usernameTapped(const std::string& username) override;
  void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type, const std::shared_ptr<VornObject>& vorn) override;
  // The owner's create-pack form, and the open pack's back button.
  void collectionCreated() override;
  void didTapBack() override;

  GLIMDECK_OBJECT(ProfilePacksViewController)

 private:
  ProfilePacksViewController() = default;
  // Moves to the state; answers whether it changed, after retitling and loading for it.
  bool enterState(StreamState next);
  void setTwoColumns();
  // The segments' list, put away (its tiles let go of their media) while a pack is open.
  void showList(bool shown);

  std::shared_ptr<TitledStreamController> titledController_;
};
