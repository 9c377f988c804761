#pragma once
// A collection item that shows one search term in its label (a text-field cell). Its view
// comes from the interface "TermViewController"; a background colour set on the view's
// layer before it loads gives the item rounded corners.

#include <memory>
#include <string>

#include "platform/appkit/NSCollectionViewItem.h"

class NSTextFieldCell;

class TermViewController : public NSCollectionViewItem {
 public:
  static std::shared_ptr<TermViewController> initWithNibName(std::string nibName);
  static std::shared_ptr<TermViewController> make() { return initWithNibName({}); }

  struct Constants {
    static constexpr double cornerRadius = 10.0;
    static constexpr std::string_view interfaceName = "TermViewController";
  };

  std::weak_ptr<NSTextFieldCell> termLabel;

  const std::string& term() const { return term_; }
  // Stores the term and shows it in the label when the label is connected.
  void setTerm(std::string term);

  // With a layer background colour on the view: that colour again, clipped to rounded
  // corners. Without one the view keeps its square corners.
  void viewDidLoad() override;

  // Registers the builder of the interface "TermViewController" (done once on start-up).
  static void registerInterface();

  GLIMDECK_OBJECT(TermViewController)

 protected:
  using NSCollectionViewItem::NSCollectionViewItem;

 private:
  std::string term_;
};
