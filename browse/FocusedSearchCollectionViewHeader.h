#pragma once
// The section header of the focused-search strip: a title over the section's tiles. Its
// interface is "FocusedSearchCollectionViewHeader".

#include <memory>
#include <optional>
#include <string>

#include "platform/appkit/NSView.h"

class NSTextField;

class FocusedSearchCollectionViewHeader : public NSView {
 public:
  static std::shared_ptr<FocusedSearchCollectionViewHeader> initWithFrame(NSRect frame);

  struct Constants {
    static constexpr std::string_view interfaceName = "FocusedSearchCollectionViewHeader";
  };

  std::weak_ptr<NSTextField> titleLabel;

  const std::optional<std::string>& titleText() const { return titleText_; }
  // Stores the title and shows it (none shows an empty title).
  void setTitleText(std::optional<std::string> text);

  // Registers the builder of the interface (done once on start-up).
  static void registerInterface();

  GLIMDECK_OBJECT(FocusedSearchCollectionViewHeader)

 protected:
  using NSView::NSView;

 private:
  std::optional<std::string> titleText_;
};
