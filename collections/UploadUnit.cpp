#include "collections/UploadUnit.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<UploadUnit::SourceType, std::string_view>, 3> sourceNames{{
    {UploadUnit::SourceType::drag, "drag"},
    {UploadUnit::SourceType::browseDesktop, "browseDesktop"},
    {UploadUnit::SourceType::url, "url"},
}};

}  // namespace

std::string_view UploadUnit::rawValue(SourceType source) {
  for (const auto& [value, name] : sourceNames) {
    if (value == source) return name;
  }
  return {};
}

std::optional<UploadUnit::SourceType> UploadUnit::sourceTypeWithRawValue(std::string_view raw) {
  for (const auto& [value, name] : sourceNames) {
    if (name == raw) return value;
  }
  return std::nullopt;
}

std::string UploadUnit::getTagString() const {
  std::string text;
  for (const auto& tag : tags) text = text.empty() ? tag : text + ", " + tag;
  return text;
}
