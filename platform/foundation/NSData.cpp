#include "platform/foundation/NSData.h"

#include <algorithm>
#include <functional>

std::shared_ptr<NSData> NSData::make(std::vector<std::uint8_t> bytes) {
  return create(std::move(bytes));
}

std::shared_ptr<NSData> NSData::adopt(std::unique_ptr<std::uint8_t[]> buffer, std::size_t length,
                                      std::size_t capacity) {
  auto data = std::shared_ptr<NSData>(new NSData({}));
  data->adoptedLength_ = length;
  data->adoptedCapacity_ = std::max(capacity, length);
  data->adopted_ = std::move(buffer);
  if (!data->adopted_) data->adoptedLength_ = data->adoptedCapacity_ = 0;
  return data;
}

const std::vector<std::uint8_t>& NSData::bytes() const {
  if (adopted_) std::call_once(copied_, [this] { bytes_.assign(adopted_.get(), adopted_.get() + adoptedLength_); });
  return bytes_;
}

std::vector<std::uint8_t>& NSData::mutableBytes() {
  compressedSource_.reset();
  if (adopted_) {
    bytes();
    adopted_.reset();
    adoptedLength_ = adoptedCapacity_ = 0;
  }
  return bytes_;
}

std::shared_ptr<NSData> NSData::fromString(std::string_view bytes) {
  return make(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

bool NSData::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto data = asA<NSData>(other);
  return data && data->view() == view();
}

std::size_t NSData::hash() const { return std::hash<std::string_view>{}(view()); }

std::string NSData::description() const {
  return "{length = " + std::to_string(length()) + "}";
}
