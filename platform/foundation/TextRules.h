#pragma once
// The platform string class's lenient readings of a text as a Boolean or a number, and
// the one way reals are written as text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TextRules {

// Skips leading white space, an optional "+" or "-" and leading "0" digits; true when
// the next character is "Y", "y", "T", "t" or a digit 1-9. Anything after it is ignored,
// so "true", "YES", " 7" and "-1" are true and "false", "no", "000" and "" are false.
bool boolValue(std::string_view text);
// Skips leading white space, then reads an optional sign and decimal digits; 0 when
// there is no number. Beyond the type's range the value saturates at its limit.
std::int64_t integerValue(std::string_view text);
std::int32_t intValue(std::string_view text);
// Skips leading white space, then reads a decimal real ("-1.5e3"); 0.0 when there is none.
double doubleValue(std::string_view text);

// The pieces between the separators, empty ones kept: "a b " split at " " is "a", "b"
// and "". An empty text is one empty piece; an empty separator splits nothing.
std::vector<std::string> componentsSeparatedByString(std::string_view text, std::string_view separator);

// A real as "%.15g" writes it ("0.1", "1e+20", "3").
std::string formatReal(double value);

}  // namespace TextRules
