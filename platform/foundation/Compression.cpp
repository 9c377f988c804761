#include "platform/foundation/Compression.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Failure = Compression::Failure;
using Expanded = std::expected<std::shared_ptr<NSData>, Failure>;

// More layers of coding than any server applies on purpose.
constexpr std::size_t kMaxCodings = 4;
constexpr std::size_t kGzipHeaderAndTrailer = 18;

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

libdeflate_decompressor* threadDecompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  return decompressor.get();
}

// Gathered bytes as data with `padding` spare bytes after them.
std::shared_ptr<NSData> padded(std::vector<std::uint8_t> bytes, std::size_t padding) {
  if (bytes.capacity() < bytes.size() + padding) bytes.reserve(bytes.size() + padding);
  return NSData::make(std::move(bytes));
}

// zlib, piece by piece: `windowBits` chooses the wrapper (31 gzip, 15 zlib, -15 raw). Gzip
// members that follow one another expand one after the other, as one body.
Expanded inflateStream(std::string_view bytes, int windowBits, std::size_t limit, std::size_t padding) {
  z_stream stream{};
  if (inflateInit2(&stream, windowBits) != Z_OK) return std::unexpected(Failure::corrupt);
  std::vector<std::uint8_t> out;
  // Room for the limit and one byte more, so that passing it is seen.
  const std::size_t ceiling = limit + 1;
  out.resize(std::min(ceiling, std::max<std::size_t>(bytes.size() * 4, 4096)));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  std::size_t produced = 0;
  std::size_t fed = 0;
  Failure failure = Failure::corrupt;
  bool ended = false;
  for (;;) {
    if (stream.avail_in == 0 && fed < bytes.size()) {
      const std::size_t piece = std::min<std::size_t>(bytes.size() - fed, 1u << 30);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + fed));
      stream.avail_in = static_cast<uInt>(piece);
      fed += piece;
    }
    if (produced == out.size()) {
      if (out.size() >= ceiling) {
        failure = Failure::tooLarge;
        break;
      }
      out.resize(std::min(ceiling, out.size() * 2));
    }
    const std::size_t room = std::min<std::size_t>(out.size() - produced, 1u << 30);
    stream.next_out = out.data() + produced;
    stream.avail_out = static_cast<uInt>(room);
    const int result = inflate(&stream, Z_NO_FLUSH);
    produced += room - stream.avail_out;
    if (result == Z_STREAM_END) {
      const bool more = stream.avail_in > 0 || fed < bytes.size();
      if (windowBits > 16 && more && inflateReset(&stream) == Z_OK) continue;
      ended = !more;
      break;
    }
    if (result == Z_BUF_ERROR && stream.avail_out > 0) break;  // the input ended inside the stream
    if (result != Z_OK && result != Z_BUF_ERROR) break;
  }
  inflateEnd(&stream);
  if (produced > limit) return std::unexpected(Failure::tooLarge);
  if (!ended) return std::unexpected(failure);
  out.resize(produced);
  return padded(std::move(out), padding);
}

// One coding taken off.
Expanded undo(std::string_view coding, std::string_view bytes, std::size_t limit, std::size_t padding) {
  if (coding == "gzip" || coding == "x-gzip") return Compression::gunzip(bytes, limit, padding);
  if (coding == "deflate") {
    // The standard's "deflate" is a zlib stream; some servers send the bare deflate data.
    auto wrapped = inflateStream(bytes, 15, limit, padding);
    if (wrapped || wrapped.error() == Failure::tooLarge) return wrapped;
    return inflateStream(bytes, -15, limit, padding);
  }
  return std::unexpected(Failure::unsupported);
}

std::string lowercaseTrimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::expected<std::shared_ptr<NSData>, Failure> Compression::gunzip(std::string_view bytes, std::size_t limit,
                                                                     std::size_t padding) {
  if (bytes.size() < kGzipHeaderAndTrailer || static_cast<unsigned char>(bytes[0]) != 0x1f ||
      static_cast<unsigned char>(bytes[1]) != 0x8b) {
    return std::unexpected(Failure::corrupt);
  }
  // The trailer states the expanded size (modulo 2^32): the size of the one buffer to expand
  // into when it tells the truth. When it is past the limit (a bomb, or bytes that are no
  // trailer) the expansion goes piece by piece, to the limit at most.
  const auto* end = reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size());
  const std::size_t stated = static_cast<std::size_t>(end[-4]) | static_cast<std::size_t>(end[-3]) << 8 |
                             static_cast<std::size_t>(end[-2]) << 16 | static_cast<std::size_t>(end[-1]) << 24;
  if (stated > limit) return inflateStream(bytes, 31, limit, padding);
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(stated + padding);
  std::size_t consumed = 0;
  std::size_t produced = 0;
  const auto result = libdeflate_gzip_decompress_ex(threadDecompressor(), bytes.data(), bytes.size(), buffer.get(),
                                                    stated, &consumed, &produced);
  if (result == LIBDEFLATE_SUCCESS && consumed == bytes.size() && produced == stated) {
    std::memset(buffer.get() + stated, 0, padding);
    return NSData::adopt(std::move(buffer), stated, stated + padding);
  }
  if (result == LIBDEFLATE_BAD_DATA) return std::unexpected(Failure::corrupt);
  // Several members, or a trailer that does not state the whole size.
  return inflateStream(bytes, 31, limit, padding);
}

std::expected<std::shared_ptr<NSData>, Failure> Compression::decodeContent(std::string_view codings,
                                                                           std::shared_ptr<NSData> body,
                                                                           std::size_t limit, std::size_t padding) {
  std::vector<std::string> applied;
  while (!codings.empty()) {
    const auto comma = codings.find(',');
    auto coding = lowercaseTrimmed(codings.substr(0, comma));
    codings = comma == std::string_view::npos ? std::string_view() : codings.substr(comma + 1);
    if (coding.empty() || coding == "identity") continue;
    if (applied.size() == kMaxCodings) return std::unexpected(Failure::unsupported);
    applied.push_back(std::move(coding));
  }
  if (!body) body = NSData::make();
  if (applied.empty()) {
    if (body->length() > limit) return std::unexpected(Failure::tooLarge);
    if (body->capacity() >= body->length() + padding) return body;
    return padded(std::vector<std::uint8_t>(body->view().begin(), body->view().end()), padding);
  }
  std::shared_ptr<NSData> current = body;
  // The last coding applied is the first to undo.
  for (auto coding = applied.rbegin(); coding != applied.rend(); ++coding) {
    auto expanded = undo(*coding, current->view(), limit, padding);
    if (!expanded) return expanded;
    current = std::move(*expanded);
  }
  if (applied.size() == 1 && (applied[0] == "gzip" || applied[0] == "x-gzip")) current->setCompressedSource(body);
  return current;
}
