#pragma once
// Compressed bodies for tests of what expands them: gzip members, zlib streams and bare
// deflate data, made with zlib.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace testgzip {

// `windowBits`: 31 a gzip member, 15 a zlib stream, -15 bare deflate data.
inline std::string compress(std::string_view text, int windowBits = 31, int level = 6) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

inline std::string gzip(std::string_view text) { return compress(text, 31); }

// The member with the size its trailer states changed, as a hostile server might send it.
inline std::string withStatedSize(std::string member, std::uint32_t size) {
  for (int i = 0; i < 4; ++i) member[member.size() - 4 + i] = static_cast<char>((size >> (8 * i)) & 0xff);
  return member;
}

}  // namespace testgzip
