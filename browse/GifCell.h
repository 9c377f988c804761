#pragma once
// The tile of every GIF grid: a GIF (animated image or looping muted movie, with download
// progress, the poster's name, a hover heart and ellipsis menu, a sponsor badge and a short
// confirmation after a copy), or the title of a tag, pack or suggestion over a dark
// gradient. Its views come from the interface "GifCell"; the owning grid feeds it media and
// hears about clicks, drags, log-in needs and menu copies through GifCollectionCellDelegate.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "browse/EllipsesMenuShareType.h"
#include "browse/GifCellBackingView.h"
#include "model/AdBadgeInfo.h"
#include "model/VornObject.h"
#include "platform/appkit/NSCollectionViewItem.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSPasteboardItem.h"
#include "ui/NSImageViewExtensions.h"
#include "ui/QLXLabel.h"
#include "ui/ViewClickResponderDelegate.h"

class AVPlayerLayer;
class CAGradientLayer;
class ClickableImageView;
class ClickableView;
class Collection;
class NSColor;
class NSData;
class NSImage;
class NSImageView;
class NSLayoutConstraint;
class NSMenu;
class NSMenuItem;
class NSNotification;
class NSTextField;
class NSURL;
class ProgressIndicator;
class QLXButton;
class ResizingLayerBackedView;
class TelescopeUnit;
class VNTag;
class GifCell;

class GifCollectionCellDelegate {
 public:
  virtual ~GifCollectionCellDelegate() = default;
  virtual void didClick(const std::shared_ptr<GifCell>& cell) = 0;
  virtual void didClickUsernameLabel(const std::string& /*text*/) {}
  virtual bool implementsDidClickUsernameLabel() const { return false; }
  virtual void didRequestLogin() {}
  virtual bool implementsDidRequestLogin() const { return false; }
  virtual void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType /*type*/,
                                                     const std::shared_ptr<VornObject>& /*vorn*/) {}
  virtual bool implementsDidShareFromEllipsesMenu() const { return false; }
  virtual bool canBeginDrag() { return false; }
  virtual bool implementsCanBeginDrag() const { return false; }
  virtual void didBeginDrag(const std::shared_ptr<GifCell>& /*cell*/, const std::shared_ptr<VornObject>& /*vorn*/,
                            const std::shared_ptr<NSEvent>& /*event*/) {}
  virtual bool implementsDidBeginDrag() const { return false; }
};

// An item the grids clean up fully when it stops being displayed.
class ResettableCell {
 public:
  virtual ~ResettableCell() = default;
  virtual void reset() = 0;
};

class GifCell : public NSCollectionViewItem,
                public ResettableCell,
                public GifCellBackingViewHoverDelegate,
                public QLXLabelClickResponder,
                public ViewClickResponderDelegate {
 public:
  static std::shared_ptr<GifCell> make();

  struct Constants {
    static constexpr std::string_view interfaceName = "GifCell";
    static constexpr double cornerRadius = 4.0;
    static constexpr double menuAnchorRightInset = 33.0;
    static constexpr double menuAnchorY = -5.0;
    static constexpr double favoriteCircle = 50.0;
    static constexpr double overlayFade = 0.4;
    static constexpr double overlayHideDelay = 3.0;
    static constexpr double aspectFillScale = 1.05;
    // What one tile's GIF may hold decoded, with what drawing keeps of it: a panel shows a
    // dozen tiles, so a hostile GIF on each stays within tens of megabytes. Frames are kept
    // at most about a tile's size in pixels (its cover at two pixels a point), and no
    // smaller than the side below when all of them must fit.
    static constexpr std::size_t pictureBudgetBytes = kShownPictureBudgetBytes;
    static constexpr int pictureMostSide = 400;
    static constexpr int pictureSmallestSide = 96;
    // The sponsor badge's picture, decoded at the badge's size: a tenth of the tile's.
    static constexpr std::size_t badgeBudgetBytes = 512u << 10;
    static constexpr double progressDuration = 0.5;
    static constexpr std::string_view copyGifTitle = "Copy GIF";
    static constexpr std::string_view copyLinkTitle = "Copy Link";
    static constexpr std::string_view copyEmbedTitle = "Copy Embed";
    static constexpr std::string_view addToPackTitle = "Add to Pack";
    static constexpr std::string_view copiedGif = "Copied to clipboard!";
    static constexpr std::string_view copiedLink = "Copied link to clipboard!";
    static constexpr std::string_view copiedEmbed = "Copied text to clipboard!";
    static constexpr std::string_view addedPrefix = "Added to ";
    static constexpr std::string_view removedPrefix = "Removed from ";
    static constexpr std::string_view redHeart = "redHeart";
    static constexpr std::string_view greyHeart = "greyHeart";
    static constexpr std::string_view favoriteEvent = "favorite";
    static constexpr std::string_view vornIDKey = "vornIDKey";
    static constexpr std::string_view hideKey = "hideConfirmationOverlay";
  };

  // Outlets (set by the interface).
  std::weak_ptr<NSImageView> gif;
  std::weak_ptr<NSLayoutConstraint> gifTrailingConstraint;
  std::weak_ptr<NSLayoutConstraint> gifLeadingConstraint;
  std::weak_ptr<NSLayoutConstraint> gifBottomConstraint;
  std::weak_ptr<NSLayoutConstraint> gifTopConstraint;
  std::weak_ptr<NSTextField> contentLabel;
  std::weak_ptr<NSView> copyConfirmContainer;
  std::weak_ptr<ProgressIndicator> indicator;
  std::weak_ptr<ClickableView> heartContainer;
  std::weak_ptr<ClickableImageView> heart;
  std::weak_ptr<NSView> bottomToolbar;
  std::weak_ptr<QLXButton> moreOptionButton;
  std::weak_ptr<QLXLabel> usernameLabel;
  std::weak_ptr<NSView> titleGradientContainer;
  std::weak_ptr<NSTextField> copyConfirmLabel;
  std::weak_ptr<NSView> mouseoverElementsContainer;
  std::weak_ptr<NSView> contentContainer;
  std::weak_ptr<ResizingLayerBackedView> movieContainer;
  std::weak_ptr<NSImageView> adBadgeImageView;
  std::shared_ptr<NSLayoutConstraint> advertisingOuterLeading;
  std::shared_ptr<NSLayoutConstraint> advertisingOuterTrailing;
  std::shared_ptr<NSLayoutConstraint> advertisingOuterBottom;
  std::shared_ptr<NSLayoutConstraint> advertisingOuterTop;
  std::weak_ptr<NSView> favoriteOverlay;

  // Owned.
  std::shared_ptr<CAGradientLayer> titleGradientLayer;
  std::shared_ptr<CAGradientLayer> mouseoverGradientLayer;
  std::shared_ptr<AVPlayerLayer> movieLayer;

  std::weak_ptr<GifCollectionCellDelegate> delegate;
  std::shared_ptr<VornObject> vorn;
  bool didDragCell = false;
  bool showOverlayOnMouseover = false;
  bool shouldAspectFillGif = false;
  bool canDragCell = false;
  // What the confirmation says for a copy of the GIF itself: a copy never repeats the
  // message of an earlier link, embed or pack action on the tile. Back to "Copied to
  // clipboard!" at every reset; a screen may give its tiles a text of their own.
  std::string copiedGifMessage = std::string(Constants::copiedGif);

  std::shared_ptr<NSColor> loadingColor() const { return loadingColor_; }
  // Tints the tile and the progress pie for the time the media loads.
  void setLoadingColor(std::shared_ptr<NSColor> color);

  // --- Set-up and clean-up
  void awakeFromNib() override;
  void prepareForReuse() override;
  void reset() override;
  void unload();

  // --- Content
  void configureWithVorn(const std::shared_ptr<VornObject>& vorn);
  void configureWithTag(const std::shared_ptr<VNTag>& tag);
  void configureWithTelescopeUnit(const std::shared_ptr<TelescopeUnit>& unit);
  void configureWithCollection(const std::shared_ptr<Collection>& collection);
  void addTitleGradient();

  // --- Media
  void updateAnimatedImageWithImage(const std::shared_ptr<NSImage>& image);
  // Shows the GIF or PNG `source` answers (bytes or a file), read and decoded away from the main
  // thread: the tile keeps its placeholder and progress until the picture is ready. Reuse,
  // reset or unload meanwhile drops it, so a tile never shows the picture of an item it no
  // longer shows. `shown` runs once the picture is shown.
  void loadAnimatedImage(std::function<NSImage::Input()> source, std::function<void()> shown = nullptr);
  void playMovieWithFilePath(const std::shared_ptr<NSURL>& path);
  void loopCurrentMovieWithNotification(const std::shared_ptr<NSNotification>& notification);
  void resetGifSize();
  void resizeGifForImage(const std::shared_ptr<NSImage>& image);
  std::shared_ptr<NSImage> getCurrentImage();
  void simulateProgress();
  void showProgress(double fraction);
  void showAdBadgeWithImage(const std::shared_ptr<NSURL>& url);
  void applyAdBadgePosition(AdBadgePosition position);

  // --- Hover
  void mouseEntered() override;
  void mouseExited() override;

  // --- Actions
  void mouseDragged(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  void didClickLabel(const std::shared_ptr<QLXLabel>& label) override;
  void didClickView(const std::shared_ptr<NSView>& view) override;
  void requestUserLogin();
  void moreOptionsButtonPressed();
  // The ellipsis menu as it is built for a press (none without an item).
  std::shared_ptr<NSMenu> ellipsisMenu();
  std::shared_ptr<NSMenu> getSubMenuWithCollections();
  void addToCollectionClicked(const std::shared_ptr<NSMenuItem>& item);
  void copyGif();
  void copyLink();
  void copyEmbed();
  // Without a message the overlay confirms a copy of the GIF (copiedGifMessage).
  void displayConfirmationOverlayWithMessage(const std::optional<std::string>& message);
  void hideConfirmationOverlay();
  void animateFavorite();

  // The menu's actions reach the cell through the responder chain of its view.
  bool respondsToCommand(std::string_view selector) const override;

  // Registers the builder of the interface "GifCell" (done once on start-up).
  static void registerInterface();

  std::string className() const override { return "GifCell"; }

 protected:
  GifCell() : NSCollectionViewItem(std::string(Constants::interfaceName)) {}
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) override;

 private:
  // The one membership test of the heart, at hover and at a toggle.
  bool isFavorite() const;
  // Writes one text to the general pasteboard under the declared type, checking it first.
  bool copyText(const NSPasteboardType& type, const std::optional<std::string>& text);
  void reportShare(EllipsesMenuShareType type);
  void fadeConfirmation(double alpha);
  void showTitle(const std::string& text);

  std::shared_ptr<NSColor> loadingColor_;
  // Moves on whenever the tile lets its media go, so that a picture asked for before is not shown.
  std::uint64_t mediaGeneration_ = 0;
  // The same for the sponsor badge: moves on at each badge asked for and when the item goes.
  std::uint64_t badgeGeneration_ = 0;
};
