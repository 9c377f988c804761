#include "platform/foundation/OutputSink.h"

#include <cstdio>
#include <mutex>

namespace {
// Never destroyed: any thread may print (ProcessShutdown.h).
std::mutex& sinkMutex() {
  static std::mutex& mutex = *new std::mutex();
  return mutex;
}
std::function<void(std::string_view)>& sink() {
  static auto& function = *new std::function<void(std::string_view)>();
  return function;
}
}  // namespace

namespace OutputSink {

void print(std::string_view line) {
  std::lock_guard lock(sinkMutex());
  if (sink()) {
    sink()(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void setSink(std::function<void(std::string_view)> newSink) {
  std::lock_guard lock(sinkMutex());
  sink() = std::move(newSink);
}

}  // namespace OutputSink
