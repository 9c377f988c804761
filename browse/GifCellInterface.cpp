// The interface "GifCell": the tile's view tree and its outlets. The image view is pinned
// to its container by four edge constraints (the aspect fill moves their constants), and
// the sponsor badge to the tile's corners by four more (the active pair picks the corner).

#include "browse/GifCell.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSTextField.h"
#include "platform/quartz/CALayer.h"
#include "ui/ClickableImageView.h"
#include "ui/ClickableView.h"
#include "ui/ProgressIndicator.h"
#include "ui/QLXButton.h"
#include "ui/ResizingLayerBackedView.h"
#include "ui/ShadowTextFieldCell.h"

namespace {

constexpr double tileWidth = 200;
constexpr double tileHeight = 150;
constexpr double badgeWidth = 40;
constexpr double badgeHeight = 16;
constexpr NSAutoresizingMaskOptions fills = NSViewWidthSizable | NSViewHeightSizable;

// A layer of the tile that only shows something (a title, the favourite pulse, the copy
// confirmation): the pointer goes through it to the tile, which it would otherwise cover,
// even while it is transparent.
class TileOverlayView : public NSView {
 public:
  static std::shared_ptr<TileOverlayView> initWithFrame(NSRect frame) { return create(frame); }
  std::shared_ptr<NSView> hitTest(NSPoint) override { return nullptr; }
  GLIMDECK_OBJECT(TileOverlayView)

 protected:
  using NSView::NSView;
};

// Text over a picture: white with the kit's text shadow.
std::shared_ptr<NSTextField> tileLabel(double size) {
  auto label = NSTextField::initWithFrame(NSZeroRect);
  label->setCell(ShadowTextFieldCell::initTextCell(""));
  label->setEditable(false);
  label->setSelectable(false);
  label->setBezeled(false);
  label->setBordered(false);
  label->setDrawsBackground(false);
  label->setFont(NSFont::fontWithName("AvenirNext-DemiBold", size));
  label->setTextColor(NSColor::whiteColor());
  return label;
}

template <typename View>
std::shared_ptr<View> filling(const std::shared_ptr<NSView>& parent, std::shared_ptr<View> view) {
  view->setFrame(parent->bounds());
  view->autoresizingMask = fills;
  parent->addSubview(view);
  return view;
}

// The edge constants of the image view, read back as the frame they describe.
void placeImage(NSView& container, const std::weak_ptr<GifCell>& weakCell) {
  auto cell = weakCell.lock();
  if (!cell) return;
  auto image = cell->gif.lock();
  auto top = cell->gifTopConstraint.lock();
  auto bottom = cell->gifBottomConstraint.lock();
  auto leading = cell->gifLeadingConstraint.lock();
  auto trailing = cell->gifTrailingConstraint.lock();
  if (!image || !top || !bottom || !leading || !trailing) return;
  const NSRect bounds = container.bounds();
  image->setFrame(NSMakeRect(leading->constant(), bottom->constant(),
                             bounds.size.width - leading->constant() - trailing->constant(),
                             bounds.size.height - top->constant() - bottom->constant()));
}

void placeBadge(NSView& root, const std::weak_ptr<GifCell>& weakCell) {
  auto cell = weakCell.lock();
  if (!cell) return;
  auto badge = cell->adBadgeImageView.lock();
  if (!badge) return;
  const NSRect bounds = root.bounds();
  const double x = cell->advertisingOuterTrailing->isActive() ? bounds.size.width - badgeWidth : 0;
  const double y = cell->advertisingOuterBottom->isActive() ? 0 : bounds.size.height - badgeHeight;
  badge->setFrame(NSMakeRect(x, y, badgeWidth, badgeHeight));
}

std::vector<std::shared_ptr<NSObject>> buildGifCell(const std::shared_ptr<NSObject>& owner) {
  auto cell = asA<GifCell>(owner);
  auto root = GifCellBackingView::initWithFrame(NSMakeRect(0, 0, tileWidth, tileHeight));
  auto content = filling(root, NSView::initWithFrame(root->bounds()));
  // Under the media: the pie shows until the first frame covers it.
  auto pie = ProgressIndicator::initWithFrame(NSMakeRect(tileWidth / 2 - 15, tileHeight / 2 - 15, 30, 30));
  pie->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin | NSViewMinYMargin | NSViewMaxYMargin;
  pie->setHidden(true);
  content->addSubview(pie);
  auto movies = filling(content, ResizingLayerBackedView::initWithFrame(root->bounds()));
  auto image = filling(content, NSImageView::initWithFrame(root->bounds()));
  // A GIF fills its tile from the first one on, as reset leaves a tile handed out again.
  image->setImageScaling(NSImageScaling::axesIndependently);
  auto titleArea = filling(content, TileOverlayView::initWithFrame(root->bounds()));
  titleArea->setHidden(true);
  // The title and its shade stay the same while the GIF under them plays: laid on as kept
  // pixels at each frame rather than drawn again.
  titleArea->setWantsLayer(true);
  titleArea->layer()->setShouldRasterize(true);
  auto title = tileLabel(16);
  title->setFrame(NSMakeRect(8, 8, tileWidth - 16, 22));
  title->autoresizingMask = NSViewWidthSizable;
  title->setHidden(true);
  titleArea->addSubview(title);

  auto badge = NSImageView::initWithFrame(NSMakeRect(0, tileHeight - badgeHeight, badgeWidth, badgeHeight));
  badge->setHidden(true);
  root->addSubview(badge);
  auto favorite = filling(root, TileOverlayView::initWithFrame(root->bounds()));
  favorite->setHidden(true);
  auto confirm = filling(root, TileOverlayView::initWithFrame(root->bounds()));
  confirm->setAlphaValue(0.0);
  // The confirmation dims the picture under it, so that its text reads on any GIF.
  confirm->setWantsLayer(true);
  confirm->layer()->setBackgroundColor(CGColor{0, 0, 0, 0.55});
  // Shown for a while over the playing GIF, the same at every frame.
  confirm->layer()->setShouldRasterize(true);
  auto confirmText = tileLabel(15);
  confirmText->setStringValue(std::string(GifCell::Constants::copiedGif));
  confirmText->setFrame(NSMakeRect(8, tileHeight / 2 - 11, tileWidth - 16, 22));
  confirmText->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin | NSViewMaxYMargin;
  confirmText->setAlignment(NSTextAlignment::center);
  confirm->addSubview(confirmText);

  // The hover elements lie above the overlays, so that their controls take the clicks.
  auto hover = filling(root, NSView::initWithFrame(root->bounds()));
  hover->setHidden(true);
  auto toolbar = NSView::initWithFrame(NSMakeRect(0, 0, tileWidth, 30));
  toolbar->autoresizingMask = NSViewWidthSizable;
  hover->addSubview(toolbar);
  auto name = QLXLabel::initWithFrame(NSMakeRect(8, 6, tileWidth - 50, 18));
  name->autoresizingMask = NSViewWidthSizable;
  name->setTextColor(NSColor::whiteColor());  // over the hover gradient's dark edge
  name->setHidden(true);
  toolbar->addSubview(name);
  auto more = QLXButton::initWithFrame(NSMakeRect(tileWidth - 34, 4, 26, 22));
  more->autoresizingMask = NSViewMinXMargin;
  more->setTitle("…");
  toolbar->addSubview(more);
  auto heartBacking = ClickableView::initWithFrame(NSMakeRect(8, tileHeight - 34, 26, 26));
  heartBacking->autoresizingMask = NSViewMinYMargin;
  hover->addSubview(heartBacking);
  auto heartImage = ClickableImageView::initWithFrame(NSMakeRect(4, 4, 18, 18));
  heartBacking->addSubview(heartImage);

  auto edge = [&](NSLayoutAttribute attribute) {
    auto constraint = NSLayoutConstraint::equal(image, attribute, content, attribute);
    content->addConstraint(constraint);
    return constraint;
  };
  auto corner = [&](NSLayoutAttribute attribute) {
    auto constraint = NSLayoutConstraint::equal(badge, attribute, root, attribute);
    root->addConstraint(constraint);
    return constraint;
  };
  if (cell) {
    cell->setView(root);
    cell->gif = image;
    cell->gifTopConstraint = edge(NSLayoutAttribute::top);
    cell->gifBottomConstraint = edge(NSLayoutAttribute::bottom);
    cell->gifLeadingConstraint = edge(NSLayoutAttribute::leading);
    cell->gifTrailingConstraint = edge(NSLayoutAttribute::trailing);
    cell->contentLabel = title;
    cell->copyConfirmContainer = confirm;
    cell->indicator = pie;
    cell->heartContainer = heartBacking;
    cell->heart = heartImage;
    cell->bottomToolbar = toolbar;
    cell->moreOptionButton = more;
    cell->usernameLabel = name;
    cell->titleGradientContainer = titleArea;
    cell->copyConfirmLabel = confirmText;
    cell->mouseoverElementsContainer = hover;
    cell->contentContainer = content;
    cell->movieContainer = movies;
    cell->adBadgeImageView = badge;
    cell->advertisingOuterTop = corner(NSLayoutAttribute::top);
    cell->advertisingOuterLeading = corner(NSLayoutAttribute::leading);
    cell->advertisingOuterBottom = corner(NSLayoutAttribute::bottom);
    cell->advertisingOuterTrailing = corner(NSLayoutAttribute::trailing);
    cell->advertisingOuterBottom->setActive(false);
    cell->advertisingOuterTrailing->setActive(false);
    cell->favoriteOverlay = favorite;
    std::weak_ptr<GifCell> weak = cell;
    more->action = [weak](const std::shared_ptr<NSObject>&) {
      if (auto strong = weak.lock()) strong->moreOptionsButtonPressed();
    };
    content->layoutHandler = [weak](NSView& view) { placeImage(view, weak); };
    root->layoutHandler = [weak](NSView& view) { placeBadge(view, weak); };
  }
  return {root};
}

}  // namespace

void GifCell::registerInterface() {
  static const bool registered = (NSNib::registerBuilder(std::string(Constants::interfaceName), buildGifCell), true);
  (void)registered;
}

namespace {
// The interface exists as soon as the class is part of the program, as an interface file would.
const bool gifCellInterfaceRegistered = (GifCell::registerInterface(), true);
}  // namespace
