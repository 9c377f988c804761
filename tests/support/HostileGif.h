#pragma once
// GIFs a hostile sender makes, shared by the cases and benchmarks that play them on tiles.
//
// `gif`: small on disk and huge decoded, `side` × `side` pixels in `frames` full-size frames
// of one colour each. Flat frames compress to a few KB, so the file stays small while every
// frame asks for side² pixels.
//
// `patternedGif`: large on disk as well. Every frame is rows of runs of 64 pixels of random
// colours, which LZW cannot shrink much (about 117 kB a frame at 2000 × 2000), and every frame
// has colours of its own, so no two frames show the same picture. Encoding 2000² pixels takes
// giflib tens of milliseconds, so a few run patterns are encoded once and the frames share
// them under their own colour tables: a file of a hundred frames is made in well under a second.
//
// `cutPatternedGif`: such a file cut inside a frame's pixels, as a download that stopped.
//
// The set the memory cases and benchmark play (`hostileGifs`), each made once a process:
// 2000 × 2000 in 64 frames (about 7.5 MB), in 136 frames (about 15.9 MB), and the first cut
// at about 4.1 MB.

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace hostile {

namespace detail {

inline int appendTo(GifFileType* file, const GifByteType* bytes, int length) {
  static_cast<std::string*>(file->UserData)->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  return length;
}

inline std::uint32_t mix(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

constexpr int kRun = 64;        // pixels of one colour in a row
constexpr int kPatterns = 4;    // run patterns the frames take turns with
constexpr int kColourBits = 4;  // 16 colours a frame

// A frame's compressed pixels (the LZW code size and the data sub-blocks up to their
// terminator) for run pattern `pattern` at `side` × `side`, encoded once a process.
inline const std::string& runPattern(int side, int pattern) {
  static std::mutex mutex;
  static std::map<std::pair<int, int>, std::string> made;
  std::lock_guard lock(mutex);
  auto [at, fresh] = made.try_emplace({side, pattern});
  if (!fresh) return at->second;
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendTo, &error);
  if (!gif) std::abort();
  GifColorType grey[1 << kColourBits] = {};
  ColorMapObject* map = GifMakeMapObject(1 << kColourBits, grey);
  EGifPutScreenDesc(gif, side, side, kColourBits, 0, map);
  GifFreeMapObject(map);
  EGifPutImageDesc(gif, 0, 0, side, side, false, nullptr);
  std::vector<GifPixelType> line(static_cast<std::size_t>(side));
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const auto run = static_cast<std::uint32_t>(x / kRun);
      line[static_cast<std::size_t>(x)] =
          static_cast<GifPixelType>(mix(run * 7919U + static_cast<std::uint32_t>(y) * 104729U +
                                        static_cast<std::uint32_t>(pattern) * 15485863U + 17U) &
                                    ((1U << kColourBits) - 1));
    }
    EGifPutLine(gif, line.data(), side);
  }
  EGifCloseFile(gif, &error);
  // Header 6, screen 7, colour table, image descriptor 10; the trailer byte last.
  const std::size_t start = 6 + 7 + 3 * (1u << kColourBits) + 10;
  at->second = out.substr(start, out.size() - start - 1);
  return at->second;
}

inline void put16(std::string& out, int value) {
  out.push_back(static_cast<char>(value & 0xff));
  out.push_back(static_cast<char>((value >> 8) & 0xff));
}

inline void putColours(std::string& out, std::uint32_t seed) {
  for (int i = 0; i < (1 << kColourBits); ++i) {
    const std::uint32_t rgb = mix(seed * 16U + static_cast<std::uint32_t>(i) + 1U);
    out.push_back(static_cast<char>(rgb & 0xff));
    out.push_back(static_cast<char>((rgb >> 8) & 0xff));
    out.push_back(static_cast<char>((rgb >> 16) & 0xff));
  }
}

}  // namespace detail

// The colour of frame `frame` of `gif(side, frames)`, as red, green, blue.
inline std::array<std::uint8_t, 3> flatColour(int frame) {
  const int i = frame % 16;
  return {static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(255 - i * 12), static_cast<std::uint8_t>(i * 7)};
}

inline std::string gif(int side, int frames) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, detail::appendTo, &error);
  if (!gif) std::abort();
  GifColorType colours[16];
  for (int i = 0; i < 16; ++i) {
    const auto [red, green, blue] = flatColour(i);
    colours[i] = {red, green, blue};
  }
  ColorMapObject* map = GifMakeMapObject(16, colours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, side, side, 4, 0, map);
  GifFreeMapObject(map);
  EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
  const unsigned char forever[] = {1, 0, 0};
  EGifPutExtensionBlock(gif, 3, forever);
  EGifPutExtensionTrailer(gif);
  std::vector<GifPixelType> line(static_cast<std::size_t>(side));
  for (int frame = 0; frame < frames; ++frame) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 10, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
    EGifPutImageDesc(gif, 0, 0, side, side, false, nullptr);
    std::fill(line.begin(), line.end(), static_cast<GifPixelType>(frame % 16));
    for (int y = 0; y < side; ++y) EGifPutLine(gif, line.data(), side);
  }
  EGifCloseFile(gif, &error);
  return out;
}

// Frames of `side` × `side` that differ and hardly compress, looping for ever, 0.1 s each.
inline std::string patternedGif(int side, int frames) {
  using namespace detail;
  std::string out = "GIF89a";
  put16(out, side);
  put16(out, side);
  out.push_back(static_cast<char>(0x80 | (kColourBits - 1) << 4 | (kColourBits - 1)));  // a global table
  out.push_back(0);
  out.push_back(0);
  putColours(out, 0xffffU);
  out += std::string_view("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  for (int frame = 0; frame < frames; ++frame) {
    // A graphics control block: no disposal, 10 hundredths, no transparent colour.
    out += std::string_view("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8);
    out.push_back(0x2c);
    put16(out, 0);
    put16(out, 0);
    put16(out, side);
    put16(out, side);
    out.push_back(static_cast<char>(0x80 | (kColourBits - 1)));  // a table of its own
    putColours(out, static_cast<std::uint32_t>(frame));
    out += runPattern(side, frame % kPatterns);
  }
  out.push_back(0x3b);
  return out;
}

// The frames of `patternedGif(side, frames)` up to about `bytes`, cut halfway through the
// pixels of the frame the cut falls in, as a download that stopped mid-frame.
inline std::string cutPatternedGif(int side, int frames, std::size_t bytes) {
  std::string whole = patternedGif(side, frames);
  // The frames' records are alike but for their pixels: find where each frame's pixels start.
  const std::size_t head = 6 + 7 + 3 * (1u << detail::kColourBits) + 19;
  const std::size_t frameHead = 8 + 10 + 3 * (1u << detail::kColourBits);
  std::size_t at = head;
  for (int frame = 0; frame < frames; ++frame) {
    const std::size_t pixels = detail::runPattern(side, frame % detail::kPatterns).size();
    if (at + frameHead + pixels >= bytes) return whole.substr(0, at + frameHead + pixels / 2);
    at += frameHead + pixels;
  }
  return whole.substr(0, at - detail::runPattern(side, (frames - 1) % detail::kPatterns).size() / 2);
}

// The hostile set, each made once a process.
inline const std::string& patternedGif64() {
  static const std::string bytes = patternedGif(2000, 64);
  return bytes;
}
inline const std::string& patternedGif136() {
  static const std::string bytes = patternedGif(2000, 136);
  return bytes;
}
inline const std::string& cutPatternedGif() {
  static const std::string bytes = cutPatternedGif(2000, 64, 4100u * 1000);
  return bytes;
}

struct HostileGif {
  std::string_view name;
  const std::string& (*bytes)();
};
inline constexpr HostileGif hostileGifs[] = {
    {"patterned 2000x2000 64 frames", patternedGif64},
    {"patterned 2000x2000 136 frames", patternedGif136},
    {"patterned cut mid-frame", cutPatternedGif},
};

}  // namespace hostile
