// Items backed by a private copy of a GIF file in the application's GIF folder.
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "model/AppConstants.h"
#include "model/InputLimits.h"
#include "model/VornObject.h"
#include "platform/appkit/NSImage.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Paths.h"

namespace {

// A new file name in the GIF folder: an upper-case UUID and ".gif".
std::shared_ptr<NSURL> newPrivateGifUrl() {
  return gifDataDirectoryURL()->URLByAppendingPathComponent(NSUUID::UUID()->UUIDString() + ".gif", false);
}

}  // namespace

std::optional<VornObject::LocalGifRefusal> VornObject::checkLocalGif(const std::shared_ptr<NSData>& bytes) {
  if (!bytes) return LocalGifRefusal::notGif;
  if (bytes->length() > InputLimits::uploadBytes) return LocalGifRefusal::tooLarge;
  if (!isGifData(bytes)) return LocalGifRefusal::notGif;
  // A signature is six bytes anyone can write: the records must read and the first
  // frame decode (giflib, through the image's frame store, with its bounds on what a
  // declared size may cost).
  auto image = NSImage::initWithData(bytes);
  if (!image || !(*image)->gifFrames() || !(*image)->frame(0)) return LocalGifRefusal::notGif;
  return std::nullopt;
}

std::expected<std::shared_ptr<NSData>, VornObject::LocalGifRefusal> VornObject::readLocalGif(const std::string& path) {
  // The size first: a file larger than any upload is not read at all.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::unexpected(errno == ENOENT || errno == ENOTDIR ? LocalGifRefusal::missing : LocalGifRefusal::unreadable);
  }
  if (S_ISDIR(status.st_mode)) return std::unexpected(LocalGifRefusal::folder);
  if (!S_ISREG(status.st_mode)) return std::unexpected(LocalGifRefusal::unreadable);
  if (static_cast<std::uint64_t>(status.st_size) > InputLimits::uploadBytes) {
    return std::unexpected(LocalGifRefusal::tooLarge);
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::unexpected(LocalGifRefusal::unreadable);
  // One byte beyond the size asked for: a file that grew past the limit meanwhile is
  // found out without being read whole.
  const auto capacity = static_cast<std::size_t>(status.st_size) + 1;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
  file.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(capacity));
  if (file.bad()) return std::unexpected(LocalGifRefusal::unreadable);
  auto data = NSData::adopt(std::move(buffer), static_cast<std::size_t>(file.gcount()), capacity);
  if (auto refusal = checkLocalGif(data)) return std::unexpected(*refusal);
  return data;
}

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
  auto bytes = readLocalGif(sourcePath);
  if (!bytes) return std::unexpected(VornObjectSerializationError::invalidUrl(sourcePath));
  // What was checked is what is kept: the bytes read, not the file again (which may have
  // changed meanwhile).
  auto destination = newPrivateGifUrl();
  if (auto written = NSFileManager::defaultManager()->writeAtomicallyToURL(destination, (*bytes)->view()); !written) {
    OutputSink::print(written.error()->description());
    return std::unexpected(written.error());
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
