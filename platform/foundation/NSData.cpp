#include "platform/foundation/NSData.h"

#include <functional>

std::shared_ptr<NSData> NSData::make(std::vector<std::uint8_t> bytes) {
  return create(std::move(bytes));
}

std::shared_ptr<NSData> NSData::fromString(std::string_view bytes) {
  return make(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

bool NSData::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto data = asA<NSData>(other);
  return data && data->bytes_ == bytes_;
}

std::size_t NSData::hash() const { return std::hash<std::string_view>{}(view()); }

std::string NSData::description() const {
  return "{length = " + std::to_string(bytes_.size()) + "}";
}
