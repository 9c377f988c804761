#pragma once
// Language and region settings. The user's locale comes from the POSIX variables
// (LC_ALL, then LC_MESSAGES, then LANG), so "en_US.UTF-8" is "en_US"; the C and POSIX
// locales, and anything unreadable, count as "en_US".

#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSLocale : public NSObject {
 public:
  // Read from the environment at each call, so a changed variable is seen at once.
  static std::shared_ptr<NSLocale> currentLocale();
  static std::shared_ptr<NSLocale> localeWithLocaleIdentifier(std::string identifier);
  // The user's languages in order of preference as BCP 47 tags ("de", "en-GB"): the
  // LANGUAGE list when set, else the current locale's; never empty.
  static std::vector<std::string> preferredLanguages();
  // "en_US" for "en_US.UTF-8@euro" and "en_US" for "C", "POSIX", "" or a malformed value.
  static std::string identifierFromPosixLocale(std::string_view value);

  const std::string& localeIdentifier() const { return identifier_; }
  std::string languageCode() const;  // "en"
  std::string countryCode() const;   // "US", or empty

  GLIMDECK_OBJECT(NSLocale)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return identifier_; }

 private:
  explicit NSLocale(std::string identifier) : identifier_(std::move(identifier)) {}
  std::string identifier_;
};
