#include "tests/standin/GifDecode.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace {

struct Reader {
  const std::string* bytes;
  std::size_t offset;
};

int readBytes(GifFileType* gif, GifByteType* into, int length) {
  auto* reader = static_cast<Reader*>(gif->UserData);
  std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(length), reader->bytes->size() - reader->offset);
  std::memcpy(into, reader->bytes->data() + reader->offset, count);
  reader->offset += count;
  return static_cast<int>(count);
}

}  // namespace

std::optional<DecodedGif> decodeGif(const std::string& bytes) {
  Reader reader{&bytes, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, readBytes, &error);
  if (!gif) return std::nullopt;
  std::optional<DecodedGif> decoded;
  if (DGifSlurp(gif) == GIF_OK) decoded = DecodedGif{gif->SWidth, gif->SHeight, gif->ImageCount};
  DGifCloseFile(gif, &error);
  return decoded;
}
