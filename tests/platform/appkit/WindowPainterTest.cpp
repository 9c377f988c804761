// The pixels a desktop keeps of a window, painted again only where the picture changed:
// after any change (moves by fractions of a point, resizes, hides, removals, fades, layers
// changed behind the views' backs, scrolling, shadows cut by a repaint) they equal a full
// painting of the same tree, at one and two pixels a point, while a small change paints a
// small part of the window.

#include <gtest/gtest.h>

#include <functional>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/appkit/WindowPainter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CAGradientLayer.h"
#include "platform/quartz/CALayer.h"
#include "platform/quartz/CGPath.h"
#include "platform/render/CairoContext.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"
#include "tests/support/RepaintCheck.h"
#include "tests/support/UISimulator.h"

namespace {

// Two colours drawn by drawRect, split on a slant (edges inside pixels).
class SplitSwatch : public NSView {
 public:
  static std::shared_ptr<SplitSwatch> make(NSRect frame, double r, double g, double b) {
    auto view = finishInit(std::shared_ptr<SplitSwatch>(new SplitSwatch(frame)));
    view->colour = NSColor::colorWithSRGBRed(r, g, b, 1);
    return view;
  }
  std::shared_ptr<NSColor> colour;
  void drawRect(NSRect) override {
    NSRect b = bounds();
    NSColor::whiteColor()->set();
    NSRectFill(b);
    auto context = NSGraphicsContext::currentContext();
    auto& cg = context->CGContext();
    cg.setFillColor(colour->CGColor());
    CGPath slant;
    slant.moveTo(b.origin);
    slant.lineTo({b.maxX(), b.minY()});
    slant.lineTo({b.minX() + b.width() / 3, b.maxY()});
    slant.closePath();
    cg.fillPath(slant, CGFillRule::nonZero);
  }

 private:
  using NSView::NSView;
};

// Fades the layer over the clock, from one opacity to another.
void fade(CALayer& layer, double from, double to, double duration) {
  auto animation = CABasicAnimation::animationWithKeyPath("opacity");
  animation->fromValue = NSNumber::numberWithDouble(from);
  animation->toValue = NSNumber::numberWithDouble(to);
  animation->duration = duration;
  layer.addAnimation(animation, "fade");
}

std::shared_ptr<NSShadow> dropShadow(double blur = 2.0) {
  auto shadow = NSShadow::make();
  shadow->shadowColor = NSColor::colorWithSRGBRed(0, 0, 0, 0.5);
  shadow->shadowOffset = NSSize{0, -2};
  shadow->shadowBlurRadius = blur;
  return shadow;
}

class WindowPainterTest : public UITest, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    UITest::SetUp();
    check = RepaintCheck::install(GetParam());
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 200), NSWindowStyleMaskBorderless);
    window->backgroundColor = NSColor::colorWithSRGBRed(0.9, 0.9, 0.95, 1);
    auto content = window->contentView();

    card = NSView::initWithFrame(NSMakeRect(20.3, 30.6, 120.4, 80.2));
    card->setWantsLayer(true);
    card->layer()->setBackgroundColor(CGColor{1, 1, 1, 1});
    card->layer()->setCornerRadius(4);
    card->setShadow(dropShadow());
    content->addSubview(card);
    field = SplitSwatch::make(NSMakeRect(10.5, 10.25, 60.5, 20.5), 0.2, 0.5, 0.9);
    card->addSubview(field);
    label = NSTextField::labelWithString("Fractions");
    label->setFrame(NSMakeRect(10.5, 40.7, 100, 22));
    card->addSubview(label);

    strip = NSView::initWithFrame(NSMakeRect(160.25, 20.5, 120.5, 40.5));
    strip->setWantsLayer(true);
    gradient = CAGradientLayer::layer();
    gradient->colors = {CGColor{0.3, 0.7, 1, 1}, CGColor{0.2, 0.5, 0.9, 1}};
    gradient->setFrame(strip->bounds());
    strip->layer()->addSublayer(gradient);
    // Laid on from kept pixels, which its changes below must make again.
    strip->layer()->setShouldRasterize(true);
    content->addSubview(strip);

    scroll = NSScrollView::initWithFrame(NSMakeRect(160.5, 80.5, 120, 100));
    auto document = NSView::initWithFrame(NSMakeRect(0, 0, 120, 400));
    for (int i = 0; i < 8; ++i) {
      auto tile = NSView::initWithFrame(NSMakeRect(5, 5 + i * 49.5, 110, 44.3));
      tile->setWantsLayer(true);
      tile->layer()->setBackgroundColor(CGColor{0.1 * i, 0.4, 0.8 - 0.08 * i, 1});
      tile->setShadow(dropShadow(3));
      document->addSubview(tile);
    }
    // Every other tile a clear view casting the shadow of the rounded card it holds.
    for (std::size_t i = 1; i < 8; i += 2) {
      auto tile = document->subviews()[i];
      tile->layer()->setBackgroundColor(CGColor{0, 0, 0, 0});
      auto face = NSView::initWithFrame(tile->bounds());
      face->setWantsLayer(true);
      face->layer()->setBackgroundColor(CGColor{0.9, 0.5 - 0.05 * double(i), 0.2, 1});
      face->layer()->setCornerRadius(4);
      face->layer()->setMasksToBounds(true);
      face->addSubview(SplitSwatch::make(NSMakeRect(3.5, 3.5, 60, 30), 0.1, 0.2, 0.9));
      tile->addSubview(face);
    }
    scroll->setDocumentView(document);
    content->addSubview(scroll);

    // A clear view whose shadow its opaque subview casts, as a button's shadow view does.
    carrier = NSView::initWithFrame(NSMakeRect(20.5, 130.25, 100.5, 40.5));
    carrier->setWantsLayer(true);
    carrier->layer()->setBackgroundColor(CGColor{0, 0, 0, 0});
    carrier->setShadow(dropShadow(3));
    badge = NSView::initWithFrame(NSMakeRect(0, 0, 100.5, 40.5));
    badge->setWantsLayer(true);
    badge->layer()->setBackgroundColor(CGColor{0.1, 0.5, 0.9, 1});
    carrier->addSubview(badge);
    note = NSTextField::labelWithString("ab");
    note->setFrame(NSMakeRect(62.5, 8.25, 36, 22));
    carrier->addSubview(note);
    content->addSubview(carrier);

    // A row of tiles whose clear views cast the shadows of the rounded cards they hold.
    for (int i = 0; i < 3; ++i) {
      auto tile = NSView::initWithFrame(NSMakeRect(150.5 + i * 45.25, 2.5, 40.5, 15.25));
      tile->setWantsLayer(true);
      tile->setShadow(dropShadow(2));
      auto face = SplitSwatch::make(tile->bounds(), 0.2 * i, 0.6, 0.3);
      face->setWantsLayer(true);
      face->layer()->setBackgroundColor(CGColor{0.5, 0.5, 0.5, 1});
      face->layer()->setCornerRadius(4);
      face->layer()->setMasksToBounds(true);
      tile->addSubview(face);
      content->addSubview(tile);
      faces.push_back(face);
    }
    window->makeKeyAndOrderFront(nullptr);
  }
  void TearDown() override {
    window->orderOut(nullptr);
    RepaintCheck::uninstall();
    UITest::TearDown();
  }

  std::shared_ptr<RepaintCheck> check;
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NSView> card, strip, carrier, badge;
  std::shared_ptr<SplitSwatch> field;
  std::shared_ptr<NSTextField> label, note;
  std::shared_ptr<CAGradientLayer> gradient;
  std::shared_ptr<NSScrollView> scroll;
  std::vector<std::shared_ptr<SplitSwatch>> faces;
};

struct Step {
  const char* what;
  std::function<void()> change;
  // At most this share of the window is painted again (1: anything goes).
  double mostPainted = 1.0;
};

TEST_P(WindowPainterTest, AfterEveryChangeTheKeptPixelsEqualAFullPainting) {
  ASSERT_EQ(check->mismatch(window), "");
  check->paintedShare(window);
  auto content = window->contentView();
  auto nested = CALayer::layer();
  auto chip = NSView::initWithFrame(NSMakeRect(60.25, 8.5, 30.5, 20.25));
  auto mask = CALayer::layer();
  auto tileSwatch = [&] { return scroll->documentView()->subviews().at(3)->subviews().at(0)->subviews().at(0); };
  const Step steps[] = {
      {"the field redraws inside the shadowed card", [&] {
         field->colour = NSColor::colorWithSRGBRed(0.9, 0.3, 0.2, 1);
         field->setNeedsDisplay(true);
       }, 0.3},
      {"the card moves by fractions of a point", [&] { card->setFrameOrigin({24.7, 33.35}); }},
      {"the card grows", [&] { card->setFrameSize({150.6, 95.9}); }},
      {"the field moves half out of the card", [&] { field->setFrameOrigin({120.25, 5.5}); }},
      {"the label is hidden", [&] { label->setHidden(true); }},
      {"the card is hidden with its subviews", [&] { card->setHidden(true); }},
      {"the card shows again", [&] { card->setHidden(false); }},
      {"the card fades to half", [&] { card->setAlphaValue(0.5); }},
      {"the card fades out", [&] { card->setAlphaValue(0.0); }},
      {"the card is back", [&] { card->setAlphaValue(1.0); }},
      {"the field leaves the card for the window", [&] {
         field->removeFromSuperview();
         field->setFrameOrigin({150.5, 150.5});
         content->addSubview(field);
       }},
      {"the field is removed", [&] { field->removeFromSuperview(); }},
      {"the card's layer changes colour and corners without asking for display", [&] {
         card->layer()->setBackgroundColor(CGColor{1, 0.9, 0.6, 1});
         card->layer()->setCornerRadius(12);
       }},
      {"the card loses its shadow", [&] { card->setShadow(nullptr); }},
      {"a shadowed chip is added to the card", [&] {
         chip->setWantsLayer(true);
         chip->layer()->setBackgroundColor(CGColor{0.2, 0.6, 0.3, 1});
         chip->setShadow(dropShadow(3));
         card->addSubview(chip);
       }},
      {"what the card shows shifts inside it", [&] { card->setBoundsOrigin({-14.5, 10.25}); }},
      {"the chip's layer drops its shadow behind the view's back", [&] { chip->layer()->setShadowOpacity(0); }},
      {"a sublayer shrinks without asking for display", [&] {
         gradient->setFrame(NSMakeRect(10.5, 5.25, 50.5, 20.5));
       }},
      {"the gradient changes colours", [&] { gradient->colors = {CGColor{1, 0, 0, 1}, CGColor{0, 1, 0, 1}}; }},
      {"the gradient turns across the strip", [&] {
         gradient->startPoint = {0, 0.5};
         gradient->endPoint = {1, 0.5};
       }, 0.3},
      {"the gradient's stops move", [&] { gradient->locations = {0.3, 0.6}; }, 0.3},
      {"a layer is added inside the gradient's", [&] {
         nested->setFrame(NSMakeRect(4.25, 3.5, 12.5, 8.25));
         nested->setBackgroundColor(CGColor{0.1, 0.1, 0.1, 1});
         gradient->addSublayer(nested);
       }, 0.3},
      {"the nested layer changes colour without asking for display", [&] {
         nested->setBackgroundColor(CGColor{0.9, 0.9, 0.1, 1});
       }, 0.3},
      {"the nested layer moves", [&] { nested->setPosition({30.75, 12.25}); }, 0.3},
      {"the nested layer is taken out", [&] { nested->removeFromSuperlayer(); }, 0.3},
      {"the strip's layer starts to fade", [&] { fade(*strip->layer(), 1, 0.2, 1.0); }},
      {"the fade is halfway", [&] { ui.advance(0.5); }},
      {"the fade ends", [&] { ui.advance(0.75); }},
      {"the strip's layer gets a mask", [&] {
         mask->setFrame(NSMakeRect(0, 0, 60.25, 40.5));
         mask->setBackgroundColor(CGColor{0, 0, 0, 1});
         strip->layer()->setMask(mask);
       }},
      {"the mask narrows", [&] { mask->setFrame(NSMakeRect(0, 0, 30.5, 40.5)); }},
      {"one list tile redraws among neighbours whose shadows reach it", [&] {
         auto tiles = scroll->documentView()->subviews();
         tiles[6]->layer()->setBackgroundColor(CGColor{0.9, 0.2, 0.4, 1});
       }, 0.2},
      {"the list scrolls by fractions", [&] { scroll->scrollToPoint({0, 37.25}); }},
      {"the list scrolls again", [&] { scroll->scrollToPoint({0, 161.5}); }},
      {"the list moves with all it holds", [&] { scroll->setFrameOrigin({158.75, 78.25}); }},
      {"then a tile in it is hidden", [&] { scroll->documentView()->subviews().at(4)->setHidden(true); }},
      {"and shows again", [&] { scroll->documentView()->subviews().at(4)->setHidden(false); }},
      {"a list tile moves under its neighbour's shadow", [&] {
         auto tiles = scroll->documentView()->subviews();
         tiles[4]->setFrameOrigin({9.5, tiles[4]->frame().minY() + 20.3});
       }},
      {"the strip is removed with its layers", [&] { strip->removeFromSuperview(); }},
      {"a card redraws between its neighbours, whose shadows reach it", [&] {
         faces[1]->colour = NSColor::colorWithSRGBRed(0.9, 0.1, 0.5, 1);
         faces[1]->setNeedsDisplay(true);
       }, 0.2},
      {"a card changes its corners", [&] { faces[0]->layer()->setCornerRadius(8); }},
      {"a view deep inside a list tile's rounded face moves", [&] {
         auto tiles = scroll->documentView()->subviews();
         tiles[5]->subviews().at(0)->subviews().at(0)->setFrameOrigin({20.25, 6.75});
       }, 0.2},
      {"a view inside another list tile is hidden", [&] { tileSwatch()->setHidden(true); }, 0.2},
      {"it shows again", [&] { tileSwatch()->setHidden(false); }, 0.2},
      {"it is removed", [&] { tileSwatch()->removeFromSuperview(); }, 0.2},
      {"a view is added inside a list tile", [&] {
         scroll->documentView()->subviews().at(4)->addSubview(SplitSwatch::make(NSMakeRect(30.5, 8.25, 20, 12.5), 0.9, 0.8, 0.1));
       }, 0.2},
      {"the shadow carrier moves", [&] { carrier->setFrameOrigin({175.25, 140.5}); }},
      {"then a label in it changes, and the shadow around its new place with it", [&] { note->setStringValue("xy"); },
       0.2},
      {"a shadow carrier's subview shrinks, and its shadow with it", [&] { badge->setFrameSize({60.25, 30.5}); }},
      {"a label in the carrier changes its text, and the shadow of its letters", [&] { note->setStringValue("WM"); },
       0.2},
      {"the subview is hidden: no shadow is left", [&] { badge->setHidden(true); }},
      {"it shows again", [&] { badge->setHidden(false); }},
      {"it leaves the carrier", [&] { badge->removeFromSuperview(); }},
      {"a list tile comes in front of its neighbours", [&] {
         auto document = scroll->documentView();
         document->addSubview(document->subviews().at(3), NSWindowOrderingMode::above, nullptr);
       }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    EXPECT_EQ(check->mismatch(window), "");
    EXPECT_LE(check->paintedShare(window), step.mostPainted);
  }
}

TEST_P(WindowPainterTest, NothingIsPaintedWhenNothingChanged) {
  ASSERT_EQ(check->mismatch(window), "");
  check->paintedShare(window);
  EXPECT_EQ(check->paintedShare(window), 0.0);
  // A view asking for display again gets its own extent (and its shadow's) painted.
  label->setNeedsDisplay(true);
  double share = check->paintedShare(window);
  EXPECT_GT(share, 0.0);
  EXPECT_LT(share, 0.3);
}

// The painter draws what changed; the display pass then only marks the views displayed
// (a hidden one stays to be displayed, as a drawing pass leaves it) and records nothing.
TEST_P(WindowPainterTest, AWindowTheServerPaintsIsNotDrawnASecondTime) {
  ASSERT_EQ(check->mismatch(window), "");
  field->setHidden(true);
  ASSERT_EQ(check->mismatch(window), "");
  field->setNeedsDisplay(true);
  label->setStringValue("Changed");
  gradient->setNeedsDisplay();
  window->displayIfNeeded();
  EXPECT_TRUE(window->backingStore()->calls().empty()) << window->backingStore()->transcript();
  EXPECT_FALSE(label->needsDisplay());
  EXPECT_TRUE(field->needsDisplay());
  field->setHidden(false);
  EXPECT_EQ(check->mismatch(window), "");
  EXPECT_FALSE(field->needsDisplay());
  check->paintedShare(window);
  EXPECT_EQ(check->paintedShare(window), 0.0) << "nothing is left to paint";
}

// A pass names the views whose layers (or sublayers) animate, for as long as they do: those
// a desktop paints again at every frame.
TEST_P(WindowPainterTest, APassNamesTheViewsWhoseLayersAnimate) {
  WindowPainter painter(window);
  auto named = [&] {
    painter.paint(window->contentView()->frame().size, GetParam());
    std::vector<std::shared_ptr<NSView>> views;
    for (const auto& view : painter.animating()) views.push_back(view.lock());
    return views;
  };
  EXPECT_TRUE(named().empty());
  fade(*gradient, 1, 0, 1.0);
  fade(*card->layer(), 1, 0.5, 2.0);
  label->setWantsLayer(true);
  label->setHidden(true);
  fade(*label->layer(), 1, 0.5, 2.0);
  EXPECT_EQ(named(), (std::vector<std::shared_ptr<NSView>>{card, strip}));
  EXPECT_EQ(named(), (std::vector<std::shared_ptr<NSView>>{card, strip})) << "still animating at the next pass";
  ui.advance(1.5);
  EXPECT_EQ(named(), (std::vector<std::shared_ptr<NSView>>{card}));
  ui.advance(1.0);
  EXPECT_TRUE(named().empty());
}

INSTANTIATE_TEST_SUITE_P(Scales, WindowPainterTest, ::testing::Values(1.0, 2.0),
                         [](const auto& info) { return info.param == 1.0 ? "OnePixelAPoint" : "TwoPixelsAPoint"; });

// Views that show nothing paint nothing: their shadows and layers do not reach the picture.
TEST(WindowPaintingTest, ViewsThatShowNothingLeaveThePictureAsItWas) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 150), NSWindowStyleMaskBorderless);
  window->backgroundColor = NSColor::whiteColor();
  auto picture = [&] {
    auto canvas = CairoContext::make(NSMakeSize(200, 150), 2.0);
    ViewTreeRenderer::drawWindow(window, *canvas);
    return canvas->pixels().rgba;
  };
  auto before = picture();
  auto shadowed = [&](NSRect frame) {
    auto view = NSView::initWithFrame(frame);
    view->setWantsLayer(true);
    view->layer()->setBackgroundColor(CGColor{0, 0, 0, 1});
    view->setShadow(dropShadow(4));
    window->contentView()->addSubview(view);
    return view;
  };
  shadowed(NSMakeRect(10, 100, 180, 0));  // a collapsed list
  shadowed(NSMakeRect(100, 10, 0, 50));
  shadowed(NSMakeRect(20, 20, 60, 60))->setHidden(true);
  auto faded = shadowed(NSMakeRect(30, 30, 60, 60));
  faded->setAlphaValue(0.0);
  faded->addSubview(SplitSwatch::make(NSMakeRect(5, 5, 20, 20), 1, 0, 0));
  EXPECT_EQ(picture(), before);
}

}  // namespace
