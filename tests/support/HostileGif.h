#pragma once
// A GIF that is small on disk and huge decoded: `side` × `side` pixels in `frames` full-size
// frames of one colour each. Flat frames compress to a few KB, so the file stays small while
// every frame asks for side² pixels. Shared by the cases and benchmarks that play it on tiles.

#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace hostile {

inline std::string gif(int side, int frames) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, [](GifFileType* file, const GifByteType* bytes, int length) {
    static_cast<std::string*>(file->UserData)->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    return length;
  }, &error);
  if (!gif) std::abort();
  GifColorType colours[16];
  for (int i = 0; i < 16; ++i) {
    colours[i] = {static_cast<GifByteType>(i * 16), static_cast<GifByteType>(255 - i * 12), static_cast<GifByteType>(i * 7)};
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

}  // namespace hostile
