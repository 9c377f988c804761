#pragma once
// Type tests on JSON and archive values shared by the item model's records.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

namespace ModelSupport {
// The text of a string value; nothing for any other value.
std::optional<std::string> text(const id& value);
// A number (not a Boolean) whose value is whole and fits a signed 64-bit integer.
std::optional<std::int64_t> integer(const id& value);
// A JSON true or false.
std::optional<bool> flag(const id& value);
// An array whose every element is text.
std::optional<std::vector<std::string>> textList(const id& value);
// The same texts as a list of string objects.
id textListObject(const std::vector<std::string>& texts);
// Text, or the null object when absent: how absent optional texts are archived.
id textOrNull(const std::optional<std::string>& text);
// The backing scale factor of the application's main window; 1.0 without one.
double mainWindowScale();
}  // namespace ModelSupport
