#pragma once
// The controller of one element a collection view shows: its view (from the interface
// registered under the item's nib name, or an empty view), whether it is selected, and the
// collection view that made it. Collection views reuse items: an item that stops being
// displayed waits in a pool until the view hands it out again, after prepareForReuse.

#include <memory>
#include <string>

#include "platform/appkit/NSViewController.h"

class NSCollectionView;
class NSImageView;
class NSTextField;

class NSCollectionViewItem : public NSViewController {
 public:
  static std::shared_ptr<NSCollectionViewItem> initWithNibName(std::string nibName);
  static std::shared_ptr<NSCollectionViewItem> make() { return initWithNibName({}); }

  // Outlets an interface may connect.
  std::weak_ptr<NSImageView> imageView;
  std::weak_ptr<NSTextField> textField;

  bool isSelected() const { return selected_; }
  // Set by the collection view as its selection changes; subclasses restyle here.
  virtual void setSelected(bool selected) { selected_ = selected; }

  // Called before the collection view hands out this item again; drop what belonged to the
  // element it showed before.
  virtual void prepareForReuse() {}

  // The collection view that made or shows the item (not owned).
  std::shared_ptr<NSCollectionView> collectionView() const { return collectionView_.lock(); }
  // The identifier the item was made under (empty for items made elsewhere, which are not reused).
  const std::string& reuseIdentifier() const { return reuseIdentifier_; }

  // Builds the view from the interface registered under the nib name; without one the
  // item gets an empty view and is still awoken, as if built from an empty interface.
  void loadView() override;

  GLIMDECK_OBJECT(NSCollectionViewItem)

 protected:
  explicit NSCollectionViewItem(std::string nibName = {}) : NSViewController(std::move(nibName)) {}

 private:
  friend class NSCollectionView;
  bool selected_ = false;
  std::weak_ptr<NSCollectionView> collectionView_;
  std::string reuseIdentifier_;
};
