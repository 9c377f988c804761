#include "service/Sysctl.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

struct Node {
  std::string_view name;
  std::int32_t top;
  std::int32_t second;
};

// The nodes this system answers, with the numbers the kernel-state tree gives them.
constexpr std::array<Node, 11> kNodes{{
    {"kern.ostype", 1, 1},
    {"kern.osrelease", 1, 2},
    {"kern.osrevision", 1, 3},
    {"kern.version", 1, 4},
    {"kern.hostname", 1, 10},
    {"kern.osversion", 1, 65},
    {"hw.machine", 6, 1},
    {"hw.model", 6, 2},
    {"hw.cpufrequency", 6, 15},
    {"hw.memsize", 6, 24},
    {"hw.availcpu", 6, 25},
}};

using Bytes = Sysctl::Bytes;
using Unexpected = std::unexpected<SysctlError>;

SysctlError notFound() { return SysctlError::posixError(static_cast<POSIXErrorCode>(ENOENT)); }

Bytes textValue(std::string_view text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);  // the kernel hands texts out with their terminating NUL
  return bytes;
}

template <typename T>
Bytes integerValue(T value) {
  Bytes bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::optional<std::string> firstLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\0' || line.back() == ' ' || line.back() == '\r')) line.pop_back();
  if (line.empty()) return std::nullopt;
  return line;
}

std::optional<std::string> cpuinfoValue(std::string_view key) {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with(key)) continue;
    auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    auto value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    return value;
  }
  return std::nullopt;
}


std::optional<std::int64_t> cpuFrequencyHz() {
  if (auto khz = firstLine("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")) {
    try {
      return static_cast<std::int64_t>(std::stoll(*khz)) * 1000;
    } catch (...) {
    }
  }
  if (auto mhz = cpuinfoValue("cpu MHz")) {
    try {
      return static_cast<std::int64_t>(std::stod(*mhz) * 1'000'000.0);
    } catch (...) {
    }
  }
  return std::nullopt;
}

// "6.1.0-18-amd64" as one number, major * 65536 + minor * 256 + patch, like a kernel version code.
std::int32_t revisionOf(std::string_view release) {
  std::int32_t parts[3] = {0, 0, 0};
  std::size_t index = 0;
  for (char c : release) {
    if (c >= '0' && c <= '9') {
      parts[index] = parts[index] * 10 + (c - '0');
      if (parts[index] > 255 && index > 0) parts[index] = 255;
    } else if (c == '.' && index < 2) {
      ++index;
    } else {
      break;
    }
  }
  return parts[0] * 65536 + parts[1] * 256 + parts[2];
}

std::expected<Bytes, SysctlError> readNode(std::int32_t top, std::int32_t second) {
  struct utsname names {};
  if (::uname(&names) != 0) return Unexpected(SysctlError::fromErrno(errno));
  if (top == 1) {
    switch (second) {
      case 1: return textValue(names.sysname);
      case 2: return textValue(names.release);
      case 3: return integerValue(revisionOf(names.release));
      case 4: {
        if (auto version = firstLine("/proc/version")) return textValue(*version);
        return textValue(std::string(names.sysname) + " " + names.release + " " + names.version);
      }
      case 10: return textValue(names.nodename);
      case 65: return textValue(names.version);
      default: break;
    }
  } else if (top == 6) {
    switch (second) {
      case 1: return textValue(names.machine);
      case 2: {
        if (auto model = Sysctl::hardwareModelUnder("/")) return textValue(*model);
        return Unexpected(notFound());
      }
      case 15: {
        if (auto hz = cpuFrequencyHz()) return integerValue(*hz);
        return Unexpected(notFound());
      }
      case 24: {
        long pages = ::sysconf(_SC_PHYS_PAGES);
        long size = ::sysconf(_SC_PAGESIZE);
        if (pages < 0 || size < 0) return Unexpected(SysctlError::fromErrno(errno == 0 ? EINVAL : errno));
        return integerValue(static_cast<std::int64_t>(pages) * size);
      }
      case 25: {
        long count = ::sysconf(_SC_NPROCESSORS_ONLN);
        if (count < 0) return Unexpected(SysctlError::fromErrno(errno == 0 ? EINVAL : errno));
        return integerValue(static_cast<std::int32_t>(count));
      }
      default: break;
    }
  }
  return Unexpected(notFound());
}

bool validUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t point = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2;
      point = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      point = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      point = c & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and points beyond Unicode are not UTF-8.
    static constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

template <typename T>
T orDefault(const Sysctl::Result<T>& result, T fallback) {
  return result ? *result : fallback;
}

}  // namespace

SysctlError SysctlError::fromErrno(int value) {
  if (value > 0 && ::strerrorname_np(value) != nullptr) return posixError(static_cast<POSIXErrorCode>(value));
  return unknown();
}

Sysctl::Result<Sysctl::Keys> Sysctl::keysForName(std::string_view name) {
  for (const auto& node : kNodes) {
    if (node.name == name) return Keys{node.top, node.second};
  }
  return Unexpected(notFound());
}

Sysctl::Result<Sysctl::Bytes> Sysctl::dataForKeys(const Keys& keys) {
  if (keys.empty() || keys.size() > maxLevels) return Unexpected(SysctlError::fromErrno(EINVAL));
  if (keys.size() != 2) return Unexpected(notFound());
  return readNode(keys[0], keys[1]);
}

Sysctl::Result<std::string> Sysctl::stringFromData(const Bytes& bytes) {
  auto end = std::find(bytes.begin(), bytes.end(), std::int8_t{0});
  std::string text(bytes.begin(), end);
  if (!validUtf8(text)) return Unexpected(SysctlError::malformedUTF8());
  return text;
}

Sysctl::Result<std::int64_t> Sysctl::integerFromData(const Bytes& bytes) {
  if (bytes.size() == 4) {
    std::int32_t value = 0;
    std::memcpy(&value, bytes.data(), 4);
    return value;
  }
  if (bytes.size() == 8) {
    std::int64_t value = 0;
    std::memcpy(&value, bytes.data(), 8);
    return value;
  }
  return Unexpected(SysctlError::invalidSize());
}

Sysctl::Result<std::string> Sysctl::stringForKeys(const Keys& keys) {
  auto bytes = dataForKeys(keys);
  if (!bytes) return Unexpected(bytes.error());
  return stringFromData(*bytes);
}

Sysctl::Result<std::int64_t> Sysctl::integerForKeys(const Keys& keys) {
  auto bytes = dataForKeys(keys);
  if (!bytes) return Unexpected(bytes.error());
  return integerFromData(*bytes);
}

Sysctl::Result<std::string> Sysctl::stringForName(std::string_view name) {
  auto keys = keysForName(name);
  if (!keys) return Unexpected(keys.error());
  return stringForKeys(*keys);
}

Sysctl::Result<std::int64_t> Sysctl::integerForName(std::string_view name) {
  auto keys = keysForName(name);
  if (!keys) return Unexpected(keys.error());
  return integerForKeys(*keys);
}

std::string Sysctl::hostName() { return orDefault(stringForKeys({kernelBranch, 10}), std::string()); }
std::string Sysctl::machine() { return orDefault(stringForKeys({hardwareBranch, 1}), std::string()); }
std::optional<std::string> Sysctl::hardwareModelUnder(const std::filesystem::path& root) {
  if (auto name = firstLine(root / "sys/devices/virtual/dmi/id/product_name")) return name;
  if (auto name = firstLine(root / "sys/firmware/devicetree/base/model")) return name;
  return std::nullopt;
}

std::string Sysctl::model() { return orDefault(stringForKeys({hardwareBranch, 2}), std::string()); }
std::int64_t Sysctl::activeCPUs() { return orDefault(integerForKeys({hardwareBranch, 25}), std::int64_t{0}); }
std::string Sysctl::osRelease() { return orDefault(stringForKeys({kernelBranch, 2}), std::string()); }
std::int64_t Sysctl::osRevision() { return orDefault(integerForKeys({kernelBranch, 3}), std::int64_t{0}); }
std::string Sysctl::osType() { return orDefault(stringForKeys({kernelBranch, 1}), std::string()); }
std::string Sysctl::osVersion() { return orDefault(stringForKeys({kernelBranch, 65}), std::string()); }
std::string Sysctl::kernelVersion() { return orDefault(stringForKeys({kernelBranch, 4}), std::string()); }
std::int64_t Sysctl::cpuFrequency() { return orDefault(integerForName("hw.cpufrequency"), std::int64_t{0}); }
std::int64_t Sysctl::memorySize() { return orDefault(integerForKeys({hardwareBranch, 24}), std::int64_t{0}); }
