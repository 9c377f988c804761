#include "model/AppConstants.h"

#include <algorithm>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

std::string timeStringFromDate() {
  auto formatter = NSDateFormatter::make();
  formatter->dateFormat = "HH:mm";
  formatter->locale = NSLocale::localeWithLocaleIdentifier("en_US");
  formatter->timeZone = NSTimeZone::systemTimeZone();
  return formatter->stringFromDate(NSDate::date());
}

bool isGifData(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < gifSignatureLength) return false;
  for (std::string_view candidate : {"GIF89a", "GIF87a"}) {
    if (std::equal(candidate.begin(), candidate.end(), bytes.begin(),
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; })) {
      return true;
    }
  }
  return false;
}

bool isGifData(const std::shared_ptr<NSData>& data) {
  if (!data) return false;
  auto bytes = data->view();
  return isGifData(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::uint64_t fileSizeAtURL(const std::shared_ptr<NSURL>& url) {
  if (!url || !url->isFileURL()) return 0;
  auto attributes = NSFileManager::defaultManager()->attributesOfItemAtPath(url->path());
  if (!attributes) return 0;
  auto size = (*attributes)->objectForKeyAs<NSNumber>(NSFileManager::Keys::NSFileSize);
  if (!size || size->kind() != NSNumber::Kind::unsignedInteger) {
    if (!size || size->isBool() || size->isReal() || size->integerValue() < 0) return 0;
    return static_cast<std::uint64_t>(size->integerValue());
  }
  return size->unsignedIntegerValue();
}

std::shared_ptr<NSURL> applicationSupportDirectoryURL() {
  auto url = NSURL::fileURLWithPath(Paths::applicationSupport().string(), true);
  if (auto created = NSFileManager::defaultManager()->createPrivateDirectoryAtPath(Paths::applicationSupport());
      !created) {
    OutputSink::print("Could not create the application support folder: " + created.error()->localizedDescription());
  }
  return url;
}

namespace {
constexpr std::string_view kGifDataFolderName = "gifdata";
}  // namespace

std::shared_ptr<NSURL> gifDataDirectoryURL() {
  auto url = applicationSupportDirectoryURL()->URLByAppendingPathComponent(kGifDataFolderName, true);
  // A folder that cannot be made shows itself when a file is written into it.
  (void)NSFileManager::defaultManager()->createPrivateDirectoryAtPath(url->path());
  return url;
}

std::shared_ptr<NSData> contentsOfLocalGifFile(const std::string& path) {
  auto files = NSFileManager::defaultManager();
  const auto file = std::filesystem::path(path).lexically_normal();
  // The folder as named, not made: a read, not a write.
  const auto folder = (Paths::applicationSupport() / kGifDataFolderName).lexically_normal();
  auto bytes = file.parent_path() == folder ? files->readContentsOfOwnFileAtPath(file, OwnFiles::gifFolderFile)
                                            : files->readContentsAtPath(file);
  return bytes ? *bytes : nullptr;
}
