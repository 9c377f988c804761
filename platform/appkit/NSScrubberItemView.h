#pragma once
// The views a scrubber shows, one per item. A scrubber keeps the views of items that left
// the bar and hands them out again for other items, so whoever configures an item view
// sets everything it shows.

#include <memory>
#include <string>

#include "platform/appkit/NSView.h"

class NSTextField;

class NSScrubberItemView : public NSView {
 public:
  static std::shared_ptr<NSScrubberItemView> initWithFrame(NSRect frame);
  // The identifier the scrubber made the view under (empty for a view made elsewhere).
  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  GLIMDECK_OBJECT(NSScrubberItemView)

 protected:
  using NSView::NSView;

 private:
  friend class NSScrubber;
  std::string reuseIdentifier_;
};

// An item that shows one short text, centred.
class NSScrubberTextItemView : public NSScrubberItemView {
 public:
  static std::shared_ptr<NSScrubberTextItemView> initWithFrame(NSRect frame);
  std::shared_ptr<NSTextField> textField() const { return textField_; }
  std::string title() const;
  void setTitle(std::string title);
  GLIMDECK_OBJECT(NSScrubberTextItemView)

 protected:
  using NSScrubberItemView::NSScrubberItemView;
  void didInit() override;

 private:
  std::shared_ptr<NSTextField> textField_;
};
