#include "platform/foundation/NSString.h"

#include "platform/foundation/Unicode.h"

std::shared_ptr<NSString> NSString::make(std::string value) {
  return create(std::move(value));
}

bool NSString::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto text = asA<NSString>(other);
  return text && Unicode::canonicallyEqual(value_, text->value_);
}

bool NSString::isEqualToString(std::string_view other) const {
  return Unicode::canonicallyEqual(value_, other);
}

std::size_t NSString::hash() const { return Unicode::canonicalHash(value_); }

std::size_t stringHash(std::string_view text) { return Unicode::canonicalHash(text); }
