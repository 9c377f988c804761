#pragma once
// Where a GIF's frames are read from: bytes held in memory, or a file kept open and read at
// offsets, so that a large file costs its reader no memory. The file is opened once, without
// following a link and without blocking, and only a plain file is taken: whatever later
// happens to its name (the cache deleting or replacing it) the open file reads the same; a
// file cut shorter meanwhile reads as data that ends early.
//
// Any thread may read; each pass through the data has a Reader of its own.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/foundation/NSData.h"

struct GifFileType;  // giflib's

class GifSource {
 public:
  static std::shared_ptr<GifSource> withData(std::shared_ptr<NSData> data);
  // The file at the path, or the errno why it cannot be taken (ELOOP for a link, EINVAL
  // for anything but a plain file).
  static std::expected<std::shared_ptr<GifSource>, int> withFile(const std::filesystem::path& path);
  ~GifSource();
  GifSource(const GifSource&) = delete;
  GifSource& operator=(const GifSource&) = delete;

  bool isFile() const { return fd_ >= 0; }
  // Bytes in all, as found when the source was made.
  std::uint64_t size() const { return size_; }
  // Bytes of the data held in memory (none for a file).
  std::size_t heldBytes() const { return data_ ? data_->length() : 0; }
  // Copies up to `length` bytes from `offset`; fewer where the data ends (or the file was
  // cut shorter) or cannot be read.
  std::size_t read(std::uint64_t offset, std::uint8_t* into, std::size_t length) const;
  // Whether the data starts as a GIF does.
  bool looksLikeGIF() const;
  // All the bytes, read now (a file's as far as it reads).
  std::shared_ptr<NSData> contents() const;

  // A pass through the data from its start, as giflib reads it (DGifOpen with `readInto`
  // and the reader as its user data). A file is read ahead in blocks, not 255 bytes a call.
  class Reader {
   public:
    explicit Reader(std::shared_ptr<const GifSource> source) : source_(std::move(source)) {}
    static int readInto(GifFileType* gif, unsigned char* into, int length);
    std::size_t read(std::uint8_t* into, std::size_t length);

   private:
    std::shared_ptr<const GifSource> source_;
    std::uint64_t offset_ = 0;  // of the next byte the reader hands over
    std::vector<std::uint8_t> ahead_;
    std::size_t aheadAt_ = 0;
  };

 private:
  GifSource() = default;
  std::shared_ptr<NSData> data_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};
