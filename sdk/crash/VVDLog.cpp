#include "sdk/crash/VVDLog.h"

#include <cstdio>
#include <deque>
#include <mutex>

namespace {

struct CrashLog {
  std::mutex mutex;
  std::deque<std::string> lines;
  std::size_t bytes = 0;
};

CrashLog& crashLog() {
  static CrashLog log;
  return log;
}

void record(std::string line) {
  auto& log = crashLog();
  std::lock_guard lock(log.mutex);
  log.bytes += line.size();
  log.lines.push_back(std::move(line));
  // Keep the newest lines: they are the ones that explain a crash.
  while (log.bytes > VVDCrashLog::capacityBytes && log.lines.size() > 1) {
    log.bytes -= log.lines.front().size();
    log.lines.pop_front();
  }
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
  // A line longer than the whole log would push everything else out; cut it.
  if (line.size() > VVDCrashLog::capacityBytes) line.resize(VVDCrashLog::capacityBytes);
  record(std::move(line));
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
  return {log.lines.begin(), log.lines.end()};
}

void clear() {
  auto& log = crashLog();
  std::lock_guard lock(log.mutex);
  log.lines.clear();
  log.bytes = 0;
}

}  // namespace VVDCrashLog
