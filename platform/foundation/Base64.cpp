#include "platform/foundation/Base64.h"

#include <array>

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kPadding = -2;
constexpr int kUnknown = -1;

constexpr std::array<int, 256> makeTable() {
  std::array<int, 256> table{};
  table.fill(kUnknown);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  table[static_cast<unsigned char>('=')] = kPadding;
  return table;
}
constexpr std::array<int, 256> kTable = makeTable();

}  // namespace

namespace Base64 {

std::string encode(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out.push_back(kAlphabet[(group >> 18) & 63]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(kAlphabet[(group >> 6) & 63]);
    out.push_back(kAlphabet[group & 63]);
  }
  const std::size_t left = bytes.size() - i;
  if (left > 0) {
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (left == 2) group |= std::uint32_t{bytes[i + 1]} << 8;
    out.push_back(kAlphabet[(group >> 18) & 63]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(left == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::string encode(std::string_view bytes) {
  return encode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::optional<std::vector<std::uint8_t>> decode(std::string_view text, Decoding mode) {
  std::vector<int> values;
  values.reserve(text.size());
  for (unsigned char c : text) {
    const int value = kTable[c];
    if (value == kUnknown) {
      if (mode == Decoding::strict) return std::nullopt;
      continue;
    }
    values.push_back(value);
  }
  if (values.size() % 4 != 0) return std::nullopt;

  std::vector<std::uint8_t> out;
  out.reserve(values.size() / 4 * 3);
  for (std::size_t i = 0; i < values.size(); i += 4) {
    const bool last = i + 4 == values.size();
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      if (values[i + k] == kPadding) {
        ++padding;
      } else if (padding > 0) {
        return std::nullopt;  // a character after padding
      }
    }
    if (padding > 2 || (padding > 0 && !last)) return std::nullopt;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      group = (group << 6) | static_cast<std::uint32_t>(values[i + k] == kPadding ? 0 : values[i + k]);
    }
    out.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
  }
  return out;
}

}  // namespace Base64
