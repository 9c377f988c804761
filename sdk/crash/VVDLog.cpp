#include "sdk/crash/VVDLog.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The lines live in one fixed ring of bytes, each ended by a NUL, so that a crash handler can
// read them without a lock or an allocation. Its first byte and length travel together in
// one atomic word; writers (serialised by the mutex) publish a new word only once the bytes
// it covers are in place.
constexpr std::size_t ringSize = VVDCrashLog::capacityBytes;

struct CrashLog {
  std::mutex mutex;
  char ring[ringSize] = {};
  std::atomic<std::uint64_t> extent{0};  // start << 32 | used
};

// Constant-initialised, so a crash handler never runs a first-use initialiser.
constinit CrashLog theCrashLog{};

CrashLog& crashLog() { return theCrashLog; }

std::uint64_t packExtent(std::size_t start, std::size_t used) { return (std::uint64_t{start} << 32) | used; }
std::size_t extentStart(std::uint64_t extent) { return static_cast<std::size_t>(extent >> 32) % ringSize; }
std::size_t extentUsed(std::uint64_t extent) {
  return std::min<std::size_t>(static_cast<std::size_t>(extent & 0xffffffffu), ringSize);
}

void record(const std::string& line) {
  auto& log = crashLog();
  std::lock_guard lock(log.mutex);
  const std::uint64_t extent = log.extent.load(std::memory_order_relaxed);
  std::size_t start = extentStart(extent);
  std::size_t used = extentUsed(extent);
  const std::size_t needed = line.size() + 1;
  // Keep the newest lines: they are the ones that explain a crash.
  while (used > 0 && used + needed > ringSize) {
    std::size_t length = 0;
    while (length < used && log.ring[(start + length) % ringSize] != '\0') ++length;
    const std::size_t dropped = std::min(length + 1, used);
    start = (start + dropped) % ringSize;
    used -= dropped;
  }
  log.extent.store(packExtent(start, used), std::memory_order_release);
  const std::size_t end = (start + used) % ringSize;
  const std::size_t firstPart = std::min(line.size(), ringSize - end);
  std::memcpy(log.ring + end, line.data(), firstPart);
  std::memcpy(log.ring, line.data() + firstPart, line.size() - firstPart);
  log.ring[(end + line.size()) % ringSize] = '\0';
  log.extent.store(packExtent(start, used + needed), std::memory_order_release);
}

bool writeAll(int fileDescriptor, const char* bytes, std::size_t count) noexcept {
  while (count > 0) {
    const ssize_t written = ::write(fileDescriptor, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

void VVDLogWithArguments(const char* format, va_list arguments) {
  if (format == nullptr) return;
  va_list measuring;
  va_copy(measuring, arguments);
  int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length < 0) return;
  std::string line(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(line.data(), line.size(), format, arguments);
  line.resize(static_cast<std::size_t>(length));
  // A line longer than the whole log would push everything else out; cut it. A NUL written
  // by a %c would end the line early in the store: keep what comes before it.
  line.resize(std::min(std::strlen(line.c_str()), VVDCrashLog::capacityBytes - 1));
  record(line);
}

void VVDLog(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  VVDLogWithArguments(format, arguments);
  va_end(arguments);
}

namespace VVDCrashLog {

std::vector<std::string> lines() {
  auto& log = crashLog();
  std::lock_guard lock(log.mutex);
  const std::uint64_t extent = log.extent.load(std::memory_order_relaxed);
  const std::size_t start = extentStart(extent);
  const std::size_t used = extentUsed(extent);
  std::vector<std::string> result;
  std::string line;
  for (std::size_t i = 0; i < used; ++i) {
    const char byte = log.ring[(start + i) % ringSize];
    if (byte == '\0') {
      result.push_back(std::move(line));
      line.clear();
    } else {
      line.push_back(byte);
    }
  }
  return result;
}

void clear() {
  auto& log = crashLog();
  std::lock_guard lock(log.mutex);
  log.extent.store(0, std::memory_order_release);
}

void writeLinesTo(int fileDescriptor) noexcept {
  auto& log = crashLog();
  const std::uint64_t extent = log.extent.load(std::memory_order_acquire);
  const std::size_t start = extentStart(extent);
  const std::size_t used = extentUsed(extent);
  char chunk[512];
  std::size_t filled = 0;
  for (std::size_t i = 0; i < used; ++i) {
    const char byte = log.ring[(start + i) % ringSize];
    chunk[filled++] = byte == '\0' ? '\n' : byte;
    if (filled == sizeof chunk) {
      if (!writeAll(fileDescriptor, chunk, filled)) return;
      filled = 0;
    }
  }
  writeAll(fileDescriptor, chunk, filled);
}

}  // namespace VVDCrashLog
