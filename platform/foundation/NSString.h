#pragma once
// An immutable UTF-8 text. Equality and hash treat canonically equivalent texts as one.

#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class NSString : public NSObject {
 public:
  static std::shared_ptr<NSString> make(std::string value);

  const std::string& string() const { return value_; }
  GLIMDECK_OBJECT(NSString)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return value_; }

  bool isEqualToString(std::string_view other) const;

 private:
  explicit NSString(std::string value) : value_(std::move(value)) {}
  std::string value_;
};

// The platform's string hash of a text: what NSString::hash gives for it.
std::size_t stringHash(std::string_view text);
