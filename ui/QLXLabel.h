#pragma once
// The application's label: an arrow pointer over it, and a click reported to a delegate
// (held weakly) instead of travelling on.

#include <memory>

#include "platform/appkit/NSTextField.h"

class QLXLabel;

class QLXLabelClickResponder {
 public:
  virtual ~QLXLabelClickResponder() = default;
  virtual void didClickLabel(const std::shared_ptr<QLXLabel>& label) = 0;
};

class QLXLabel : public NSTextField {
 public:
  static std::shared_ptr<QLXLabel> initWithFrame(NSRect frame);

  std::weak_ptr<QLXLabelClickResponder> clickRespondingDelegate;

  void resetCursorRects() override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;

  GLIMDECK_OBJECT(QLXLabel)

 protected:
  using NSTextField::NSTextField;
};
