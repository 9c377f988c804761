#include "platform/appkit/GifSource.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/foundation/OwnFiles.h"

namespace {

// What a file's reader reads ahead at a time: giflib asks for a byte or a sub-block (at
// most 255) per call.
constexpr std::size_t kReadAhead = 32 * 1024;

}  // namespace

std::shared_ptr<GifSource> GifSource::withData(std::shared_ptr<NSData> data) {
  std::shared_ptr<GifSource> source(new GifSource());
  source->size_ = data ? data->length() : 0;
  source->data_ = data ? std::move(data) : NSData::make();
  return source;
}

std::expected<std::shared_ptr<GifSource>, int> GifSource::withFile(const std::filesystem::path& path) {
  struct stat info {};
  const auto fd = OwnFiles::openPlainFile(path, O_RDONLY, 0, &info);
  if (!fd) return std::unexpected(fd.error().error);
  std::shared_ptr<GifSource> source(new GifSource());
  source->fd_ = *fd;
  source->size_ = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  return source;
}

GifSource::~GifSource() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t GifSource::read(std::uint64_t offset, std::uint8_t* into, std::size_t length) const {
  if (data_) {
    const auto bytes = data_->view();
    if (offset >= bytes.size()) return 0;
    const std::size_t n = std::min<std::size_t>(length, bytes.size() - static_cast<std::size_t>(offset));
    std::memcpy(into, bytes.data() + offset, n);
    return n;
  }
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(fd_, into + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool GifSource::looksLikeGIF() const {
  std::uint8_t head[6] = {};
  return read(0, head, sizeof head) == sizeof head &&
         (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

std::shared_ptr<NSData> GifSource::contents() const {
  if (data_) return data_;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_));
  bytes.resize(read(0, bytes.data(), bytes.size()));
  return NSData::make(std::move(bytes));
}

int GifSource::Reader::readInto(GifFileType* gif, unsigned char* into, int length) {
  auto* reader = static_cast<Reader*>(gif->UserData);
  return static_cast<int>(reader->read(into, length > 0 ? static_cast<std::size_t>(length) : 0));
}

std::size_t GifSource::Reader::read(std::uint8_t* into, std::size_t length) {
  if (!source_->isFile()) {
    const std::size_t n = source_->read(offset_, into, length);
    offset_ += n;
    return n;
  }
  std::size_t done = 0;
  while (done < length) {
    if (aheadAt_ == ahead_.size()) {
      ahead_.resize(kReadAhead);
      ahead_.resize(source_->read(offset_, ahead_.data(), ahead_.size()));
      aheadAt_ = 0;
      if (ahead_.empty()) break;
    }
    const std::size_t n = std::min(length - done, ahead_.size() - aheadAt_);
    std::memcpy(into + done, ahead_.data() + aheadAt_, n);
    aheadAt_ += n;
    offset_ += n;
    done += n;
  }
  return done;
}
