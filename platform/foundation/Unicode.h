#pragma once
// Unicode rules the application relies on, done with ICU.

#include <cstddef>
#include <string>
#include <string_view>

namespace Unicode {

bool isAscii(std::string_view text);
// Canonical decomposition (NFD). Invalid UTF-8 is kept byte for byte.
std::string decomposed(std::string_view text);
// True when the two texts are canonically equivalent ("é" and "e" + combining acute).
bool canonicallyEqual(std::string_view a, std::string_view b);
// A hash that agrees with canonicallyEqual.
std::size_t canonicalHash(std::string_view text);

}  // namespace Unicode
