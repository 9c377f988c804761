#pragma once
// The process's own resident memory as the kernel counts it (not any counter of ours): now,
// and the most since the peak was last started over; and the most another process has had.

#include <sys/types.h>

#include <cstddef>
#include <fstream>
#include <string>

namespace resident {

// A "Vm...:  123 kB" line of /proc/self/status (or another process's), in bytes; 0 when it
// is missing.
inline std::size_t statusBytes(const std::string& field, const std::string& process = "self") {
  std::ifstream status("/proc/" + process + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stoull(line.substr(field.size() + 1)) * 1024;
  }
  return 0;
}

// What AddressSanitizer keeps resident of freed memory (its quarantine, 256 MB unless told
// otherwise) before it hands it out again: not the program's, so a bound on how far the
// program's memory grows allows that much more under it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kSanitizerHeldBytes = std::size_t(256) << 20;
#else
inline constexpr std::size_t kSanitizerHeldBytes = 0;
#endif

inline std::size_t nowBytes() { return statusBytes("VmRSS"); }
inline std::size_t peakBytes() { return statusBytes("VmHWM"); }
// How far the peak rose above `start` (an earlier reading): the kernel folds each thread's
// count into the process's lazily, so a peak read later can lie a little below it.
inline std::size_t peakGrowthSince(std::size_t start) {
  const std::size_t peak = peakBytes();
  return peak > start ? peak - start : 0;
}
inline std::size_t peakBytesOf(pid_t process) { return statusBytes("VmHWM", std::to_string(process)); }
// The peak starts over from what is resident now; false when the kernel does not allow it.
// Other threads' memory comes and goes meanwhile, so a kernel that let the peak start over
// shows it as a peak lower than before, or as one no higher than now is; one that kept the
// old peak shows neither, however often it is asked.
inline bool restartPeak() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::size_t before = peakBytes();
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    if (!clear.good()) return false;
    const std::size_t after = peakBytes();
    if (after < before || after <= nowBytes() + (1u << 20)) return true;
  }
  return false;
}

}  // namespace resident
