// What the X server shows of a kit window after changes painted only where they happened:
// moves and resizes by fractions of a point, hides, removals, fades, layers changed behind
// their views' backs and scrolling leave no seams, stale shadows or other stale pixels; the
// picture always equals a full painting of the same view tree.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/host/DesktopHost.h"
#include "platform/quartz/CALayer.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

std::shared_ptr<NSView> shadowedCard(NSRect frame, CGColor colour) {
  auto view = NSView::initWithFrame(frame);
  view->setWantsLayer(true);
  view->layer()->setBackgroundColor(colour);
  view->layer()->setCornerRadius(3);
  auto shadow = NSShadow::make();
  shadow->shadowColor = NSColor::colorWithSRGBRed(0, 0, 0, 0.35);
  shadow->shadowOffset = NSSize{0, -2};
  shadow->shadowBlurRadius = 2;
  view->setShadow(shadow);
  return view;
}

// Where the X server's picture and a full painting differ by more than a rounding step.
std::string difference(const Screenshot& shot, const std::shared_ptr<NSImage>& full) {
  if (!shot.valid() || !full) return "no picture";
  if (shot.width != full->pixelWidth() || shot.height != full->pixelHeight()) return "the sizes differ";
  int count = 0, x0 = shot.width, y0 = shot.height, x1 = -1, y1 = -1;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      std::uint32_t seen = shot.at(x, y);
      auto painted = full->pixelAt(x, y);
      int channels[3] = {int(seen >> 16 & 0xFF), int(seen >> 8 & 0xFF), int(seen & 0xFF)};
      bool differs = false;
      for (int c = 0; c < 3; ++c) differs |= std::abs(channels[c] - int(painted[c])) > 2;
      if (!differs) continue;
      ++count;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  }
  if (count == 0) return {};
  std::ostringstream text;
  text << count << " pixels differ in x " << x0 << "..." << x1 << ", y " << y0 << "..." << y1;
  return text.str();
}

class HostRepaintTest : public HostTest {};

TEST_F(HostRepaintTest, AfterEveryChangeTheDesktopShowsWhatAFullPaintingGives) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(100, 300, 320, 220), NSWindowStyleMaskBorderless);
  window->backgroundColor = NSColor::whiteColor();
  auto content = window->contentView();
  auto card = shadowedCard(NSMakeRect(20.3, 30.6, 130.4, 90.2), CGColor{1, 1, 1, 1});
  content->addSubview(card);
  auto label = NSTextField::labelWithString("Seams");
  label->setFrame(NSMakeRect(10.5, 50.7, 100, 22));
  card->addSubview(label);
  auto swatch = shadowedCard(NSMakeRect(10.25, 10.75, 50.5, 20.5), CGColor{0.2, 0.5, 0.9, 1});
  card->addSubview(swatch);
  auto scroll = NSScrollView::initWithFrame(NSMakeRect(170.5, 20.5, 130, 180));
  auto document = NSView::initWithFrame(NSMakeRect(0, 0, 130, 500));
  for (int i = 0; i < 9; ++i) {
    document->addSubview(shadowedCard(NSMakeRect(5, 5 + i * 54.5, 120, 49.3), CGColor{0.1 * i, 0.3, 0.7, 1}));
  }
  scroll->setDocumentView(document);
  content->addSubview(scroll);
  showAndWait(window);
  ASSERT_EQ(difference(screenshot(window, "host-repaint-start"), ViewTreeRenderer::imageOfWindow(window)), "");

  struct Step {
    const char* name;
    std::function<void()> change;
  };
  const Step steps[] = {
      {"moved", [&] { card->setFrameOrigin({24.7, 33.35}); }},
      {"resized", [&] { card->setFrameSize({142.6, 101.9}); }},
      {"swatch-out", [&] { swatch->setFrameOrigin({120.25, 5.5}); }},
      {"label-hidden", [&] { label->setHidden(true); }},
      {"faded", [&] { card->setAlphaValue(0.5); }},
      {"layer-recoloured", [&] { card->layer()->setBackgroundColor(CGColor{1, 0.9, 0.6, 1}); card->setNeedsDisplay(true); }},
      {"scrolled", [&] { scroll->scrollToPoint({0, 47.25}); }},
      {"tile-moved", [&] { document->subviews()[5]->setFrameOrigin({9.5, 300.3}); }},
      {"swatch-removed", [&] { swatch->removeFromSuperview(); }},
      {"card-hidden", [&] { card->setHidden(true); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    auto frames = host->framesShown(window);
    step.change();
    ASSERT_TRUE(waitForFrame(window, frames));
    auto shot = screenshot(window, std::string("host-repaint-") + step.name);
    EXPECT_EQ(difference(shot, ViewTreeRenderer::imageOfWindow(window)), "");
  }
}

}  // namespace
