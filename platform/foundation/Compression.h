#pragma once
// Expanding bodies that came compressed (HTTP content codings). A whole gzip member is
// expanded in one pass into a buffer of exactly its stated size (libdeflate); anything else
// (a zlib or raw deflate stream, several gzip members, a stated size that lies) is expanded
// piece by piece with zlib. Every expansion stops at a limit, so a small hostile body never
// becomes a large one.

#include <cstddef>
#include <expected>
#include <memory>
#include <string_view>

#include "platform/foundation/NSData.h"

namespace Compression {

enum class Failure {
  tooLarge,     // the expanded bytes would pass the limit
  corrupt,      // the bytes are not what their coding says
  unsupported,  // a coding this platform does not know
};

// The gzip bytes expanded, in a buffer with `padding` bytes to spare after them (for a parser
// that reads past the end). At most `limit` bytes.
std::expected<std::shared_ptr<NSData>, Failure> gunzip(std::string_view bytes, std::size_t limit,
                                                       std::size_t padding);

// A body coded by the Content-Encoding `codings` ("gzip", "deflate", "identity", or a list
// of them in the order they were applied), expanded as gunzip does. A body coded once with
// gzip keeps its gzip bytes as the data's compressedSource().
std::expected<std::shared_ptr<NSData>, Failure> decodeContent(std::string_view codings,
                                                              std::shared_ptr<NSData> body, std::size_t limit,
                                                              std::size_t padding);

}  // namespace Compression
