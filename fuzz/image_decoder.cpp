// Reads arbitrary bytes as a PNG or GIF picture. A picture that reads must hold whole
// frames of its stated size (no larger than the picture) and draw without fault; one that
// does not read must come back as an error of the image domain.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/appkit/NSImage.h"
#include "platform/render/CairoContext.h"

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "image_decoder: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto bytes = NSData::make(std::vector<std::uint8_t>(data, data + size));
  auto image = NSImage::initWithData(bytes);
  if (!image) {
    if (!image.error() || image.error()->domain() != NSImage::ErrorDomain) fault("a refusal without an image error");
    return 0;
  }
  const auto& picture = *image;
  if (picture->frameCount() == 0) fault("a picture without frames");
  for (std::size_t i = 0; i < picture->frameCount(); ++i) {
    auto frame = picture->frame(i);
    if (!frame) fault("a frame that does not decode");
    if (frame->width <= 0 || frame->height <= 0) fault("an empty frame");
    if (frame->width != picture->pixelWidth() || frame->height != picture->pixelHeight()) fault("frames differ in size");
    if (frame->rgba.size() != static_cast<std::size_t>(frame->width) * frame->height * 4) fault("a short frame");
    if (picture->frameDelay(i) < 0) fault("a negative delay");
  }
  // A large picture's frames are kept smaller than its own size, never larger.
  if (picture->pixelWidth() > picture->size().width || picture->pixelHeight() > picture->size().height) {
    fault("frames larger than the picture");
  }
  auto canvas = CairoContext::make({16, 16});
  canvas->drawImage(picture, NSMakeRect(0, 0, 16, 16), 1.0);
  return 0;
}
