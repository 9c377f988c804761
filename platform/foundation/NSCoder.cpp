#include "platform/foundation/NSCoder.h"

void NSCoder::encodeObject(const id&, std::string_view) {}
void NSCoder::encodeBool(bool, std::string_view) {}
void NSCoder::encodeInt64(std::int64_t, std::string_view) {}
void NSCoder::encodeDouble(double, std::string_view) {}
void NSCoder::encodeObjects(const std::vector<id>&, std::string_view) {}

bool NSCoder::containsValueForKey(std::string_view) const { return false; }
id NSCoder::decodeObjectForKey(std::string_view) { return nullptr; }
bool NSCoder::decodeBoolForKey(std::string_view) { return false; }
std::int64_t NSCoder::decodeInt64ForKey(std::string_view) { return 0; }
double NSCoder::decodeDoubleForKey(std::string_view) { return 0.0; }
std::optional<std::vector<id>> NSCoder::decodeObjectsForKey(std::string_view) { return std::nullopt; }

void NSCoder::failWithError(std::shared_ptr<NSError> error) {
  if (!error_) error_ = std::move(error);
}

std::shared_ptr<NSError> NSCoder::anotherTypeError(std::string_view key, std::string_view foundClass) {
  return NSError::make(std::string(NSError::NSCocoaErrorDomain), NSCoderReadCorruptError,
                       "The value for key \"" + std::string(key) + "\" is of another type (" +
                           std::string(foundClass) + ").");
}
