#pragma once
// A small pie that fills around its centre as a value goes from 0 to 1 (a GIF tile shows
// its download progress with it), and sweeps on its own while the amount is unknown.

#include <memory>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSView.h"
#include "ui/ProgressLayer.h"

class ProgressIndicator : public NSView {
 public:
  static std::shared_ptr<ProgressIndicator> initWithFrame(NSRect frame);

  struct Constants {
    static constexpr std::string_view valueKey = "value";
    // One sweep from empty to full; the unknown-amount animation plays two of them per pass.
    static constexpr double sweepDuration = 1.0;
  };

  std::shared_ptr<ProgressLayer> progressLayer() const;

  // The layer's value. Writing it does not redraw; setValue(value, animated, duration) does.
  double value() const;
  void setValue(double value);
  void setValue(double value, bool animated, double duration);

  std::shared_ptr<NSColor> color() const { return color_; }
  void setColor(std::shared_ptr<NSColor> color);

  // Shows the indicator sweeping again and again; stop clears that and hides it.
  void start();
  void stop();

  GLIMDECK_OBJECT(ProgressIndicator)

 protected:
  using NSView::NSView;
  void didInit() override;

 private:
  std::shared_ptr<NSColor> color_;
};
