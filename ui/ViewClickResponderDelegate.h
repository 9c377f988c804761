#pragma once
// What hears a click on a clickable view or image view.

#include <memory>

class NSView;

class ViewClickResponderDelegate {
 public:
  virtual ~ViewClickResponderDelegate() = default;
  virtual void didClickView(const std::shared_ptr<NSView>& view) = 0;
};
