#pragma once
// The field class that interface files name for fields whose text sits in the vertical
// middle; the centring itself is done by the vertically aligned cells.

#include <memory>

#include "platform/appkit/NSTextField.h"

class NSTextFieldVerticalCenter : public NSTextField {
 public:
  static std::shared_ptr<NSTextFieldVerticalCenter> initWithFrame(NSRect frame);
  GLIMDECK_OBJECT(NSTextFieldVerticalCenter)

 protected:
  using NSTextField::NSTextField;
};
