#include "standin/GifMaker.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

constexpr int kColours = 16;
constexpr int kMaxSide = 2048;
constexpr int kMaxFrames = 64;
constexpr std::string_view kFiller = "glimdeck stand-in padding ";

int writeToString(GifFileType* gif, const GifByteType* bytes, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  return length;
}

GifMaker::Look clamped(GifMaker::Look look) {
  look.width = std::clamp(look.width, 1, kMaxSide);
  look.height = std::clamp(look.height, 1, kMaxSide);
  look.frames = std::clamp(look.frames, 1, kMaxFrames);
  return look;
}

std::uint8_t channel(std::uint32_t rgb, int shift) { return static_cast<std::uint8_t>((rgb >> shift) & 0xff); }

// The background colour, then shades of it and of its complement for the moving parts.
std::array<GifColorType, kColours> paletteFor(std::uint32_t rgb) {
  std::array<GifColorType, kColours> colours{};
  auto r = channel(rgb, 16), g = channel(rgb, 8), b = channel(rgb, 0);
  colours[0] = {r, g, b};
  for (int i = 1; i < kColours; ++i) {
    int t = i * 255 / (kColours - 1);
    colours[i] = {static_cast<GifByteType>((255 - r) * t / 255 + r * (255 - t) / 510),
                  static_cast<GifByteType>((255 - g) * (255 - t) / 255 + g * t / 510),
                  static_cast<GifByteType>(b * t / 255 + (255 - b) * (255 - t) / 510)};
  }
  return colours;
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};

// Splits `count` comment bytes into sub-blocks of 2 to 256 bytes (a length byte and 1 to
// 255 data bytes): full blocks, then at most two shorter ones.
struct CommentLayout {
  std::size_t fullBlocks = 0;
  std::array<std::size_t, 2> tail{0, 0};

  explicit CommentLayout(std::size_t count) {
    fullBlocks = count / 256;
    std::size_t rest = count % 256;
    if (rest == 1) {
      // One byte cannot be a block of its own: share the last full block with it.
      --fullBlocks;
      tail = {128, 129};
    } else if (rest > 0) {
      tail = {rest, 0};
    }
  }

  // The comment byte at offset k. Filler depends on the offset within its block only, so
  // that every full block is the same 256 bytes.
  std::uint8_t at(std::size_t k) const {
    if (k < fullBlocks * 256) return fullBlock()[k % 256];
    std::size_t t = k - fullBlocks * 256;
    std::size_t block = 0;
    if (t >= tail[0]) {
      t -= tail[0];
      block = 1;
    }
    if (t == 0) return static_cast<std::uint8_t>(tail[block] - 1);
    return static_cast<std::uint8_t>(kFiller[(t - 1) % kFiller.size()]);
  }

  // Appends the comment bytes [k, end) to `out`, whole blocks at a time where it can.
  void append(std::size_t k, std::size_t end, std::string& out) const {
    std::size_t fullEnd = std::min(end, fullBlocks * 256);
    while (k < fullEnd) {
      std::size_t within = k % 256;
      std::size_t count = std::min(256 - within, fullEnd - k);
      out.append(fullBlock().data() + within, count);
      k += count;
    }
    for (; k < end; ++k) out.push_back(static_cast<char>(at(k)));
  }

  static const std::string& fullBlock() {
    static const std::string block = [] {
      std::string b(1, static_cast<char>(255));
      for (std::size_t i = 0; i < 255; ++i) b.push_back(kFiller[i % kFiller.size()]);
      return b;
    }();
    return block;
  }
};

void appendBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}

}  // namespace

std::string GifMaker::animated(const Look& requested) {
  Look look = clamped(requested);
  std::string out;
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&out, writeToString, &error));
  if (!gif) return out;
  EGifSetGifVersion(gif.get(), true);
  auto colours = paletteFor(look.rgb);
  ColorMapObject* map = GifMakeMapObject(kColours, colours.data());
  EGifPutScreenDesc(gif.get(), look.width, look.height, 4, 0, map);
  GifFreeMapObject(map);
  if (look.loop) {
    EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif.get(), 11, "NETSCAPE2.0");
    const unsigned char loopForever[] = {1, 0, 0};
    EGifPutExtensionBlock(gif.get(), 3, loopForever);
    EGifPutExtensionTrailer(gif.get());
  }
  int side = std::max(1, std::min(look.width, look.height) / 3);
  std::vector<GifPixelType> line(static_cast<std::size_t>(look.width));
  for (int frame = 0; frame < look.frames; ++frame) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = 10;  // hundredths of a second
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, extension);
    EGifPutImageDesc(gif.get(), 0, 0, look.width, look.height, false, nullptr);
    // A square crossing the frame from left to right over the animation, on stripes.
    int left = look.frames > 1 ? (look.width - side) * frame / (look.frames - 1) : 0;
    int top = (look.height - side) / 2;
    auto ink = static_cast<GifPixelType>(1 + frame % (kColours - 1));
    for (int y = 0; y < look.height; ++y) {
      for (int x = 0; x < look.width; ++x) {
        bool inSquare = x >= left && x < left + side && y >= top && y < top + side;
        line[static_cast<std::size_t>(x)] = inSquare ? ink : static_cast<GifPixelType>(((x + y) / 8) % 2 ? 0 : kColours - 1);
      }
      EGifPutLine(gif.get(), line.data(), look.width);
    }
  }
  gif.reset();  // closing writes the trailer
  return out;
}

std::size_t GifMaker::sizeBound(const Look& requested) {
  Look look = clamped(requested);
  std::size_t pixels = static_cast<std::size_t>(look.width) * static_cast<std::size_t>(look.height);
  // Every pixel costs at most one 12-bit code, plus clear codes when the table fills, the
  // start clear code and the end code.
  std::size_t codes = pixels + pixels / 4000 + 4;
  std::size_t dataBytes = (codes * 12 + 7) / 8;
  std::size_t perFrame = 8 + 10 + 1 + dataBytes + (dataBytes + 254) / 255 + 1;
  return 6 + 7 + 3 * kColours + (look.loop ? 19 : 0) + perFrame * static_cast<std::size_t>(look.frames) + 1;
}

std::expected<GifMaker::PaddedFile, std::string> GifMaker::padded(const Look& look, std::size_t size) {
  // The padding between the image data and the trailer is a comment extension: 0x21 0xFE,
  // sub-blocks, 0x00. It cannot be 1, 2 or 4 bytes long, and giflib refuses a comment
  // without sub-blocks (3 bytes); then the looping extension (19 bytes) is left out to move
  // the padding to a length that works.
  for (bool loop : {look.loop, !look.loop}) {
    Look variant = look;
    variant.loop = loop;
    std::string whole = animated(variant);
    if (whole.empty() || size < whole.size()) continue;
    std::size_t padding = size - whole.size();
    if (padding >= 1 && padding <= 4) continue;
    PaddedFile file;
    whole.pop_back();  // the trailer goes after the padding
    file.prefix_ = std::move(whole);
    file.size_ = size;
    file.gif_ = true;
    return file;
  }
  return std::unexpected("a GIF cannot be made " + std::to_string(size) + " bytes long");
}

std::expected<GifMaker::PaddedFile, std::string> GifMaker::mp4(std::size_t size) {
  constexpr std::size_t kFtyp = 28;
  constexpr std::size_t kHead = kFtyp + 8;  // the ftyp box and the mdat box header
  if (size < kHead || size > 0xffffffffu) return std::unexpected("an MP4 file cannot be made " + std::to_string(size) + " bytes long");
  PaddedFile file;
  appendBigEndian(file.prefix_, kFtyp);
  file.prefix_ += "ftypisom";
  appendBigEndian(file.prefix_, 0x200);
  file.prefix_ += "isomiso2mp41";
  appendBigEndian(file.prefix_, static_cast<std::uint32_t>(size - kFtyp));
  file.prefix_ += "mdat";
  file.size_ = size;
  file.gif_ = false;
  return file;
}

std::expected<GifMaker::PaddedFile, std::string> GifMaker::paddedMovie(std::string movie, std::size_t size) {
  constexpr std::size_t kBoxHeader = 8;
  std::size_t extra = size - std::min(size, movie.size());
  if (size < movie.size() || (extra > 0 && extra < kBoxHeader) || extra > 0xffffffffu) {
    return std::unexpected("a movie of " + std::to_string(movie.size()) + " bytes cannot be padded to " +
                           std::to_string(size));
  }
  PaddedFile file;
  file.prefix_ = std::move(movie);
  if (extra > 0) {
    appendBigEndian(file.prefix_, static_cast<std::uint32_t>(extra));
    file.prefix_ += "free";
  }
  file.size_ = size;
  file.gif_ = false;
  return file;
}

void GifMaker::PaddedFile::write(std::size_t offset, std::size_t length, std::string& out) const {
  std::size_t end = std::min(size_, offset + length);
  std::size_t i = offset;
  for (; i < end && i < prefix_.size(); ++i) out.push_back(prefix_[i]);
  if (i >= end) return;
  if (!gif_) {
    while (i < end) {
      std::size_t within = i % kFiller.size();
      std::size_t count = std::min(kFiller.size() - within, end - i);
      out.append(kFiller.substr(within, count));
      i += count;
    }
    return;
  }
  std::size_t padding = size_ - prefix_.size() - 1;
  CommentLayout layout(padding >= 5 ? padding - 3 : 0);
  // Layout after the image data: 0x21 0xFE, the comment's sub-blocks, 0x00, the trailer.
  while (i < end) {
    std::size_t j = i - prefix_.size();
    if (j == padding) {
      out.push_back(static_cast<char>(0x3b));
      ++i;
    } else if (j == 0) {
      out.push_back(static_cast<char>(0x21));
      ++i;
    } else if (j == 1) {
      out.push_back(static_cast<char>(0xfe));
      ++i;
    } else if (j == padding - 1) {
      out.push_back('\0');
      ++i;
    } else {
      std::size_t stop = std::min(end, prefix_.size() + padding - 1);
      layout.append(j - 2, stop - prefix_.size() - 2, out);
      i = stop;
    }
  }
}

std::string GifMaker::PaddedFile::bytes() const {
  std::string out;
  out.reserve(size_);
  write(0, size_, out);
  return out;
}
