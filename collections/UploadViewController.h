#pragma once
// The upload overlay of the panel: a signed-in user stages GIF files, dropped GIFs and GIF
// links, tags each one and uploads them into Saved. Staging makes an UploadUnit per GIF;
// Upload goes only when every staged GIF's tag field holds text, logs two events per GIF and
// appends a copy with its tags and poster to the destination collection, whose
// synchronisation sends it to the service. The owner removes the overlay when told.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "collections/Collection.h"
#include "collections/UploadDragView.h"
#include "collections/UploadIntake.h"
#include "collections/UploadTaggerCell.h"
#include "collections/UploadUnit.h"
#include "platform/appkit/NSCollectionViewFlowLayout.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSViewController.h"

class NSCollectionView;
class NSURL;
class QLXButton;

class UploadViewControllerDelegate {
 public:
  virtual ~UploadViewControllerDelegate() = default;
  virtual void didTapCancel() = 0;
  virtual void didComplete() = 0;
};

class UploadViewController : public NSViewController,
                             public UploadDragViewDelegate,
                             public UploadTaggerCellDelegate,
                             public NSTextFieldDelegate,
                             public NSCollectionViewDataSource,
                             public NSCollectionViewDelegateFlowLayout {
 public:
  enum class URLInputState { standard, success, error };

  struct Constants {
    static constexpr std::string_view title = "Upload";
    static constexpr std::string_view titleFont = "AvenirNext-Bold";
    static constexpr double titleSize = 25.0;
    static constexpr std::string_view subtitle =
        "Paste URL of GIF, drag and drop GIFs, or select GIF files from your Desktop ";
    static constexpr std::string_view regularFont = "AvenirNext-Regular";
    static constexpr double regularSize = 15.0;
    static constexpr std::string_view urlPlaceholder = "Paste URL";
    static constexpr std::string_view browseTitle = "BROWSE DESKTOP";
    static constexpr std::string_view browseFont = "AvenirNext-DemiBold";
    static constexpr double browseSize = 15.0;
    static constexpr std::string_view uploadTitle = "UPLOAD";
    static constexpr std::string_view doneTitle = "DONE";
    static constexpr std::string_view backTitle = "Back";
    static constexpr std::string_view errorText = "Add tags to every GIF before uploading";
    static constexpr std::string_view successText = "Your GIFs are on their way to Saved";
    // When the service took only some of them, or none: the others wait in Saved.
    static constexpr std::string_view partialSuccessText = " GIFs uploaded; the rest will follow";
    static constexpr std::string_view failedText = "Not uploaded yet: they will be sent again later";
    // A typed or pasted address longer than InputLimits::url.
    static constexpr std::string_view addressTooLongText = "Addresses can be at most 2,048 characters.";
    static constexpr double messageSize = 13.0;
    static constexpr std::string_view destinationPackName = "Saved";
    static constexpr std::string_view cellIdentifier = "uploadCell";
    static constexpr std::string_view gifFileType = "gif";
    static constexpr std::string_view gifSuffix = "gif";
    static constexpr std::string_view uploadEvent = "upload";
    static constexpr std::string_view collectEvent = "collect";
    static constexpr std::string_view uploadFlowCategory = "upload_flow";
    static constexpr std::string_view embedid = "embedid";
    static constexpr double rowHeight = 80.0;
    static constexpr double borderWidth = 1.0;
    static constexpr double cardCornerRadius = 2.0;
    static constexpr double buttonCornerRadius = 3.0;
    static constexpr double readyAlpha = 1.0;
    static constexpr double notReadyAlpha = 0.3;
    static constexpr double errorShownSeconds = 2.0;
  };

  static std::shared_ptr<UploadViewController> init() { return create(); }

  // Outlets (weak unless the screen keeps the view out of the tree at times).
  std::weak_ptr<NSView> containerView;
  std::weak_ptr<NSView> containerShadowView;
  std::weak_ptr<NSView> taggingContainer;
  std::weak_ptr<NSTextField> titleLabel;
  std::weak_ptr<NSTextField> subtitleLabel;
  std::weak_ptr<NSTextField> errorLabel;
  std::weak_ptr<NSTextField> filenameTextInput;
  std::weak_ptr<QLXButton> browseButton;
  std::weak_ptr<NSView> browseButtonShadowView;
  std::shared_ptr<NSView> taggingView;
  std::weak_ptr<NSCollectionView> stagedUploadsCollectionView;
  std::weak_ptr<QLXButton> uploadButton;
  std::weak_ptr<UploadDragView> dragContainer;
  std::weak_ptr<NSView> successContainer;
  std::shared_ptr<NSView> successView;
  std::weak_ptr<QLXButton> successDoneButton;
  std::weak_ptr<NSTextField> successLabel;
  std::weak_ptr<QLXButton> backButton;
  // In the instructions' place while it shows: why GIFs brought in were not taken, or why
  // an address was cut.
  std::weak_ptr<NSTextField> messageLabel;

  // Every assignment shows the tagging interface when it is hidden and something is staged.
  const std::vector<std::shared_ptr<UploadUnit>>& stagedUploads() const { return stagedUploads_; }
  void setStagedUploads(std::vector<std::shared_ptr<UploadUnit>> units);
  // Appends units and adds their rows to the staged list, leaving the rows it shows as they
  // are: a batch costs the same however many GIFs are staged already.
  void appendStagedUploads(const std::vector<std::shared_ptr<UploadUnit>>& units);
  // Per unit (by identity): whether its tag field holds text.
  std::map<std::shared_ptr<UploadUnit>, bool> stagedUploadsTaggingMap;
  bool readyToUpload() const { return readyToUpload_; }
  void setReadyToUpload(bool ready);
  std::weak_ptr<UploadViewControllerDelegate> delegate;

  void loadView() override;
  void awakeFromNib() override;

  void showTaggingInterfaceIfNeeded();
  void showTaggingInterface();
  void configureUploadButtonWithEnabled(bool enabled);
  void showSuccess();
  void triggerUploadErrorWithShow(bool show);
  void reload();
  void resolveURLWithGifUrl(const std::shared_ptr<NSURL>& gifUrl);
  void searchDirectoriesForGif();
  // Ready while something is staged, not yet uploaded, and every staged GIF has a tag.
  void checkReadyToUpload();
  void uploadUnitsWithCallback(const std::function<void()>& callback);
  // `taken`, when given, hears on the main thread whether the service took the unit's GIF.
  void uploadUnitWithUnit(const std::shared_ptr<UploadUnit>& unit, Collection::TakenHandler taken = nullptr);
  void uploadWithVorn(const std::shared_ptr<VornObject>& vorn, const std::optional<std::vector<std::string>>& tags,
                      const std::string& collectionName, const std::optional<std::string>& uploadLinkKey,
                      Collection::TakenHandler taken = nullptr);
  void reset();
  URLInputState urlInputState() const { return urlInputState_; }

  void didTapBack(const std::shared_ptr<NSObject>& sender);
  void didTapBrowse(const std::shared_ptr<NSObject>& sender);
  void didTapUpload(const std::shared_ptr<NSObject>& sender);
  void didTapDone(const std::shared_ptr<NSObject>& sender);

  // The drop target.
  void didDragGifsWithVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) override;
  void didClickDragView() override {}
  void didRefuseDroppedItems(const std::vector<UploadIntake::Refusal>& refusals) override;
  void didRefuseDropWithNothingReadable() override;
  // The rows' tag fields.
  void editingBeganWithUnit(const std::shared_ptr<UploadUnit>& unit) override;
  void updateTagStateForUnit(const std::shared_ptr<UploadUnit>& unit, bool isTagged) override;
  // The URL field.
  void controlTextDidChange(const std::shared_ptr<NSNotification>& notification) override;
  bool control(const std::shared_ptr<NSControl>& control, const std::shared_ptr<NSTextView>& textView,
               std::string_view doCommandBySelector) override;
  void controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>& control, std::string_view string,
                                             std::string_view errorDescription) override;
  // The staged list.
  std::size_t numberOfItemsInSection(NSCollectionView& collectionView, std::size_t section) override;
  std::shared_ptr<NSCollectionViewItem> itemForRepresentedObjectAtIndexPath(NSCollectionView& collectionView,
                                                                            NSIndexPath indexPath) override;
  std::optional<NSSize> sizeForItemAtIndexPath(NSCollectionView& collectionView, NSCollectionViewLayout& layout,
                                               NSIndexPath indexPath) override;

  GLIMDECK_OBJECT(UploadViewController)

 private:
  UploadViewController() = default;
  void setURLInputState(URLInputState state);
  // Shows the message line's text (empty: nothing).
  void showMessage(const std::string& text);
  // Names what was refused in the message line: every file when they fit in it, else as many
  // of each reason as fit, the others counted.
  void showRefusals(const std::vector<UploadIntake::Refusal>& refusals);
  // Stages the items of the GIF folder, brought in from the source.
  void stageVorns(const std::vector<std::shared_ptr<VornObject>>& vorns, UploadUnit::SourceType source);
  void stageResolvedGif(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSURL>& gifUrl);
  void borderDropTarget(const std::shared_ptr<NSColor>& color);
  // Says how the upload went once the service has answered for every GIF.
  void showUploadResult(std::size_t taken, std::size_t total);

  std::vector<std::shared_ptr<UploadUnit>> stagedUploads_;
  bool readyToUpload_ = false;
  // Grows with every reset: an address still being fetched then belongs to a session the
  // user already left, and its reply must not stage into the next one.
  std::uint64_t session_ = 0;
  // The staged GIFs of this session went up: another Upload would send them twice.
  bool uploaded_ = false;
  URLInputState urlInputState_ = URLInputState::standard;
};
