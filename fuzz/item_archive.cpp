// Bytes -> keyed unarchiver -> item decoder, both as the archive's root object and with the
// decoder reading the archive's top level directly; whatever item comes out must archive
// and read back with the same identifier.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/LegacyArchiveNames.h"
#include "model/VornObject.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"

namespace {

void check(const std::shared_ptr<VornObject>& item) {
  if (!item) return;
  (void)item->description();
  (void)item->webUrl();
  if (item->adBadgeData) (void)item->adBadgeData->badgeAssetUrl();
  auto data = NSKeyedArchiver::archivedDataWithRootObject(item);
  if (!data) __builtin_trap();
  auto back = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
  if (!back) __builtin_trap();
  auto restored = asA<VornObject>(*back);
  if (!restored || restored->vid != item->vid) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const bool registered = (registerLegacyArchiveClassNames(), true);
  (void)registered;
  auto data = NSData::make(std::vector<std::uint8_t>(bytes, bytes + size));
  if (auto root = NSKeyedUnarchiver::unarchiveObjectWithData(data)) check(asA<VornObject>(*root));
  if (auto unarchiver = NSKeyedUnarchiver::make(data)) check(VornObject::initWithCoder(**unarchiver));
  return 0;
}
