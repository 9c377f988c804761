// Painting part of a window (what the desktop's window does with damage) draws the views
// whose drawing can reach that part and no others, layer-backed ones included: a view is
// left out by its bounds and its layer's extent (its shadow, the sublayers it does not clip).

#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/CairoContext.h"
#include "tests/support/UISimulator.h"

namespace {

class CountingView : public NSView {
 public:
  static std::shared_ptr<CountingView> initWithFrame(NSRect frame) { return create(frame); }
  int drawn = 0;
  void drawRect(NSRect) override { ++drawn; }
  GLIMDECK_OBJECT(CountingView)

 protected:
  using NSView::NSView;
};

class RegionPaintingTest : public UITest {};

TEST_F(RegionPaintingTest, OnlyViewsThatCanReachTheRegionAreDrawn) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 300), NSWindowStyleMaskBorderless);
  auto content = window->contentView();
  auto plain = CountingView::initWithFrame(NSMakeRect(10, 10, 50, 50));
  auto backed = CountingView::initWithFrame(NSMakeRect(100, 10, 50, 50));
  backed->setWantsLayer(true);
  // Its shadow reaches 2 × 4 + 6 points beyond its frame.
  auto shadowed = CountingView::initWithFrame(NSMakeRect(200, 10, 50, 50));
  shadowed->setWantsLayer(true);
  shadowed->layer()->setShadowOpacity(1);
  shadowed->layer()->setShadowRadius(4);
  shadowed->layer()->setShadowOffset({0, -6});
  // A sublayer hangs out of its bounds, which it does not clip.
  auto overhanging = CountingView::initWithFrame(NSMakeRect(10, 200, 50, 50));
  overhanging->setWantsLayer(true);
  auto hanging = CALayer::layer();
  hanging->setFrame(NSMakeRect(40, 0, 100, 20));
  overhanging->layer()->addSublayer(hanging);
  // A layer-backed view with a plain child in its lower-left quarter.
  auto outer = CountingView::initWithFrame(NSMakeRect(200, 200, 60, 60));
  outer->setWantsLayer(true);
  auto inner = CountingView::initWithFrame(NSMakeRect(0, 0, 30, 30));
  outer->addSubview(inner);
  std::shared_ptr<CountingView> views[] = {plain, backed, shadowed, overhanging, outer, inner};
  for (const auto& view : {plain, backed, shadowed, overhanging, outer}) content->addSubview(view);
  window->makeKeyAndOrderFront(nullptr);

  struct Case {
    const char* what;
    NSRect region;
    std::vector<bool> drawn;  // plain, backed, shadowed, overhanging, outer, inner
  } cases[] = {
      {"inside the plain view", NSMakeRect(20, 20, 10, 10), {true, false, false, false, false, false}},
      {"inside the backed view", NSMakeRect(120, 20, 10, 10), {false, true, false, false, false, false}},
      {"only the shadow's reach", NSMakeRect(200, 0, 10, 8), {false, false, true, false, false, false}},
      {"beyond the shadow's reach", NSMakeRect(260, 80, 20, 20), {false, false, false, false, false, false}},
      {"where only the sublayer hangs", NSMakeRect(120, 205, 10, 10), {false, false, false, true, false, false}},
      {"inside the child", NSMakeRect(205, 205, 10, 10), {false, false, false, false, true, true}},
      {"beside the child", NSMakeRect(245, 245, 10, 10), {false, false, false, false, true, false}},
      {"nowhere near", NSMakeRect(280, 120, 10, 10), {false, false, false, false, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& view : views) view->drawn = 0;
    auto canvas = CairoContext::make({300, 300});
    canvas->saveGState();
    canvas->clipToRect(c.region);
    NSRect region[] = {c.region};
    ViewTreeRenderer::drawWindow(window, *canvas, region);
    canvas->restoreGState();
    for (std::size_t i = 0; i < std::size(views); ++i) EXPECT_EQ(views[i]->drawn > 0, c.drawn[i]) << "view " << i;
  }
  // Without a region every view draws, as a snapshot does.
  for (const auto& view : views) view->drawn = 0;
  ViewTreeRenderer::imageOfWindow(window);
  for (const auto& view : views) EXPECT_EQ(view->drawn, 1);
}

}  // namespace
