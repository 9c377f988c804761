// Items backed by a private copy of a GIF file in the application's GIF folder.
#include <array>
#include <filesystem>
#include <fstream>
#include <span>

#include "model/AppConstants.h"
#include "model/VornObject.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Paths.h"

namespace {

// A new file name in the GIF folder: an upper-case UUID and ".gif".
std::shared_ptr<NSURL> newPrivateGifUrl() {
  return gifDataDirectoryURL()->URLByAppendingPathComponent(NSUUID::UUID()->UUIDString() + ".gif", false);
}

// Only the signature decides, so only the signature is read: a large file is not loaded
// whole just to test its first bytes.
std::optional<bool> startsWithGifSignature(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::array<std::uint8_t, gifSignatureLength> header{};
  file.read(reinterpret_cast<char*>(header.data()), header.size());
  if (file.bad()) return std::nullopt;
  return isGifData(std::span(header.data(), static_cast<std::size_t>(file.gcount())));
}

}  // namespace

std::shared_ptr<VornObject> VornObject::initWithLocalFileUrl(const std::shared_ptr<NSURL>& fileUrl,
                                                             std::optional<NSSize> size,
                                                             std::shared_ptr<PlovexUser> poster,
                                                             bool boostedFollowerContent) {
  auto item = makeShared<VornObject>();
  const std::string address = fileUrl ? fileUrl->absoluteString() : std::string();
  item->vid = address;
  item->gifUrl = address;
  item->tinyGifUrl = address;
  item->superTinyGifUrl = address;
  item->dims = size;
  item->poster = std::move(poster);
  item->boostedFollowerContent = boostedFollowerContent;
  return item;
}

VornObject::LocalResult VornObject::initWithCopyFromLocalPath(const std::shared_ptr<NSURL>& sourceUrl) {
  if (!sourceUrl || !sourceUrl->isFileURL()) {
    return std::unexpected(VornObjectSerializationError::invalidUrl(sourceUrl ? sourceUrl->absoluteString() : ""));
  }
  const std::string sourcePath = sourceUrl->path();
  bool isDirectory = false;
  auto manager = NSFileManager::defaultManager();
  if (!manager->fileExistsAtPath(sourcePath, &isDirectory) || isDirectory) {
    return std::unexpected(VornObjectSerializationError::invalidUrl(sourcePath));
  }
  auto isGif = startsWithGifSignature(sourcePath);
  if (!isGif || !*isGif) return std::unexpected(VornObjectSerializationError::invalidUrl(sourcePath));
  auto destination = newPrivateGifUrl();
  if (auto copied = manager->copyItemAtURL(sourceUrl, destination); !copied) {
    OutputSink::print(copied.error()->description());
    return std::unexpected(copied.error());
  }
  return initWithLocalFileUrl(destination, std::nullopt, nullptr, false);
}

VornObject::LocalResult VornObject::initWithLocalGifImageData(const std::shared_ptr<NSData>& data) {
  auto destination = newPrivateGifUrl();
  const std::string_view bytes = data ? data->view() : std::string_view();
  if (!NSFileManager::defaultManager()->writeAtomicallyToURL(destination, bytes)) {
    return std::unexpected(VornObjectSerializationError::invalidUrl(destination->absoluteString()));
  }
  return initWithLocalFileUrl(destination, std::nullopt, nullptr, false);
}

std::shared_ptr<NSURL> VornObject::saveDirectoryUrl() const {
  // The group's container: a folder named by the group under the user's data folder.
  const auto path = Paths::dataHome() / std::string(appGroupIdentifier);
  auto manager = NSFileManager::defaultManager();
  auto folder = NSURL::fileURLWithPath(path.string(), true);
  std::error_code error;
  const bool reachable = std::filesystem::is_directory(path, error);
  if (error && error != std::errc::no_such_file_or_directory) return nullptr;
  if (reachable) return folder;
  return manager->createPrivateDirectoryAtPath(path, false) ? folder : nullptr;
}
