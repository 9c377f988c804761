// The kit's shared vocabulary: palette and tones, layer background and pinning, the form
// field look and text replacement, the layer animation function, the dark menu bar test
// and the shadowed cell.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/appkit/NSAppearance.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/NSValue.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"
#include "tests/support/HostilePicture.h"
#include "tests/support/UISimulator.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/foundation/NSURL.h"
#include "service/GlobalKeys.h"
#include "ui/LayerAnimation.h"
#include "ui/MenuBarAppearance.h"
#include "model/NSColorExtensions.h"
#include "ui/NSColorPalette.h"
#include "ui/NSMutableAttributedStringExtensions.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSViewExtensions.h"
#include "ui/ShadowTextFieldCell.h"

namespace {

class InterfaceExtensionsTest : public UITest {};

TEST_F(InterfaceExtensionsTest, PaletteChannelsAndTones) {
  EXPECT_EQ(NSColorPalette::standardBlue()->CGColor(), (CGColor{0, 122 / 255.0, 221 / 255.0, 1}));
  EXPECT_DOUBLE_EQ(NSColorPalette::standardShadowBlack()->CGColor().alpha, 0.35);
  EXPECT_DOUBLE_EQ(NSColorPalette::cellLoadingGray()->CGColor().red, 0.16);
  EXPECT_EQ(NSColorPalette::standardBlue(), NSColorPalette::standardBlue()) << "made once and shared";
  EXPECT_NE(NSColorPalette::placeholderGray(), NSColorPalette::standardMediumGray());

  auto colour = NSColor::colorWithHue(0.3, 0.6, 0.5, 0.8);
  auto darker = NSColorPalette::colorWithDarkerTone(*colour, 0.2);
  double h, s, b, a;
  darker->getHue(&h, &s, &b, &a);
  EXPECT_NEAR(b, 0.4, 1e-9);
  EXPECT_NEAR(h, 0.3, 1e-9);
  EXPECT_NEAR(s, 0.6, 1e-9);
  EXPECT_NEAR(a, 0.8, 1e-9);
  auto brown = NSColorPalette::colorWithDarkerTone(*NSColor::colorWithRed(0.5, 0.25, 0.0, 1.0), 0.2);
  EXPECT_NEAR(brown->redComponent(), 0.4, 1e-9);
  EXPECT_NEAR(brown->greenComponent(), 0.2, 1e-9);
  EXPECT_NEAR(brown->blueComponent(), 0.0, 1e-9);
}

TEST_F(InterfaceExtensionsTest, HexadecimalColoursSkipTheirFirstCharacter) {
  // The cases beside the item model's own: a hash and six digits, and the same digits whose
  // first one is taken for the hash.
  EXPECT_EQ(colorFromHexString("#FF0000")->CGColor(), (CGColor{1, 0, 0, 1}));
  EXPECT_EQ(colorFromHexString("FF0000")->CGColor(), (CGColor{0x0F / 255.0, 0, 0, 1}));
  EXPECT_EQ(colorFromHexString("")->CGColor(), (CGColor{0, 0, 0, 1}));
}

TEST_F(InterfaceExtensionsTest, LinksTheFirstOccurrenceOnlyAndTheKeysCarryTheApplicationPrefix) {
  auto url = NSURL::URLWithString("https://zolto.example/terms");
  auto text = NSMutableAttributedString::make("Read the terms – the terms are short");
  addClickoutURLToSubstring(text, "privacy", url);
  EXPECT_EQ(text->runs().size(), 1u);
  addClickoutURLToSubstring(text, "terms", url);
  NSRange linked;
  auto link = asA<NSString>(text->attributeAtIndex(NSLinkAttributeName, 9, &linked));
  ASSERT_TRUE(link);
  EXPECT_EQ(link->string(), "https://zolto.example/terms");
  EXPECT_EQ(linked, (NSRange{9, 5}));
  EXPECT_FALSE(text->attributeAtIndex(NSLinkAttributeName, 21)) << "the second occurrence stays plain";

  EXPECT_EQ(GlobalKeys::touchBarGifScrubberIdentifier(), "com.glimdeck.Glimdeck.gifScrubber");
  EXPECT_EQ(GlobalKeys::touchBarConfirmationIdentifier(), "com.glimdeck.Glimdeck.confirmation");
}

TEST_F(InterfaceExtensionsTest, BackgroundColourLivesOnTheLayer) {
  auto view = NSView::initWithFrame(NSMakeRect(0, 0, 10, 10));
  EXPECT_FALSE(convenientBackgroundColor(*view));
  setConvenientBackgroundColor(*view, NSColor::redColor());
  EXPECT_TRUE(view->wantsLayer());
  EXPECT_EQ(convenientBackgroundColor(*view)->CGColor(), NSColor::redColor()->CGColor());
  setConvenientBackgroundColor(*view, nullptr);
  EXPECT_FALSE(convenientBackgroundColor(*view));
}

TEST_F(InterfaceExtensionsTest, PinningNeedsASuperviewAndAViewWithoutAutoresizingConstraints) {
  auto parent = NSView::initWithFrame(NSMakeRect(0, 0, 100, 100));
  auto child = NSView::initWithFrame(NSMakeRect(0, 0, 10, 10));
  child->translatesAutoresizingMaskIntoConstraints = false;
  pinToSuperview(*child);  // no superview
  parent->addSubview(child);
  child->translatesAutoresizingMaskIntoConstraints = true;
  pinToSuperview(*child);
  EXPECT_TRUE(parent->constraints().empty());

  child->translatesAutoresizingMaskIntoConstraints = false;
  pinToSuperview(*child);
  ASSERT_EQ(parent->constraints().size(), 4u);
  std::vector<NSLayoutAttribute> order;
  for (const auto& c : parent->constraints()) {
    order.push_back(c->firstAttribute());
    EXPECT_EQ(c->firstAttribute(), c->secondAttribute());
    EXPECT_EQ(c->firstItem(), child);
    EXPECT_EQ(c->secondItem(), parent);
  }
  EXPECT_EQ(order, (std::vector<NSLayoutAttribute>{NSLayoutAttribute::top, NSLayoutAttribute::bottom,
                                                   NSLayoutAttribute::leading, NSLayoutAttribute::trailing}));
}

TEST_F(InterfaceExtensionsTest, FormFieldLook) {
  auto field = NSTextField::initWithFrame(NSMakeRect(0, 0, 200, 30));
  configureStylingForQLXWithPlaceholderText(*field, "Email");
  EXPECT_EQ(field->layer()->borderColor(), NSColorPalette::standardBorderGray()->CGColor());
  EXPECT_EQ(field->layer()->borderWidth(), 1.0);
  EXPECT_EQ(field->textColor(), NSColorPalette::textFieldTextOffBlack());
  auto placeholder = field->placeholderAttributedString();
  ASSERT_TRUE(placeholder);
  EXPECT_EQ(placeholder->string(), "Email");
  EXPECT_EQ(placeholder->attributeAtIndex(NSForegroundColorAttributeName, 0), NSColorPalette::placeholderGray());

  configureStylingForQLXWithPlaceholderText(*field, "Email", NSColorPalette::errorRed()->CGColor());
  EXPECT_EQ(field->layer()->borderColor(), NSColorPalette::errorRed()->CGColor());
}

TEST_F(InterfaceExtensionsTest, ReplacingTextPlacesTheCaretAndGivesUpFocusLater) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 100), NSWindowStyleMaskTitled);
  window->makeKeyAndOrderFront(nullptr);
  auto field = NSTextField::initWithFrame(NSMakeRect(10, 10, 200, 30));
  window->contentView()->addSubview(field);

  auto loose = NSTextField::initWithFrame(NSMakeRect(0, 0, 10, 10));
  setCursorColor(*loose, NSColor::whiteColor());  // no window: nothing to colour
  setCursorColor(*field, NSColor::whiteColor());
  EXPECT_EQ(window->fieldEditor(true, field)->insertionPointColor->CGColor(), NSColor::whiteColor()->CGColor());

  setTitle(*field, "not edited", false, true);
  EXPECT_EQ(field->stringValue(), "not edited");

  ui.click(field);
  ASSERT_TRUE(field->currentEditor());
  setTitle(*field, "cats", false, true);
  EXPECT_EQ(field->currentEditor()->selectedRange(), (NSRange{4, 0}));

  setTitle(*field, "dogs", false, false);
  EXPECT_TRUE(field->isEditing()) << "focus is given up on the next turn, not at once";
  ui.advance(0);
  EXPECT_FALSE(field->isEditing());
  EXPECT_EQ(field->stringValue(), "dogs");
}

TEST_F(InterfaceExtensionsTest, LayerAnimationChangesTheRightKindAndAlwaysCompletes) {
  auto layer = CALayer::layer();
  layer->setBounds(NSMakeRect(0, 0, 10, 10));
  int completions = 0;
  performCATransaction(layer, LayerAnimationKind::opacity, NSValue::valueWithRect(NSMakeRect(0, 0, 5, 5)), 0.3,
                       [&] { ++completions; });
  EXPECT_EQ(layer->opacity(), 1.0);
  EXPECT_FALSE(layer->hasAnimations());
  ui.advance(0.5);
  EXPECT_EQ(completions, 1) << "a wrong target still completes";

  performCATransaction(layer, LayerAnimationKind::opacity, NSNumber::numberWithDouble(0.25), 0.3,
                       [&] { ++completions; });
  EXPECT_EQ(layer->opacity(), 0.25);
  EXPECT_TRUE(layer->animationForKey("opacity"));
  performCATransaction(layer, LayerAnimationKind::bounds, NSValue::valueWithRect(NSMakeRect(0, 0, 40, 20)), 0.3);
  EXPECT_EQ(layer->bounds(), NSMakeRect(0, 0, 40, 20));
  EXPECT_TRUE(layer->animationForKey("bounds"));
  ui.advance(0.5);
  EXPECT_EQ(completions, 2);
}

TEST_F(InterfaceExtensionsTest, DarkMenuBarFollowsTheDesktopsLookOrTheInterfaceStyle) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  struct Case {
    std::string_view desktop;  // the kit's effective appearance, as a desktop host sets it
    const char* style;
    bool dark;
  } cases[] = {{NSAppearanceNameAqua, nullptr, false}, {NSAppearanceNameAqua, "Dark", true},
               {NSAppearanceNameAqua, "dark", true},   {NSAppearanceNameAqua, "DARK", true},
               {NSAppearanceNameAqua, "Light", false}, {NSAppearanceNameAqua, "Darker", false},
               {NSAppearanceNameDarkAqua, nullptr, true}, {NSAppearanceNameDarkAqua, "Light", true}};
  for (const auto& c : cases) {
    NSAppearance::setEffectiveAppearance(NSAppearance::appearanceNamed(c.desktop));
    defaults->setObject(c.style ? NSString::make(c.style) : nullptr, "AppleInterfaceStyle");
    EXPECT_EQ(isDarkMenuBar(), c.dark) << c.desktop << " " << (c.style ? c.style : "absent");
  }
  NSAppearance::setEffectiveAppearance(nullptr);
}

TEST_F(InterfaceExtensionsTest, TheShadowedCellDrawsItsTextWithAFixedShadowInsideASavedState) {
  auto cell = ShadowTextFieldCell::initTextCell("Over a picture");
  auto shadow = cell->shadow();
  EXPECT_EQ(shadow->shadowColor->CGColor(), (CGColor{0, 0, 0, 0.75}));
  EXPECT_EQ(shadow->shadowBlurRadius, 0.0);
  EXPECT_EQ(shadow->shadowOffset, (NSSize{0, -2}));

  auto context = RecordingContext::make();
  {
    NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(context, false));
    cell->drawInteriorWithFrame(NSMakeRect(0, 0, 200, 30), nullptr);
    context->fillRect(NSMakeRect(0, 0, 1, 1));  // whatever the view draws next
  }
  auto texts = context->all<Recorded::DrawText>();
  ASSERT_EQ(texts.size(), 1u);
  ASSERT_TRUE(texts[0].second.shadow);
  EXPECT_EQ(texts[0].second.shadow->offset, (NSSize{0, -2}));
  auto after = context->all<Recorded::FillRect>();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_FALSE(after[0].second.shadow) << "the shadow does not spread past the cell";

  auto emptyCell = ShadowTextFieldCell::initTextCell("");
  auto quiet = RecordingContext::make();
  {
    NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(quiet, false));
    emptyCell->drawInteriorWithFrame(NSMakeRect(0, 0, 200, 30), nullptr);
  }
  EXPECT_EQ(quiet->count<Recorded::DrawText>(), 0u);
}

}  // namespace

#include <fstream>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "service/AssetCache.h"
#include "ui/NSImageViewExtensions.h"

namespace {

std::vector<std::uint8_t> heartPNG() {
  std::ifstream in(NSBundle::mainBundle()->resourcePath() / "images" / "redHeart@2x.png", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(InterfaceExtensionsTest, ImagesLoadFromFilesAndTheCacheAndBadDataChangesNothing) {
  auto bytes = heartPNG();
  ASSERT_FALSE(bytes.empty());
  auto view = NSImageView::initWithFrame(NSMakeRect(0, 0, 20, 20));

  auto file = home() / "heart.png";
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  EXPECT_FALSE(networkLoadImageWithPath(view, NSURL::fileURLWithPath(file.string())));
  EXPECT_FALSE(view->image()) << "read and decoded away from the main thread, set on it";
  ASSERT_TRUE(runUntil([&] { return view->image() != nullptr; }));
  auto first = view->image();

  auto garbage = home() / "garbage.png";
  std::ofstream(garbage) << "not a picture";
  networkLoadImageWithPath(view, NSURL::fileURLWithPath(garbage.string()));
  networkLoadImageWithPath(view, NSURL::fileURLWithPath((home() / "missing.png").string()));
  // Loads are done in the order asked: once a later one shows, those two are done.
  auto later = NSImageView::initWithFrame(NSMakeRect(0, 0, 20, 20));
  networkLoadImageWithPath(later, NSURL::fileURLWithPath(file.string()));
  ASSERT_TRUE(runUntil([&] { return later->image() != nullptr; }));
  EXPECT_EQ(view->image(), first);

  const std::string remote = "http://127.0.0.1:1/badge.png";
  AssetCache::shared()->cacheAssetWithData(NSData::make(bytes), remote, std::nullopt);
  auto other = NSImageView::initWithFrame(NSMakeRect(0, 0, 20, 20));
  EXPECT_FALSE(networkLoadImageWithPath(other, NSURL::URLWithString(remote))) << "no download for a cached key";
  EXPECT_TRUE(runUntil([&] { return other->image() != nullptr; }));
}

TEST_F(InterfaceExtensionsTest, ALoadedImageIsKeptAtTheSizeOfTheViewItShowsIn) {
  // 2000 pixels a side in a view of 20 points: 40 pixels a side at two pixels a point, the
  // image's size still the picture's own.
  const std::string big = hostile::png(2000);
  const std::string remote = "http://127.0.0.1:1/large-badge.png";
  AssetCache::shared()->cacheAssetWithData(NSData::fromString(big), remote, std::nullopt);
  auto file = home() / "large.png";
  std::ofstream(file, std::ios::binary) << big;
  for (const auto& url : {NSURL::fileURLWithPath(file.string()), NSURL::URLWithString(remote)}) {
    SCOPED_TRACE(url->absoluteString());
    auto view = NSImageView::initWithFrame(NSMakeRect(0, 0, 20, 10));
    networkLoadImageWithPath(view, url);
    ASSERT_TRUE(runUntil([&] { return view->image() != nullptr; }));
    EXPECT_EQ(view->image()->size(), NSMakeSize(2000, 2000));
    EXPECT_EQ(view->image()->pixelWidth(), 40);
    EXPECT_EQ(view->image()->pixelHeight(), 40);
  }
}

}  // namespace

#include "app/AppDelegate.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSTouchBar.h"
#include "app/NSApplicationExtensions.h"
#include "ui/NSWindowExtensions.h"

namespace {

TEST_F(InterfaceExtensionsTest, TheStandardShadowIsCarriedByTheLayer) {
  auto view = NSView::initWithFrame(NSMakeRect(0, 0, 40, 20));
  createShadow(*view);
  ASSERT_TRUE(view->shadow());
  EXPECT_NEAR(view->shadow()->shadowColor->alphaComponent(), 0.35, 1e-9);
  EXPECT_EQ(view->shadow()->shadowOffset, NSMakeSize(0, -2));
  EXPECT_EQ(view->shadow()->shadowBlurRadius, 2.0);
  ASSERT_TRUE(view->layer()) << "shadows are drawn by layers";
  EXPECT_EQ(view->layer()->shadowOpacity(), 1.0);
  EXPECT_EQ(view->layer()->shadowOffset(), NSMakeSize(0, -2));
  EXPECT_EQ(view->layer()->shadowRadius(), 2.0);
  EXPECT_EQ(view->layer()->shadowColor(), NSColorPalette::standardShadowBlack()->CGColor());

  view->setShadow(nullptr);
  EXPECT_EQ(view->layer()->shadowOpacity(), 0.0) << "removing the shadow hides the layer's";
}

TEST_F(InterfaceExtensionsTest, CentringUsesTheDisplaySizeOnlyAndLeavesWindowsOffEveryDisplay) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(10, 10, 400, 300), NSWindowStyleMaskBorderless);
  setFrameOriginToCenterOfScreen(*window);
  EXPECT_EQ(window->frame(), NSMakeRect(520, 300, 400, 300));

  // On a second display to the right, the origin of that display is not added.
  NSScreen::setScreens({NSScreen::make(NSMakeRect(0, 0, 1440, 900)), NSScreen::make(NSMakeRect(1440, 0, 1920, 1080))});
  window->setFrameOrigin(NSMakePoint(1600, 100));
  ASSERT_EQ(window->screen(), NSScreen::screens()[1]);
  setFrameOriginToCenterOfScreen(*window);
  EXPECT_EQ(window->frame().origin, NSMakePoint(760, 390));

  window->setFrameOrigin(NSMakePoint(-5000, -5000));
  EXPECT_FALSE(window->screen());
  setFrameOriginToCenterOfScreen(*window);
  EXPECT_EQ(window->frame().origin, NSMakePoint(-5000, -5000));

  NSScreen::setScreens({});
  window->setFrameOrigin(NSMakePoint(0, 0));
  setFrameOriginToCenterOfScreen(*window);
  EXPECT_EQ(window->frame().origin, NSMakePoint(0, 0)) << "no display at all";
}

class OtherDelegate : public NSApplicationDelegate {};

TEST_F(InterfaceExtensionsTest, TheApplicationDelegateIsFoundOnlyWhenItIsOurs) {
  EXPECT_FALSE(getAppDelegate());
  auto other = std::make_shared<OtherDelegate>();
  NSApp()->setDelegate(other);
  EXPECT_FALSE(getAppDelegate());
  auto ours = AppDelegate::make();
  NSApp()->setDelegate(ours);
  EXPECT_EQ(getAppDelegate(), ours);
}

TEST_F(InterfaceExtensionsTest, ATextViewIsTheDelegateOfItsOwnTouchBar) {
  auto textView = NSTextView::initWithFrame(NSMakeRect(0, 0, 100, 20));
  auto bar = textView->touchBar();
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->delegate(), std::shared_ptr<NSTouchBarDelegate>(textView));
  EXPECT_EQ(textView->touchBar(), bar) << "made once";
  EXPECT_FALSE(NSView::initWithFrame(NSMakeRect(0, 0, 1, 1))->touchBar()) << "plain views show none";
}

}  // namespace
