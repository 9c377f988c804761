#pragma once
// A block of bytes.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSData : public NSObject {
 public:
  static std::shared_ptr<NSData> make(std::vector<std::uint8_t> bytes = {});
  static std::shared_ptr<NSData> fromString(std::string_view bytes);
  // Takes over a buffer of `capacity` bytes whose first `length` are the data, so that a
  // file or a reply can be read straight into the buffer the data keeps, never zeroed first.
  static std::shared_ptr<NSData> adopt(std::unique_ptr<std::uint8_t[]> buffer, std::size_t length,
                                       std::size_t capacity);

  // The bytes as a vector; adopted data is copied into one on the first call.
  const std::vector<std::uint8_t>& bytes() const;
  std::vector<std::uint8_t>& mutableBytes();
  std::size_t length() const { return adopted_ ? adoptedLength_ : bytes_.size(); }
  // Bytes readable after the data's start: what a parser that reads past the end (simdjson's
  // padding) may count on.
  std::size_t capacity() const { return adopted_ ? adoptedCapacity_ : bytes_.capacity(); }
  std::string_view view() const {
    if (adopted_) return {reinterpret_cast<const char*>(adopted_.get()), adoptedLength_};
    return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
  }
  std::string string() const { return std::string(view()); }

  // The gzip bytes the data was expanded from, when it came so (a reply sent compressed):
  // far smaller, so a holder that needs the data again only now and then may keep them
  // instead and expand them when it does. None once the bytes have been changed.
  const std::shared_ptr<const NSData>& compressedSource() const { return compressedSource_; }
  void setCompressedSource(std::shared_ptr<const NSData> source) { compressedSource_ = std::move(source); }

  GLIMDECK_OBJECT(NSData)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  explicit NSData(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  mutable std::vector<std::uint8_t> bytes_;
  std::unique_ptr<std::uint8_t[]> adopted_;
  std::size_t adoptedLength_ = 0;
  std::size_t adoptedCapacity_ = 0;
  mutable std::once_flag copied_;
  std::shared_ptr<const NSData> compressedSource_;
};
