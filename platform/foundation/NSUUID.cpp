#include "platform/foundation/NSUUID.h"

#include <sys/random.h>

#include <cstring>
#include <random>

#include "platform/foundation/NumberScanning.h"

namespace {

void fillRandom(std::uint8_t* out, std::size_t count) {
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t got = getrandom(out + filled, count - filled, 0);
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled < count) {
    // The kernel's source is unavailable (a very old kernel or a seccomp filter).
    std::random_device device;
    for (; filled < count; ++filled) out[filled] = static_cast<std::uint8_t>(device());
  }
}

constexpr bool isHyphenPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

std::shared_ptr<NSUUID> NSUUID::UUID() {
  Bytes bytes{};
  fillRandom(bytes.data(), bytes.size());
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  return UUIDWithBytes(bytes);
}

std::shared_ptr<NSUUID> NSUUID::UUIDWithBytes(const Bytes& bytes) { return create(bytes); }

std::shared_ptr<NSUUID> NSUUID::UUIDWithString(std::string_view text) {
  if (text.size() != 36) return nullptr;
  Bytes bytes{};
  std::size_t nibble = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isHyphenPosition(i)) {
      if (text[i] != '-') return nullptr;
      continue;
    }
    const int value = NumberScanning::hexDigitValue(text[i]);
    if (value < 0) return nullptr;
    bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] | (nibble % 2 == 0 ? value << 4 : value));
    ++nibble;
  }
  return UUIDWithBytes(bytes);
}

std::string NSUUID::UUIDString() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(36);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    out.push_back(kDigits[bytes_[i] >> 4]);
    out.push_back(kDigits[bytes_[i] & 0x0F]);
  }
  return out;
}

bool NSUUID::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto uuid = asA<NSUUID>(other);
  return uuid && uuid->bytes_ == bytes_;
}

std::size_t NSUUID::hash() const {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  std::memcpy(&high, bytes_.data(), 8);
  std::memcpy(&low, bytes_.data() + 8, 8);
  return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ull));
}
