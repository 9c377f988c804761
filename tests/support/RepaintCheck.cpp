#include "tests/support/RepaintCheck.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/appkit/WindowPainter.h"
#include "platform/render/CairoContext.h"

std::shared_ptr<RepaintCheck> RepaintCheck::install(double scale) {
  std::shared_ptr<RepaintCheck> check(new RepaintCheck(scale));
  WindowServer::setCurrent(check);
  return check;
}

void RepaintCheck::uninstall() { WindowServer::setCurrent(nullptr); }

RepaintCheck::~RepaintCheck() = default;

bool RepaintCheck::windowWillDisplay(const std::shared_ptr<NSWindow>& window, bool whole) {
  auto& kept = kept_[window.get()];
  if (!kept.painter) kept.painter = std::make_unique<WindowPainter>(window);
  NSSize size = window->contentRectForFrameRect(window->frame()).size;
  for (NSRect r : kept.painter->paint(size, scale_, whole)) {
    kept.painted += r.width() * r.height() / std::max(1.0, size.width * size.height);
  }
  return true;  // as a desktop host paints
}

void RepaintCheck::windowDidOrderOut(const std::shared_ptr<NSWindow>& window) { kept_.erase(window.get()); }

std::string RepaintCheck::mismatch(const std::shared_ptr<NSWindow>& window, int tolerance) {
  window->displayIfNeeded();
  auto found = kept_.find(window.get());
  if (found == kept_.end() || !found->second.painter->canvas()) return "the window was never displayed";
  NSSize size = window->contentRectForFrameRect(window->frame()).size;
  auto full = CairoContext::make(size, scale_);
  ViewTreeRenderer::drawWindow(window, *full);
  auto a = found->second.painter->canvas()->pixels();
  auto b = full->pixels();
  if (a.width != b.width || a.height != b.height) return "the sizes differ";
  int count = 0, worst = 0, x0 = a.width, y0 = a.height, x1 = -1, y1 = -1;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      std::size_t at = (static_cast<std::size_t>(y) * a.width + x) * 4;
      int most = 0;
      for (int c = 0; c < 4; ++c) most = std::max(most, std::abs(int(a.rgba[at + c]) - int(b.rgba[at + c])));
      if (most <= tolerance) continue;
      ++count;
      worst = std::max(worst, most);
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  }
  if (count == 0) return {};
  std::ostringstream text;
  text << count << " pixels differ (by up to " << worst << ") in x " << x0 << "..." << x1 << ", y " << y0 << "..."
       << y1 << " from the top left";
  return text.str();
}

double RepaintCheck::paintedShare(const std::shared_ptr<NSWindow>& window) {
  window->displayIfNeeded();
  auto found = kept_.find(window.get());
  if (found == kept_.end()) return 0;
  return std::exchange(found->second.painted, 0.0);
}

void RepaintCheck::writePictures(const std::shared_ptr<NSWindow>& window, const std::string& stem) {
  auto found = kept_.find(window.get());
  if (found == kept_.end() || !found->second.painter->canvas()) return;
  (void)found->second.painter->canvas()->writePNG(stem + "-kept.png");
  auto full = CairoContext::make(window->contentRectForFrameRect(window->frame()).size, scale_);
  ViewTreeRenderer::drawWindow(window, *full);
  (void)full->writePNG(stem + "-full.png");
}
