#include "app/LicenseParser.h"

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSString.h"

std::optional<std::vector<License>> LicenseParser::parse() {
  auto path = NSBundle::mainBundle()->pathForResource(Constants::resourceName, Constants::resourceType);
  if (!path) return std::nullopt;
  auto data = NSFileManager::defaultManager()->contentsAtPath(*path);
  if (!data) return std::nullopt;
  auto root = NSPropertyListSerialization::propertyListWithData(
      data, NSPropertyListReadOptions::NSPropertyListMutableContainersAndLeaves);
  if (!root) return std::nullopt;
  auto entries = asA<NSArray>(*root);
  if (!entries) return std::nullopt;
  std::vector<const NSDictionary*> dictionaries;
  dictionaries.reserve(entries->count());
  for (const auto& entry : *entries) {
    auto dictionary = asA<NSDictionary>(entry);
    if (!dictionary) return std::nullopt;
    dictionaries.push_back(dictionary.get());
  }
  std::vector<License> licenses;
  for (const auto* dictionary : dictionaries) {
    auto name = dictionary->objectForKeyAs<NSString>(Constants::libraryNameKey);
    if (!name) continue;
    std::optional<std::string> text;
    if (auto body = dictionary->objectForKeyAs<NSString>(Constants::licenseTextKey)) text = body->string();
    licenses.push_back({name->string(), std::move(text)});
  }
  return licenses;
}
