#pragma once
// A block of bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSData : public NSObject {
 public:
  static std::shared_ptr<NSData> make(std::vector<std::uint8_t> bytes = {});
  static std::shared_ptr<NSData> fromString(std::string_view bytes);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t>& mutableBytes() { return bytes_; }
  std::size_t length() const { return bytes_.size(); }
  std::string_view view() const {
    return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
  }
  std::string string() const { return std::string(view()); }

  GLIMDECK_OBJECT(NSData)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  explicit NSData(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::vector<std::uint8_t> bytes_;
};
