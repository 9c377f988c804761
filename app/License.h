#pragma once
// One open-source component the application ships with, as the licence list names it.

#include <optional>
#include <string>

struct License {
  std::string libraryName;
  std::optional<std::string> licenseText;

  bool operator==(const License&) const = default;
};
