// Bytes -> keyed unarchiver; whatever decodes must archive again and decode again.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/appkit/NSColor.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSURL.h"

// Referencing the coded classes links them in, and with them their decoder registrations.
[[maybe_unused]] static const void* const kCodedClasses[] = {reinterpret_cast<const void*>(&NSURL::initWithCoder),
                                                             reinterpret_cast<const void*>(&NSColor::initWithCoder)};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  auto data = NSData::make(std::vector<std::uint8_t>(bytes, bytes + size));
  (void)NSPropertyListSerialization::propertyListWithData(data);
  auto decoded = NSKeyedUnarchiver::unarchiveObjectWithData(data);
  if (!decoded || !*decoded) return 0;
  auto again = NSKeyedArchiver::archivedDataWithRootObject(*decoded);
  if (!again) __builtin_trap();
  if (!NSKeyedUnarchiver::unarchiveObjectWithData(*again)) __builtin_trap();
  return 0;
}
