// Bytes -> JSON -> item initialiser; whatever item comes out must describe itself, archive
// and read back with the same identifier.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/VornObject.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"

namespace {

void exercise(const std::shared_ptr<NSDictionary>& object) {
  auto item = VornObject::initWithNewApiData(object);
  if (!item) return;
  const auto& vorn = *item;
  (void)vorn->description();
  (void)vorn->webUrl();
  (void)vorn->source();
  (void)vorn->hasValidSize();
  (void)vorn->isPromotedContent();
  if (vorn->adBadgeData) (void)vorn->adBadgeData->hasValidBadge();
  if (vorn->featureData) (void)vorn->featureData->hasValidClickthrough();
  // A reply never names a file of this machine.
  if (vorn->vid.starts_with("file:") || vorn->gifUrl.starts_with("file:")) __builtin_trap();
  vorn->advertisingDataSingleSaveFlag = true;
  auto data = NSKeyedArchiver::archivedDataWithRootObject(vorn);
  if (!data) __builtin_trap();
  auto back = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
  if (!back) __builtin_trap();
  auto restored = asA<VornObject>(*back);
  if (!restored || restored->vid != vorn->vid) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(std::string_view(reinterpret_cast<const char*>(bytes), size),
                                                         NSJSONReadingOptions::fragmentsAllowed);
  if (!parsed) return 0;
  if (auto object = asA<NSDictionary>(*parsed)) {
    exercise(object);
    // A reply page: every element of "results".
    if (auto results = object->objectForKeyAs<NSArray>("results")) {
      for (const id& element : *results) {
        if (auto post = asA<NSDictionary>(element)) exercise(post);
      }
    }
  } else if (auto list = asA<NSArray>(*parsed)) {
    for (const id& element : *list) {
      if (auto post = asA<NSDictionary>(element)) exercise(post);
    }
  }
  return 0;
}
