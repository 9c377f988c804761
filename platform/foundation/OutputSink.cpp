#include "platform/foundation/OutputSink.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex sinkMutex;
std::function<void(std::string_view)> sink;
}  // namespace

namespace OutputSink {

void print(std::string_view line) {
  std::lock_guard lock(sinkMutex);
  if (sink) {
    sink(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void setSink(std::function<void(std::string_view)> newSink) {
  std::lock_guard lock(sinkMutex);
  sink = std::move(newSink);
}

}  // namespace OutputSink
