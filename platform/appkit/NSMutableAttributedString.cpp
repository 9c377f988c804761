#include "platform/appkit/NSMutableAttributedString.h"

std::shared_ptr<NSMutableAttributedString> NSMutableAttributedString::make(std::string_view text,
                                                                           NSAttributes attributes) {
  std::shared_ptr<NSMutableAttributedString> string(new NSMutableAttributedString());
  string->assign(text, std::move(attributes));
  return string;
}

template <typename Change>
void NSMutableAttributedString::changeRuns(NSRange range, Change change) {
  if (range.location > text_.size()) return;
  NSRange r = clamped(range);
  if (r.length == 0) return;
  std::size_t first = splitAt(r.location);
  std::size_t last = splitAt(r.end());
  for (std::size_t i = first; i < last; ++i) change(runs_[i].attributes);
  coalesce();
}

void NSMutableAttributedString::addAttribute(const std::string& name, id value, NSRange range) {
  changeRuns(range, [&](NSAttributes& attributes) {
    if (value) attributes[name] = value;
    else attributes.erase(name);
  });
}

void NSMutableAttributedString::addAttributes(const NSAttributes& added, NSRange range) {
  changeRuns(range, [&](NSAttributes& attributes) {
    for (const auto& [name, value] : added) {
      if (value) attributes[name] = value;
    }
  });
}

void NSMutableAttributedString::setAttributes(const NSAttributes& replacement, NSRange range) {
  changeRuns(range, [&](NSAttributes& attributes) { attributes = replacement; });
}

void NSMutableAttributedString::removeAttribute(const std::string& name, NSRange range) {
  changeRuns(range, [&](NSAttributes& attributes) { attributes.erase(name); });
}

void NSMutableAttributedString::replaceCharactersInRange(NSRange range, std::string_view text) {
  if (range.location > text_.size()) return;
  NSRange r = clamped(range);
  NSAttributes inherited;
  if (r.length > 0) inherited = attributesAtIndex(r.location);
  else if (r.location > 0) inherited = attributesAtIndex(r.location - 1);
  else inherited = attributesAtIndex(0);
  auto replacement = NSAttributedString::make(text, inherited);
  replaceCharactersInRange(r, *replacement);
}

void NSMutableAttributedString::replaceCharactersInRange(NSRange range, const NSAttributedString& text) {
  if (range.location > text_.size()) return;
  NSRange r = clamped(range);
  // Copy first: the text may be this very string.
  std::u16string insertedText = text.utf16();
  std::vector<Run> insertedRuns;
  for (auto& [runRange, attributes] : text.runs()) insertedRuns.push_back({runRange.length, attributes});

  std::size_t first = splitAt(r.location);
  std::size_t last = splitAt(r.end());
  runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(first), runs_.begin() + static_cast<std::ptrdiff_t>(last));
  runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(first), insertedRuns.begin(), insertedRuns.end());
  text_.replace(r.location, r.length, insertedText);
  coalesce();
}

void NSMutableAttributedString::insertAttributedString(const NSAttributedString& text, std::uint64_t index) {
  replaceCharactersInRange(NSMakeRange(index, 0), text);
}

void NSMutableAttributedString::appendAttributedString(const NSAttributedString& text) {
  replaceCharactersInRange(NSMakeRange(text_.size(), 0), text);
}

void NSMutableAttributedString::deleteCharactersInRange(NSRange range) {
  replaceCharactersInRange(range, *NSAttributedString::make(""));
}

void NSMutableAttributedString::setAttributedString(const NSAttributedString& text) {
  replaceCharactersInRange(NSMakeRange(0, text_.size()), text);
}
