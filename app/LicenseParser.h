#pragma once
// Reads the licence list of the bundle ("Licenses.plist"): an array of dictionaries with
// "libraryName" and, optionally, "licenseText".

#include <optional>
#include <string_view>
#include <vector>

#include "app/License.h"

class LicenseParser {
 public:
  struct Constants {
    static constexpr std::string_view resourceName = "Licenses";
    static constexpr std::string_view resourceType = "plist";
    static constexpr std::string_view libraryNameKey = "libraryName";
    static constexpr std::string_view licenseTextKey = "licenseText";
  };

  // The licences in file order; none when the file is missing, unreadable, not a property
  // list, or not an array of dictionaries. Entries without a name are left out.
  static std::optional<std::vector<License>> parse();
};
