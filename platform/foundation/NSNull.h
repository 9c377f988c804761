#pragma once
// The one null object, for places that hold objects but must say "nothing" (JSON null).

#include "platform/foundation/NSObject.h"

class NSNull : public NSObject {
 public:
  static std::shared_ptr<NSNull> null();
  GLIMDECK_OBJECT(NSNull)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override { return asA<NSNull>(other) != nullptr; }
  std::size_t hash() const override { return 0x6e756c6c; }
  std::string description() const override { return "<null>"; }

 private:
  NSNull() = default;
};
