// What the user does with a tile: click or drag it, click the poster's name, toggle the
// heart, copy from the ellipsis menu, add to a pack, and the confirmation that follows.

#include "account/QuorbUser.h"
#include "browse/CopyVornToPasteboard.h"
#include "browse/GifCell.h"
#include "collections/Collection.h"
#include "collections/CollectionManager.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSTextField.h"
#include "platform/av/AVPlayer.h"
#include "platform/av/AVPlayerItem.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSValue.h"
#include "platform/foundation/PerformRequests.h"
#include "platform/quartz/CALayer.h"
#include "service/AdvertisingLogger.h"
#include "service/PlovexAnalytics.h"
#include "ui/ClickableImageView.h"
#include "ui/ClickableView.h"
#include "ui/LayerAnimation.h"
#include "ui/NSColorPalette.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSViewExtensions.h"

namespace {

constexpr std::string_view copyGifAction = "copyGif";
constexpr std::string_view copyLinkAction = "copyLink";
constexpr std::string_view copyEmbedAction = "copyEmbed";
constexpr std::string_view loginAction = "requestUserLogin";
constexpr std::string_view packAction = "addToCollectionClicked:";

// Signed in is a stored token, never the user record.
bool signedIn() { return QuorbUser::authToken().has_value(); }

}  // namespace

// --- Click and drag

void GifCell::mouseDragged(const std::shared_ptr<NSEvent>& event) {
  auto owner = delegate.lock();
  if (!canDragCell || !owner || !owner->implementsCanBeginDrag()) return;
  if (!owner->canBeginDrag() || !vorn) return;
  didDragCell = true;
  if (owner->implementsDidBeginDrag()) owner->didBeginDrag(sharedAs<GifCell>(), vorn, event);
}

void GifCell::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (didDragCell) {
    didDragCell = false;
    return;
  }
  // Released off the tile, the press was taken back: no click.
  if (!event || !isMouseEventOverView(*view(), *event)) return;
  if (auto owner = delegate.lock()) owner->didClick(sharedAs<GifCell>());
}

void GifCell::didClickLabel(const std::shared_ptr<QLXLabel>& label) {
  const std::string text = label->stringValue();
  auto owner = delegate.lock();
  if (!text.empty() && owner && owner->implementsDidClickUsernameLabel()) owner->didClickUsernameLabel(text);
}

void GifCell::requestUserLogin() {
  if (auto owner = delegate.lock(); owner && owner->implementsDidRequestLogin()) owner->didRequestLogin();
}

// --- The ellipsis menu

std::shared_ptr<NSMenu> GifCell::ellipsisMenu() {
  if (!vorn) return nullptr;
  auto menu = NSMenu::make();
  menu->addItemWithTitle(std::string(Constants::copyGifTitle), std::string(copyGifAction), "");
  menu->addItemWithTitle(std::string(Constants::copyLinkTitle), std::string(copyLinkAction), "");
  menu->addItemWithTitle(std::string(Constants::copyEmbedTitle), std::string(copyEmbedAction), "");
  menu->addItem(NSMenuItem::separatorItem());
  auto packs = NSMenuItem::make();
  packs->title = std::string(Constants::addToPackTitle);
  packs->keyEquivalent = "";
  if (signedIn()) {
    packs->setSubmenu(getSubMenuWithCollections());
  } else {
    packs->action = std::string(loginAction);
  }
  menu->addItem(packs);
  return menu;
}

void GifCell::moreOptionsButtonPressed() {
  auto menu = ellipsisMenu();
  if (!menu) return;
  auto current = NSApplication::sharedApplication()->currentEvent();
  if (!current) return;
  auto root = view();
  const NSPoint anchor = root->convertPointToView(
      NSMakePoint(root->bounds().size.width - Constants::menuAnchorRightInset, Constants::menuAnchorY), nullptr);
  auto event = NSEvent::mouseEventWithType(current->type(), anchor, current->modifierFlags(), current->timestamp(),
                                           current->windowNumber(), current->context(), current->eventNumber(),
                                           current->clickCount(), current->pressure());
  if (!event) return;
  NSMenu::popUpContextMenu(menu, event, root);
}

std::shared_ptr<NSMenu> GifCell::getSubMenuWithCollections() {
  auto collections = CollectionManager::sharedInstance()->getCollections({1, 2, 3, 5}, true);
  if (!collections) return nullptr;
  auto menu = NSMenu::make();
  for (const auto& collection : *collections) menu->addItemWithTitle(collection->name(), std::string(packAction), "");
  return menu;
}

bool GifCell::respondsToCommand(std::string_view selector) const {
  return selector == copyGifAction || selector == copyLinkAction || selector == copyEmbedAction ||
         selector == loginAction || selector == packAction;
}

void GifCell::performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) {
  if (selector == copyGifAction) copyGif();
  else if (selector == copyLinkAction) copyLink();
  else if (selector == copyEmbedAction) copyEmbed();
  else if (selector == loginAction) requestUserLogin();
  else if (selector == packAction) addToCollectionClicked(asA<NSMenuItem>(sender));
}

void GifCell::addToCollectionClicked(const std::shared_ptr<NSMenuItem>& item) {
  if (!vorn || !item) return;
  auto collection = CollectionManager::sharedInstance()->getCollection(item->title);
  if (!collection) return;
  bool held = false;
  for (const auto& other : collection->vorns()) held = held || other->isEqual(vorn);
  std::string message;
  if (held) {
    // The collection deletes a file of this computer only when no other collection holds it.
    collection->remove(vorn);
    message = std::string(Constants::removedPrefix) + collection->name();
  } else {
    collection->append(vorn);
    message = std::string(Constants::addedPrefix) + collection->name();
  }
  displayConfirmationOverlayWithMessage(message);
}

// --- Copies

void GifCell::reportShare(EllipsesMenuShareType type) {
  if (auto owner = delegate.lock(); owner && owner->implementsDidShareFromEllipsesMenu()) {
    owner->didShareFromEllipsesMenuWithShareType(type, vorn);
  }
  if (vorn->isPromotedContent() && vorn->advertisingSourceID) {
    AdvertisingLogger::didShareContentWithSourceID(*vorn->advertisingSourceID);
  }
}

void GifCell::copyGif() {
  if (!vorn) return;
  const auto& player = movieLayer->player();
  const bool moviePlays = player && player->currentItem() && player->currentItem()->asset();
  if (!gif.lock()->image() && !moviePlays) return;
  // An item with nothing to put on the pasteboard is not confirmed as copied.
  if (!copyVornToPasteboard(vorn)) return;
  displayConfirmationOverlayWithMessage(std::nullopt);
  reportShare(EllipsesMenuShareType::copyGif);
}

bool GifCell::copyText(const NSPasteboardType& type, const std::optional<std::string>& text) {
  // Checked before the pasteboard is cleared, so that a missing text leaves it as it was.
  if (!vorn || !text || text->empty()) return false;
  auto pasteboard = NSPasteboard::generalPasteboard();
  pasteboard->clearContents();
  pasteboard->declareTypes({type}, nullptr);
  return pasteboard->writeObjects({NSString::make(*text)});
}

void GifCell::copyLink() {
  // The link goes as text, and only text is announced: a file list nobody provides would
  // send a program that prefers files away empty-handed.
  if (!vorn || !copyText(NSPasteboardTypeString, vorn->shortUrl)) return;
  displayConfirmationOverlayWithMessage(std::string(Constants::copiedLink));
  reportShare(EllipsesMenuShareType::copyLink);
}

void GifCell::copyEmbed() {
  if (!vorn || !copyText(NSPasteboardTypeString, vorn->htmlEmbedString)) return;
  displayConfirmationOverlayWithMessage(std::string(Constants::copiedEmbed));
  reportShare(EllipsesMenuShareType::copyEmbed);
}

// --- Confirmation overlay

void GifCell::displayConfirmationOverlayWithMessage(const std::optional<std::string>& message) {
  setTitle(*copyConfirmLabel.lock(), message.value_or(copiedGifMessage), false, false);
  fadeConfirmation(1.0);
  PerformRequests::perform<GifCell>(sharedAs<GifCell>(), std::string(Constants::hideKey),
                                    [](GifCell& cell) { cell.hideConfirmationOverlay(); }, Constants::overlayHideDelay);
}

void GifCell::hideConfirmationOverlay() { fadeConfirmation(0.0); }

void GifCell::fadeConfirmation(double alpha) {
  auto overlay = copyConfirmContainer.lock();
  NSAnimationContext::runAnimationGroup(
      [&](NSAnimationContext& context) {
        context.setDuration(Constants::overlayFade);
        overlay->animator()->setAlphaValue(alpha);
      },
      nullptr);
}

// --- Favourites

void GifCell::didClickView(const std::shared_ptr<NSView>& clicked) {
  if (!vorn) return;
  if (clicked != std::static_pointer_cast<NSView>(heartContainer.lock()) &&
      clicked != std::static_pointer_cast<NSView>(heart.lock())) {
    return;
  }
  if (!signedIn()) {
    requestUserLogin();
    return;
  }
  auto favorites = CollectionManager::sharedInstance()->getFavoritesCollection();
  auto image = heart.lock();
  if (!favorites) {
    image->setImage(NSImage::imageNamed(Constants::greyHeart));
    return;
  }
  if (isFavorite()) {
    favorites->remove(vorn);
    image->setImage(NSImage::imageNamed(Constants::greyHeart));
    return;
  }
  favorites->append(vorn);
  animateFavorite();
  image->setImage(NSImage::imageNamed(Constants::redHeart));
  PlovexAnalytics::sharedPlovexAnalytics()->logEventWithEvent(
      Constants::favoriteEvent, PlovexAnalytics::EventData{{std::string(Constants::vornIDKey), vorn->vid}});
}

void GifCell::animateFavorite() {
  auto root = view();
  const NSRect frame = root->frame();
  auto pulse = CALayer::layer();
  pulse->setFrame(NSMakeRect(frame.size.width * 0.5 - Constants::favoriteCircle / 2,
                             frame.size.height * 0.5 - Constants::favoriteCircle / 2, Constants::favoriteCircle,
                             Constants::favoriteCircle));
  pulse->setCornerRadius(Constants::favoriteCircle / 2);
  pulse->setMasksToBounds(true);
  pulse->setBackgroundColor(NSColorPalette::initWithFullChannel(255, 122, 122, 216.75)->CGColor());
  auto overlay = favoriteOverlay.lock();
  overlay->setHidden(false);
  overlay->setWantsLayer(true);
  overlay->layer()->setSublayers({});
  overlay->layer()->insertSublayer(pulse, 0);
  const NSRect target = NSInsetRect(NSOffsetRect(root->bounds(), -10.0, -10.0), -20.0, -20.0);
  auto self = sharedAs<GifCell>();
  performCATransaction(pulse, LayerAnimationKind::bounds, NSValue::valueWithRect(target), 0.17, [self, pulse] {
    std::weak_ptr<GifCell> weak = self;
    performCATransaction(pulse, LayerAnimationKind::opacity, NSNumber::numberWithDouble(0.0), 0.25, [weak, pulse] {
      pulse->removeFromSuperlayer();
      if (auto cell = weak.lock()) cell->favoriteOverlay.lock()->setHidden(true);
    });
  });
}
