#pragma once
// Standard Base64 (RFC 4648 alphabet with "+" and "/", "=" padding).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Base64 {

// Padded, without line breaks.
std::string encode(std::span<const std::uint8_t> bytes);
std::string encode(std::string_view bytes);

enum class Decoding {
  // Only alphabet characters and final padding; anything else fails.
  strict,
  // Characters outside the alphabet and "=" (line breaks, "-", "_", spaces) are skipped.
  ignoreUnknownCharacters,
};

// The decoded bytes, or nothing when the text is not Base64. In both modes the kept
// characters must come in whole groups of four, padding included: "MTIzNA" fails and
// "MTIzNA==" gives "1234". Padding may only end the text, and a final group of one
// character never decodes.
std::optional<std::vector<std::uint8_t>> decode(std::string_view text, Decoding mode = Decoding::strict);

}  // namespace Base64
