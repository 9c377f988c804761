#include "platform/foundation/NSProcessInfo.h"

#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/foundation/NSUUID.h"
#include "platform/foundation/NumberScanning.h"

extern char** environ;

namespace {

std::optional<utsname> kernelNames() {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return names;
}

}  // namespace

std::shared_ptr<NSProcessInfo> NSProcessInfo::processInfo() {
  // Never destroyed: any thread may ask (ProcessShutdown.h).
  static const std::shared_ptr<NSProcessInfo>& shared = *new std::shared_ptr<NSProcessInfo>(new NSProcessInfo());
  return shared;
}

std::map<std::string, std::string> NSProcessInfo::environment() const {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string_view text = *entry;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    variables.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  return variables;
}

std::vector<std::string> NSProcessInfo::arguments() const {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    arguments.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return arguments;
}

int NSProcessInfo::processIdentifier() const { return static_cast<int>(::getpid()); }

std::string NSProcessInfo::processName() const { return program_invocation_short_name; }

std::string NSProcessInfo::hostName() const {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

std::string NSProcessInfo::globallyUniqueString() const { return NSUUID::UUID()->UUIDString(); }

NSOperatingSystemVersion NSProcessInfo::versionFromRelease(std::string_view release) {
  std::int64_t parts[3] = {0, 0, 0};
  std::string_view rest = release;
  for (std::int64_t& part : parts) {
    // Only plain digits count; a sign would make "6.-1" a negative version.
    if (rest.empty() || !NumberScanning::isDigit(rest.front())) break;
    const std::size_t used = NumberScanning::scanInteger(rest, part);
    rest.remove_prefix(used);
    if (rest.empty() || rest.front() != '.') break;
    rest.remove_prefix(1);
  }
  return {parts[0], parts[1], parts[2]};
}

NSOperatingSystemVersion NSProcessInfo::operatingSystemVersion() const {
  {
    std::lock_guard lock(mutex_);
    if (testVersion_) return *testVersion_;
  }
  const auto names = kernelNames();
  return names ? versionFromRelease(names->release) : NSOperatingSystemVersion{};
}

std::string NSProcessInfo::operatingSystemVersionString() const {
  const auto names = kernelNames();
  if (!names) return "Unknown";
  return std::string(names->sysname) + " " + names->release;
}

bool NSProcessInfo::isOperatingSystemAtLeastVersion(const NSOperatingSystemVersion& version) const {
  return operatingSystemVersion() >= version;
}

void NSProcessInfo::setOperatingSystemVersionForTesting(std::optional<NSOperatingSystemVersion> version) {
  std::lock_guard lock(mutex_);
  testVersion_ = version;
}

std::uint64_t NSProcessInfo::physicalMemory() const {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

std::size_t NSProcessInfo::processorCount() const {
  const long count = ::sysconf(_SC_NPROCESSORS_CONF);
  return count > 0 ? static_cast<std::size_t>(count) : 1;
}

std::size_t NSProcessInfo::activeProcessorCount() const {
  const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<std::size_t>(count) : 1;
}

double NSProcessInfo::systemUptime() const {
  timespec now{};
  if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) return 0.0;
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
