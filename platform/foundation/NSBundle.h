#pragma once
// The application's bundle: its resources folder and the Info dictionary read from
// Info.plist in it. The folder is $GLIMDECK_RESOURCES_DIR when set, else the one installed
// with the program (share/glimdeck beside its bin folder) when there is one, else the
// sources' resources folder the build names; in that last case the resources the build
// makes (the licence list) are found in the build's folder of made resources after it.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSDictionary.h"

class NSURL;

class NSBundle : public NSObject {
 public:
  static std::shared_ptr<NSBundle> mainBundle();
  // Forgets the main bundle, so the next use reads the folder and Info.plist again.
  static void resetMainBundle();
  // The resources folder of a program at this path, as the main bundle chooses it.
  static std::filesystem::path resourcePathForExecutable(const std::filesystem::path& executable);

  std::filesystem::path resourcePath() const { return resources_; }
  // The folder of the running program, and the program itself.
  std::filesystem::path bundlePath() const;
  std::filesystem::path executablePath() const;

  // A copy of the Info dictionary; empty when Info.plist is missing or unreadable.
  std::shared_ptr<NSDictionary> infoDictionary() const;
  id objectForInfoDictionaryKey(std::string_view key) const;
  // "CFBundleIdentifier" when it is a text.
  std::optional<std::string> bundleIdentifier() const;
  // Replaces the Info dictionary for this process (empty reads Info.plist again).
  void setInfoDictionary(std::shared_ptr<NSDictionary> info);

  // The path of an existing resource "name.type" ("name" alone for an empty type), or
  // nothing. Names may reach into sub-folders but never out of the resources folder.
  std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view ofType) const;
  std::shared_ptr<NSURL> URLForResource(std::string_view name, std::string_view withExtension) const;

  GLIMDECK_OBJECT(NSBundle)

 private:
  NSBundle(std::filesystem::path resources, std::filesystem::path made)
      : resources_(std::move(resources)), made_(std::move(made)) {}
  std::shared_ptr<NSDictionary> loadedInfo() const;

  std::filesystem::path resources_;
  std::filesystem::path made_;  // empty: every resource is in resources_
  mutable std::mutex mutex_;
  mutable std::shared_ptr<NSDictionary> info_;
};
