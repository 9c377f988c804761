#pragma once
// Attributed text that can be changed. Ranges that run past the end are cut at the end;
// a range that starts past the end changes nothing.

#include "platform/appkit/NSAttributedString.h"

class NSMutableAttributedString : public NSAttributedString {
 public:
  static std::shared_ptr<NSMutableAttributedString> make(std::string_view text = {}, NSAttributes attributes = {});

  void addAttribute(const std::string& name, id value, NSRange range);
  void addAttributes(const NSAttributes& attributes, NSRange range);
  void setAttributes(const NSAttributes& attributes, NSRange range);
  void removeAttribute(const std::string& name, NSRange range);

  // The new text takes the attributes of the first replaced character (or of the one
  // before it when nothing is replaced).
  void replaceCharactersInRange(NSRange range, std::string_view text);
  void replaceCharactersInRange(NSRange range, const NSAttributedString& text);
  void insertAttributedString(const NSAttributedString& text, std::uint64_t index);
  void appendAttributedString(const NSAttributedString& text);
  void deleteCharactersInRange(NSRange range);
  void setAttributedString(const NSAttributedString& text);

  // Brackets a batch of changes; nested pairs count.
  void beginEditing() { ++editing_; }
  void endEditing() {
    if (editing_ > 0) --editing_;
  }
  bool isEditing() const { return editing_ > 0; }

  GLIMDECK_OBJECT(NSMutableAttributedString)

 private:
  NSMutableAttributedString() = default;
  template <typename Change>
  void changeRuns(NSRange range, Change change);
  int editing_ = 0;
};
