#pragma once
// Reads values of the system by their kernel-state names ("hw.model", "kern.hostname") and
// numeric paths (MIBs), as text or as integers. Linux has no sysctl tree with these names,
// so each known node is answered from the kernel's own sources: uname, /proc, /sys and
// sysconf. A name or MIB that this system cannot answer fails with ENOENT, as the kernel
// does for a node it does not know.

#include <cerrno>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A POSIX error code: an errno value that the C library knows by name (ENOENT, EINVAL...).
enum class POSIXErrorCode : int {};


struct SysctlError {
  enum class Kind { posixError, unknown, malformedUTF8, invalidSize };
  Kind kind = Kind::unknown;
  // For posixError: the errno value.
  POSIXErrorCode code{};

  static SysctlError posixError(POSIXErrorCode code) { return {Kind::posixError, code}; }
  static SysctlError unknown() { return {Kind::unknown, {}}; }
  static SysctlError malformedUTF8() { return {Kind::malformedUTF8, {}}; }
  static SysctlError invalidSize() { return {Kind::invalidSize, {}}; }
  // The error for an errno value: posixError when it is a known POSIX code, else unknown.
  static SysctlError fromErrno(int value);
  bool operator==(const SysctlError&) const = default;
};

struct Sysctl {
  template <typename T>
  using Result = std::expected<T, SysctlError>;
  using Keys = std::vector<std::int32_t>;
  using Bytes = std::vector<std::int8_t>;

  // Levels of a MIB looked up by name.
  static constexpr std::size_t maxLevels = 12;
  // Top levels of the tree.
  static constexpr std::int32_t kernelBranch = 1;
  static constexpr std::int32_t hardwareBranch = 6;

  static Result<Keys> keysForName(std::string_view name);
  static Result<Bytes> dataForKeys(const Keys& keys);
  static Result<std::string> stringForKeys(const Keys& keys);
  static Result<std::int64_t> integerForKeys(const Keys& keys);
  static Result<std::string> stringForName(std::string_view name);
  static Result<std::int64_t> integerForName(std::string_view name);

  // How a raw value reads as text (the bytes before the first NUL, valid UTF-8) and as an
  // integer (4 or 8 native-order bytes).
  static Result<std::string> stringFromData(const Bytes& bytes);
  static Result<std::int64_t> integerFromData(const Bytes& bytes);

  // The machine's model as the files under `root` (the system's own: "/") name it: the
  // firmware's product name, or the device tree's model on boards without firmware tables.
  static std::optional<std::string> hardwareModelUnder(const std::filesystem::path& root);

  // Fixed host values; a failed read gives the empty text or 0.
  static std::string hostName();
  static std::string machine();
  static std::string model();
  static std::int64_t activeCPUs();
  static std::string osRelease();
  static std::int64_t osRevision();
  static std::string osType();
  static std::string osVersion();
  static std::string kernelVersion();
  static std::int64_t cpuFrequency();
  static std::int64_t memorySize();
};
