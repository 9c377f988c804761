#include "platform/foundation/NSBundle.h"

#include <cstdlib>
#include <system_error>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/OutputSink.h"

namespace {

// Never destroyed: any thread may read the Info dictionary (ProcessShutdown.h).
std::mutex& mainBundleMutex() {
  static std::mutex& mutex = *new std::mutex();
  return mutex;
}
std::shared_ptr<NSBundle>& mainBundleInstance() {
  static std::shared_ptr<NSBundle>& instance = *new std::shared_ptr<NSBundle>();
  return instance;
}

std::filesystem::path programPath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : path;
}

// Where the build puts the resources it makes, for a program that reads the sources' own
// resources (an installed one finds them installed beside the others).
std::filesystem::path madeResourcesFor(const std::filesystem::path& resources) {
#ifdef GLIMDECK_MADE_RESOURCES_DIR
  if (resources == std::filesystem::path(GLIMDECK_RESOURCES_DIR)) return GLIMDECK_MADE_RESOURCES_DIR;
#endif
  (void)resources;
  return {};
}

std::shared_ptr<NSDictionary> readInfo(const std::filesystem::path& path) {
  auto bytes = NSFileManager::defaultManager()->contentsAtPath(path);
  if (!bytes) {
    OutputSink::print("NSBundle: no Info.plist at " + path.string());
    return NSDictionary::make();
  }
  auto plist = NSPropertyListSerialization::propertyListWithData(bytes);
  if (!plist || !asA<NSDictionary>(*plist)) {
    OutputSink::print("NSBundle: Info.plist at " + path.string() + " is not a dictionary" +
                      (plist ? std::string() : ": " + plist.error()->localizedDescription()));
    return NSDictionary::make();
  }
  return asA<NSDictionary>(*plist);
}

}  // namespace

std::shared_ptr<NSBundle> NSBundle::mainBundle() {
  std::lock_guard lock(mainBundleMutex());
  if (!mainBundleInstance()) {
    auto resources = resourcePathForExecutable(programPath());
    auto made = madeResourcesFor(resources);
    mainBundleInstance() = std::shared_ptr<NSBundle>(new NSBundle(std::move(resources), std::move(made)));
  }
  return mainBundleInstance();
}

std::filesystem::path NSBundle::resourcePathForExecutable(const std::filesystem::path& executable) {
  if (const char* folder = std::getenv("GLIMDECK_RESOURCES_DIR"); folder && *folder) return folder;
  // An installed program reads the resources installed with it, wherever the tree was put;
  // one in a build tree reads those of its sources.
  if (!executable.empty()) {
    auto installed = (executable.parent_path() / GLIMDECK_INSTALLED_RESOURCES_DIR).lexically_normal();
    std::error_code error;
    if (std::filesystem::is_regular_file(installed / "Info.plist", error)) return installed;
  }
  return GLIMDECK_RESOURCES_DIR;
}

void NSBundle::resetMainBundle() {
  std::lock_guard lock(mainBundleMutex());
  mainBundleInstance().reset();
}

std::filesystem::path NSBundle::executablePath() const { return programPath(); }

std::filesystem::path NSBundle::bundlePath() const { return executablePath().parent_path(); }

std::shared_ptr<NSDictionary> NSBundle::loadedInfo() const {
  std::lock_guard lock(mutex_);
  if (!info_) info_ = readInfo(resources_ / "Info.plist");
  return info_;
}

std::shared_ptr<NSDictionary> NSBundle::infoDictionary() const { return loadedInfo()->copy(); }

id NSBundle::objectForInfoDictionaryKey(std::string_view key) const { return loadedInfo()->objectForKey(key); }

std::optional<std::string> NSBundle::bundleIdentifier() const {
  auto identifier = loadedInfo()->objectForKeyAs<NSString>("CFBundleIdentifier");
  if (!identifier) return std::nullopt;
  return identifier->string();
}

void NSBundle::setInfoDictionary(std::shared_ptr<NSDictionary> info) {
  std::lock_guard lock(mutex_);
  info_ = info ? info->copy() : nullptr;
}

std::optional<std::filesystem::path> NSBundle::pathForResource(std::string_view name, std::string_view ofType) const {
  if (name.empty()) return std::nullopt;
  std::string file(name);
  if (!ofType.empty()) file += (ofType.starts_with('.') ? "" : ".") + std::string(ofType);
  const std::filesystem::path relative(file);
  if (relative.is_absolute()) return std::nullopt;
  for (const auto& part : relative) {
    if (part == "..") return std::nullopt;
  }
  std::error_code error;
  for (const auto& folder : {resources_, made_}) {
    if (folder.empty()) continue;
    auto path = folder / relative;
    if (std::filesystem::is_regular_file(path, error)) return path;
  }
  return std::nullopt;
}

std::shared_ptr<NSURL> NSBundle::URLForResource(std::string_view name, std::string_view withExtension) const {
  auto path = pathForResource(name, withExtension);
  return path ? NSURL::fileURLWithPath(path->string(), false) : nullptr;
}
