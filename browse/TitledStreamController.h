#pragma once
// One collection's GIFs under its name, with a back button: Recents and the recorded
// collections from the local store, every other collection from its server stream, whose
// pages are merged into the stored collection as they arrive. A click copies a GIF; copies
// are reported as shares of the category "packs". Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "browse/GifCollectionViewController.h"
#include "browse/TouchBarUpdater.h"
#include "browse/UsernameClickDelegate.h"
#include "platform/appkit/NSViewController.h"
#include "service/VNStreamRequester.h"

class Collection;
class NSButton;
class NSTextField;

// Told once the screen has taken itself off screen.
class TitledStreamControllerDelegate {
 public:
  virtual ~TitledStreamControllerDelegate() = default;
  virtual void didTapBack() = 0;
};

class TitledStreamController : public NSViewController,
                               public GifCollectionViewControllerDelegate,
                               public VNRequesterCollectionDelegate {
 public:
  struct Constants {
    static constexpr std::string_view interfaceName = "TitledStreamController";
    static constexpr std::string_view category = "packs";
    static constexpr std::string_view backTitle = "Back";
  };

  static std::shared_ptr<TitledStreamController> initWithNibName(std::string nibName);
  static std::shared_ptr<TitledStreamController> make() { return initWithNibName({}); }

  std::weak_ptr<NSTextField> titleLabel;
  std::weak_ptr<NSView> contentContainer;
  const std::shared_ptr<GifCollectionViewController> contentCollectionView = GifCollectionViewController::init();
  std::weak_ptr<UsernameClickDelegate> usernameClickDelegate;
  std::weak_ptr<TitledStreamControllerDelegate> delegate;
  std::weak_ptr<TouchBarUpdater> touchBarDelegate;

  void viewDidLoad() override;
  // Shows the collection from scratch: nothing of the one shown before stays.
  void configureWithCollection(const std::shared_ptr<Collection>& collection);
  void didTapBack(const std::shared_ptr<NSObject>& sender);
  void unload();
  void restore();
  StringDictionary getAnalyticsParametersWithVorn(const std::shared_ptr<VornObject>& vorn) const;

  // The grid's reports.
  void cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) override;
  void usernameTapped(const std::string& username) override;
  void didRetrieveContentWithContent(const VNRequester::Content& content) override;
  void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type, const std::shared_ptr<VornObject>& vorn) override;
  // A page of a collection's stream, from the requester's queue.
  void didFetchWithContent(const VNRequester::Content& content, const std::string& collectionName) override;

  static void registerInterface();

  GLIMDECK_OBJECT(TitledStreamController)

 protected:
  using NSViewController::NSViewController;
};
