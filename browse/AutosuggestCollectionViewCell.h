#pragma once
// One row of the autosuggest strip: a suggested term, on an off-white background while the
// arrow keys have it selected. Its interface is "AutosuggestCollectionViewCell".

#include <memory>
#include <optional>
#include <string>

#include "platform/appkit/NSCollectionViewItem.h"

class AutosuggestCollectionViewCell : public NSCollectionViewItem {
 public:
  static std::shared_ptr<AutosuggestCollectionViewCell> make();

  struct Constants {
    static constexpr std::string_view interfaceName = "AutosuggestCollectionViewCell";
  };

  std::weak_ptr<NSTextField> termLabel;

  const std::optional<std::string>& term() const { return term_; }
  // A term shows in the label; none leaves the label as it was.
  void setTerm(std::optional<std::string> term);
  void setSelected(bool selected) override;

  static void registerInterface();

  GLIMDECK_OBJECT(AutosuggestCollectionViewCell)

 protected:
  using NSCollectionViewItem::NSCollectionViewItem;

 private:
  std::optional<std::string> term_;
};
