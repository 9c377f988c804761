#pragma once
// One row of the staged uploads: the GIF's preview and a tag field that lets through only
// ASCII letters, digits and single spaces. Every change rewrites the unit's tags and tells
// the delegate whether the field holds any text, which decides whether Upload may go.

#include <memory>
#include <string>
#include <string_view>

#include "collections/UploadUnit.h"
#include "platform/appkit/NSCollectionViewItem.h"
#include "platform/appkit/NSTextField.h"

class NSImageView;

class UploadTaggerCellDelegate {
 public:
  virtual ~UploadTaggerCellDelegate() = default;
  virtual void editingBeganWithUnit(const std::shared_ptr<UploadUnit>& unit) = 0;
  virtual void updateTagStateForUnit(const std::shared_ptr<UploadUnit>& unit, bool isTagged) = 0;
};

class UploadTaggerCell : public NSCollectionViewItem, public NSTextFieldDelegate {
 public:
  struct Constants {
    static constexpr std::string_view placeholder = "Add Tags...";
    static constexpr std::string_view allowedCharacters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    static constexpr double rowHeight = 80.0;
  };

  static std::shared_ptr<UploadTaggerCell> init() { return create(); }

  std::weak_ptr<NSImageView> gif;
  std::weak_ptr<NSTextField> tagInputField;
  std::weak_ptr<UploadUnit> representingUnit;
  std::weak_ptr<UploadTaggerCellDelegate> delegate;

  // The text the filter leaves of what was typed.
  static std::string filteredTagText(std::string_view typed);

  void loadView() override;
  void viewDidLoad() override;
  void configureWithUnit(const std::shared_ptr<UploadUnit>& unit);
  // Remote previews are not shown in this list.
  void requestGifAtURL(const std::string& /*url*/) {}
  // Shows the GIF file's preview once it is read and decoded away from the main thread.
  void loadLocalGifWithPath(const std::string& path);
  void saveTagsToUnit();

  // The tag field's editing: begin, each change, end.
  void controlTextDidBeginEditing(const std::shared_ptr<NSNotification>& notification) override;
  void controlTextDidChange(const std::shared_ptr<NSNotification>& notification) override;
  void controlTextDidEndEditing(const std::shared_ptr<NSNotification>& notification) override;

  GLIMDECK_OBJECT(UploadTaggerCell)

 private:
  UploadTaggerCell() = default;
  // Shows the file's preview (none: no preview), unless the row shows or loads it already.
  void showPreviewOf(const std::string& file);
  std::string previewFile_;  // the file of the preview shown or being loaded
};
