// Plays arbitrary bytes as an animated picture in an image view on a manual clock, with
// jumps of time taken from the input: the frame shown must always exist, drawing must not
// fault, and playback must never queue more than one pending redraw per view.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/appkit/ImageAnimation.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/render/CairoContext.h"
#include "platform/render/NSGraphicsContext.h"

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "gif_animation: %s\n", what);
  std::abort();
}

ManualClock& fuzzClock() {
  static auto made = [] {
    auto c = std::make_shared<ManualClock>(1e9);
    Clock::setCurrent(c);
    return c;
  }();
  return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto image = NSImage::initWithData(NSData::make(std::vector<std::uint8_t>(data, data + size)));
  if (!image) return 0;
  auto& manual = fuzzClock();
  ImageAnimation animation(**image);
  if (animation.frameCount() != (*image)->frameCount()) fault("frames lost");
  // Every frame shows longer than the shortest delay played as asked.
  if ((*image)->isAnimated() &&
      !(animation.passDuration() >= ImageAnimation::kShortDelay * double(animation.frameCount()) * 0.999)) {
    fault("a pass shorter than its frames' shortest delays");
  }
  auto view = NSImageView::initWithFrame(NSMakeRect(0, 0, 16, 16));
  view->setImage(*image);
  auto canvas = CairoContext::make({16, 16});
  std::shared_ptr<GraphicsContext> port = canvas;
  NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(port, false));
  // The last bytes steer the clock: small steps, then one jump of hours.
  for (std::size_t i = 0; i < 8; ++i) {
    std::uint8_t step = size > i ? data[size - 1 - i] : 0;
    manual.advance(i == 7 ? 3600.0 * step : step / 100.0);
    if (view->currentFrame() >= (*image)->frameCount()) fault("a frame past the last");
    auto position = animation.at(double(step) * i);
    if (position.frame >= animation.frameCount() && animation.frameCount() > 0) fault("a position past the last frame");
    if (position.nextChange && !(*position.nextChange > double(step) * i)) fault("a next change that is not later");
    view->drawRect(view->bounds());
    if (NSRunLoop::main()->pendingTimerCount() > 16) fault("redraws pile up");
  }
  NSRunLoop::main()->reset();
  return 0;
}
