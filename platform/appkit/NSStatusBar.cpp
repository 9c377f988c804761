#include "platform/appkit/NSStatusBar.h"

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSScreen.h"
#include "platform/quartz/GraphicsContext.h"
#include "platform/render/NSGraphicsContext.h"

namespace {
std::shared_ptr<NSStatusBar>& systemBar() {
  static std::shared_ptr<NSStatusBar> bar;
  return bar;
}
}  // namespace

std::shared_ptr<NSStatusBar> NSStatusBar::systemStatusBar() {
  auto& bar = systemBar();
  if (!bar) bar = create();
  return bar;
}

void NSStatusBar::resetSystemStatusBar() {
  if (auto& bar = systemBar()) {
    for (auto& item : bar->items_) item->window_->orderOut(nullptr);
  }
  systemBar().reset();
}

NSStatusBar::~NSStatusBar() {
  // An item's view commonly keeps its item, which keeps the window that keeps the view:
  // the bar's end lets go of the views.
  for (auto& item : items_) item->window_->setContentView(nullptr);
}

std::shared_ptr<NSStatusItem> NSStatusBar::statusItemWithLength(double length) {
  auto item = NSStatusItem::create();
  item->length_ = std::max(0.0, length);
  auto window = std::shared_ptr<NSStatusBarWindow>(new NSStatusBarWindow());
  window->setUp(NSMakeRect(0, 0, item->length_, thickness()), NSWindowStyleMaskBorderless);
  window->item_ = item;
  window->level = Constants::windowLevel;
  window->opaque = false;
  window->hasShadow = false;
  item->window_ = window;
  items_.push_back(item);
  layoutItems();
  window->orderFrontRegardless();
  return item;
}

void NSStatusBar::removeStatusItem(const std::shared_ptr<NSStatusItem>& item) {
  if (!item || !std::erase(items_, item)) return;
  item->window_->orderOut(nullptr);
  item->window_->setContentView(nullptr);
  layoutItems();
}

void NSStatusBar::layoutItems() {
  auto screen = NSScreen::mainScreen();
  NSRect area = screen ? screen->frame() : NSMakeRect(0, 0, 1440, 900);
  // The first item made sits at the right end, later ones to its left.
  double right = area.maxX();
  for (auto& item : items_) {
    right -= item->length_;
    item->window_->setFrame(NSMakeRect(right, area.maxY() - thickness(), item->length_, thickness()), true);
  }
}

void NSStatusItem::setLength(double length) {
  length_ = std::max(0.0, length);
  NSStatusBar::systemStatusBar()->layoutItems();
}

std::shared_ptr<NSView> NSStatusItem::view() const { return window_->contentView(); }

void NSStatusItem::setView(const std::shared_ptr<NSView>& view) {
  auto content = view ? view : NSView::initWithFrame(NSZeroRect);
  content->setFrame(NSMakeRect(0, 0, length_, NSStatusBar::Constants::thickness));
  window_->setContentView(content);
}

void NSStatusItem::drawStatusBarBackgroundInRect(NSRect rect, bool highlight) {
  if (!highlight) return;
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  auto& cg = context->CGContext();
  cg.setFillColor(NSColor::selectedControlColor()->CGColor());
  cg.fillPath(CGPath::rect(rect), CGFillRule::nonZero);
}
