#include "platform/render/NSGraphicsContext.h"

namespace {
struct ContextStack {
  std::shared_ptr<NSGraphicsContext> current;
  std::vector<std::shared_ptr<NSGraphicsContext>> saved;
};
// Drawing happens on one thread at a time; each thread keeps its own current context.
ContextStack& stack() {
  thread_local ContextStack s;
  return s;
}
}  // namespace

std::shared_ptr<NSGraphicsContext> NSGraphicsContext::graphicsContextWithContext(
    std::shared_ptr<GraphicsContext> context, bool flipped) {
  if (!context) return nullptr;
  return create(std::move(context), flipped);
}

std::shared_ptr<NSGraphicsContext> NSGraphicsContext::currentContext() { return stack().current; }

void NSGraphicsContext::setCurrentContext(std::shared_ptr<NSGraphicsContext> context) {
  stack().current = std::move(context);
}

void NSGraphicsContext::saveGraphicsState() {
  auto& s = stack();
  s.saved.push_back(s.current);
  if (s.current) s.current->CGContext().saveGState();
}

void NSGraphicsContext::restoreGraphicsState() {
  auto& s = stack();
  if (s.saved.empty()) return;
  if (s.current) s.current->CGContext().restoreGState();
  s.current = s.saved.back();
  s.saved.pop_back();
}

NSGraphicsContext::Scope::Scope(std::shared_ptr<NSGraphicsContext> context) : previous_(stack().current) {
  stack().current = std::move(context);
}

NSGraphicsContext::Scope::~Scope() { stack().current = previous_; }

void NSRectFill(NSRect rect) {
  if (auto context = NSGraphicsContext::currentContext()) context->CGContext().fillRect(rect);
}

void NSFrameRect(NSRect rect) {
  if (auto context = NSGraphicsContext::currentContext()) {
    // A one-point frame drawn inside the rectangle's edge.
    auto& g = context->CGContext();
    g.fillRect({rect.origin, {rect.width(), 1}});
    g.fillRect({{rect.minX(), rect.maxY() - 1}, {rect.width(), 1}});
    g.fillRect({{rect.minX(), rect.minY()}, {1, rect.height()}});
    g.fillRect({{rect.maxX() - 1, rect.minY()}, {1, rect.height()}});
  }
}
