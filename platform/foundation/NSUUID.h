#pragma once
// A 128-bit universally unique identifier.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class NSUUID : public NSObject {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // A new random identifier (version 4, RFC 4122 variant) from the system's random source.
  static std::shared_ptr<NSUUID> UUID();
  // The identifier written as 8-4-4-4-12 hexadecimal digits (either case); empty when the
  // text has any other form.
  static std::shared_ptr<NSUUID> UUIDWithString(std::string_view text);
  static std::shared_ptr<NSUUID> UUIDWithBytes(const Bytes& bytes);

  // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": 36 characters, upper-case digits.
  std::string UUIDString() const;
  const Bytes& bytes() const { return bytes_; }

  GLIMDECK_OBJECT(NSUUID)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return UUIDString(); }

 private:
  explicit NSUUID(const Bytes& bytes) : bytes_(bytes) {}
  Bytes bytes_;
};
