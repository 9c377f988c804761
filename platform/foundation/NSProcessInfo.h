#pragma once
// Facts about this process and the machine it runs on.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

struct NSOperatingSystemVersion {
  std::int64_t majorVersion = 0;
  std::int64_t minorVersion = 0;
  std::int64_t patchVersion = 0;
  auto operator<=>(const NSOperatingSystemVersion&) const = default;
};

class NSProcessInfo : public NSObject {
 public:
  static std::shared_ptr<NSProcessInfo> processInfo();

  // The variables of the process's environment as they are now.
  std::map<std::string, std::string> environment() const;
  std::vector<std::string> arguments() const;
  int processIdentifier() const;
  std::string processName() const;
  std::string hostName() const;
  // A text new at every call, unique across machines and time.
  std::string globallyUniqueString() const;

  // The kernel's release as three numbers ("6.1.0-18-amd64" is 6.1.0), unless a test has
  // set a version.
  NSOperatingSystemVersion operatingSystemVersion() const;
  // A readable form: "Linux 6.1.0-18-amd64" (the kernel's name and release).
  std::string operatingSystemVersionString() const;
  bool isOperatingSystemAtLeastVersion(const NSOperatingSystemVersion& version) const;
  // Tests pretend to run on another system; none goes back to the kernel's version.
  void setOperatingSystemVersionForTesting(std::optional<NSOperatingSystemVersion> version);
  // The leading numbers of a release text; missing ones are 0.
  static NSOperatingSystemVersion versionFromRelease(std::string_view release);

  std::uint64_t physicalMemory() const;
  std::size_t processorCount() const;
  std::size_t activeProcessorCount() const;
  // Seconds since the machine started.
  double systemUptime() const;

  GLIMDECK_OBJECT(NSProcessInfo)

 private:
  NSProcessInfo() = default;
  mutable std::mutex mutex_;
  std::optional<NSOperatingSystemVersion> testVersion_;
};
