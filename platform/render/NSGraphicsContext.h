#pragma once
// The context that drawRect: code draws into: the current one is set by whoever draws a
// view (the renderer) and read by colour, shadow and fill helpers.

#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/quartz/GraphicsContext.h"

class NSGraphicsContext : public NSObject {
 public:
  static std::shared_ptr<NSGraphicsContext> graphicsContextWithContext(std::shared_ptr<GraphicsContext> context,
                                                                       bool flipped);

  // The context of the drawing in progress on the main thread, or none.
  static std::shared_ptr<NSGraphicsContext> currentContext();
  static void setCurrentContext(std::shared_ptr<NSGraphicsContext> context);
  // Saves the current context's drawing state and remembers which context is current;
  // restore brings both back. Without a current context only the latter happens.
  static void saveGraphicsState();
  static void restoreGraphicsState();

  GraphicsContext& CGContext() const { return *context_; }
  const std::shared_ptr<GraphicsContext>& graphicsPort() const { return context_; }
  bool isFlipped() const { return flipped_; }

  std::string className() const override { return "NSGraphicsContext"; }

  // Makes a context current for the life of the scope, then restores the previous one.
  class Scope {
   public:
    explicit Scope(std::shared_ptr<NSGraphicsContext> context);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    std::shared_ptr<NSGraphicsContext> previous_;
  };

 private:
  NSGraphicsContext(std::shared_ptr<GraphicsContext> context, bool flipped)
      : context_(std::move(context)), flipped_(flipped) {}
  std::shared_ptr<GraphicsContext> context_;
  bool flipped_;
};

// Fills or outlines a rectangle with the current context's fill colour; no context, nothing.
void NSRectFill(NSRect rect);
void NSFrameRect(NSRect rect);
