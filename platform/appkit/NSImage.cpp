#include "platform/appkit/NSImage.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/foundation/NSBundle.h"
#include "platform/render/NSGraphicsContext.h"

namespace {

// Beyond this a picture is refused rather than decoded (hostile headers ask for gigabytes).
constexpr std::uint64_t kMaxPixels = 64ull * 1024 * 1024;
constexpr std::size_t kMaxFrames = 4096;

using Result = std::expected<std::shared_ptr<NSImage>, std::shared_ptr<NSError>>;

std::shared_ptr<NSError> failure(NSImage::ErrorCode code, std::string text) {
  return NSError::make(std::string(NSImage::ErrorDomain), code, std::move(text));
}

bool isPNG(const std::vector<std::uint8_t>& b) {
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return b.size() >= 8 && std::memcmp(b.data(), signature, 8) == 0;
}

bool isGIF(const std::vector<std::uint8_t>& b) {
  return b.size() >= 6 && (std::memcmp(b.data(), "GIF87a", 6) == 0 || std::memcmp(b.data(), "GIF89a", 6) == 0);
}

std::expected<std::vector<NSImageFrame>, std::shared_ptr<NSError>> decodePNG(const std::vector<std::uint8_t>& bytes) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    return std::unexpected(failure(NSImage::corruptData, std::string("unreadable PNG: ") + image.message));
  }
  if (std::uint64_t(image.width) * image.height > kMaxPixels || image.width == 0 || image.height == 0) {
    png_image_free(&image);
    return std::unexpected(failure(NSImage::tooLarge, "PNG too large"));
  }
  image.format = PNG_FORMAT_RGBA;
  NSImageFrame frame;
  frame.width = static_cast<int>(image.width);
  frame.height = static_cast<int>(image.height);
  frame.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, frame.rgba.data(), 0, nullptr)) {
    std::string message = image.message;
    png_image_free(&image);
    return std::unexpected(failure(NSImage::corruptData, "unreadable PNG: " + message));
  }
  return std::vector<NSImageFrame>{std::move(frame)};
}

struct GifReader {
  const std::vector<std::uint8_t>* bytes;
  std::size_t offset = 0;
};

int readGif(GifFileType* file, GifByteType* into, int length) {
  auto* reader = static_cast<GifReader*>(file->UserData);
  std::size_t left = reader->bytes->size() - reader->offset;
  std::size_t n = std::min<std::size_t>(left, length > 0 ? static_cast<std::size_t>(length) : 0);
  std::memcpy(into, reader->bytes->data() + reader->offset, n);
  reader->offset += n;
  return static_cast<int>(n);
}

// Skips the compressed pixels of a frame that is not drawn.
bool skipGifPixels(GifFileType* gif) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) != GIF_OK) return false;
  while (block) {
    if (DGifGetCodeNext(gif, &block) != GIF_OK) return false;
  }
  return true;
}

// The loop count of a "NETSCAPE2.0" application extension, whose data sub-block is 1, count.
void readGifExtension(GifFileType* gif, GraphicsControlBlock* control, int* loopCount) {
  int function = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &function, &block) != GIF_OK) return;
  bool looping = function == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                 std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
  if (function == GRAPHICS_EXT_FUNC_CODE && block) DGifExtensionToGCB(block[0], block + 1, control);
  for (bool first = true; block; first = false) {
    if (!first && looping && block[0] >= 3 && block[1] == 1) *loopCount = block[2] | (block[3] << 8);
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) return;
  }
}

// Reads the file record by record so that a frame's declared size is checked before any of
// its pixels are decoded: a few bytes of header can otherwise ask for gigabytes.
std::expected<std::vector<NSImageFrame>, std::shared_ptr<NSError>> decodeGIF(const std::vector<std::uint8_t>& bytes,
                                                                            int* loopCount) {
  GifReader reader{&bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, readGif, &error);
  if (!gif) return std::unexpected(failure(NSImage::corruptData, "unreadable GIF"));
  struct Closer {
    GifFileType* gif;
    ~Closer() {
      int ignored;
      DGifCloseFile(gif, &ignored);
    }
  } closer{gif};

  *loopCount = 0;
  int width = gif->SWidth, height = gif->SHeight;
  std::vector<NSImageFrame> frames;
  std::vector<std::uint8_t> canvas, row;
  GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  bool truncated = false;
  while (!truncated && frames.size() < kMaxFrames) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) != GIF_OK) break;
    if (record == TERMINATE_RECORD_TYPE) break;
    if (record == EXTENSION_RECORD_TYPE) {
      readGifExtension(gif, &control, loopCount);
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK) break;
    const GifImageDesc& desc = gif->Image;
    int left = desc.Left, top = desc.Top, fw = desc.Width, fh = desc.Height;
    if (frames.empty() && (width <= 0 || height <= 0)) width = fw, height = fh;
    if (width <= 0 || height <= 0) break;
    if (std::uint64_t(width) * height > kMaxPixels || fw > width || fh > height ||
        std::uint64_t(width) * height * (frames.size() + 1) > kMaxPixels * 4) {
      return std::unexpected(failure(NSImage::tooLarge, "GIF too large"));
    }
    if (canvas.empty()) canvas.assign(static_cast<std::size_t>(width) * height * 4, 0);
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    std::vector<std::uint8_t> before;
    if (control.DisposalMode == DISPOSE_PREVIOUS) before = canvas;
    if (fw <= 0 || fh <= 0) {
      truncated = !skipGifPixels(gif);
    } else {
      row.resize(static_cast<std::size_t>(fw));
      // An interlaced frame stores every 8th row from 0, every 8th from 4, every 4th from 2,
      // then the odd rows.
      static constexpr int offsets[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
      int passes = desc.Interlace ? 4 : 1;
      for (int pass = 0; pass < passes && !truncated; ++pass) {
        int step = desc.Interlace ? steps[pass] : 1;
        for (int y = desc.Interlace ? offsets[pass] : 0; y < fh; y += step) {
          if (DGifGetLine(gif, row.data(), fw) != GIF_OK) {
            truncated = true;  // the rows read before the cut still show
            break;
          }
          int cy = top + y;
          if (!map || cy < 0 || cy >= height) continue;
          for (int x = std::max(0, -left); x < fw && left + x < width; ++x) {
            int colourIndex = row[x];
            if (colourIndex == control.TransparentColor || colourIndex >= map->ColorCount) continue;
            const GifColorType& c = map->Colors[colourIndex];
            std::uint8_t* px = &canvas[(static_cast<std::size_t>(cy) * width + left + x) * 4];
            px[0] = c.Red, px[1] = c.Green, px[2] = c.Blue, px[3] = 255;
          }
        }
      }
    }
    NSImageFrame frame;
    frame.width = width;
    frame.height = height;
    frame.rgba = canvas;
    frame.delay = control.DelayTime / 100.0;
    frames.push_back(std::move(frame));
    if (control.DisposalMode == DISPOSE_BACKGROUND) {
      for (int y = std::max(0, top); y < std::min(height, top + fh); ++y) {
        for (int x = std::max(0, left); x < std::min(width, left + fw); ++x) {
          std::memset(&canvas[(static_cast<std::size_t>(y) * width + x) * 4], 0, 4);
        }
      }
    } else if (control.DisposalMode == DISPOSE_PREVIOUS) {
      canvas = std::move(before);
    }
    control = {DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  }
  if (frames.empty()) return std::unexpected(failure(NSImage::corruptData, "GIF without pictures"));
  return frames;
}

}  // namespace

Result NSImage::initWithData(const std::shared_ptr<NSData>& data) {
  if (!data || data->length() == 0) return std::unexpected(failure(unknownFormat, "no image data"));
  const auto& bytes = data->bytes();
  std::shared_ptr<NSImage> image(new NSImage());
  if (isPNG(bytes)) {
    auto frames = decodePNG(bytes);
    if (!frames) return std::unexpected(frames.error());
    image->frames_ = std::move(*frames);
  } else if (isGIF(bytes)) {
    auto frames = decodeGIF(bytes, &image->loopCount_);
    if (!frames) return std::unexpected(frames.error());
    image->frames_ = std::move(*frames);
  } else {
    return std::unexpected(failure(unknownFormat, "neither PNG nor GIF data"));
  }
  image->size_ = {double(image->pixelWidth()), double(image->pixelHeight())};
  return image;
}

Result NSImage::initWithContentsOfFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::unexpected(failure(unreadableFile, "cannot read " + path.filename().string()));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::unexpected(failure(unreadableFile, "cannot read " + path.filename().string()));
  auto image = initWithData(NSData::make(std::move(bytes)));
  if (image) (*image)->name_ = path.stem().string();
  return image;
}

std::shared_ptr<NSImage> NSImage::imageNamed(std::string_view name) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<NSImage>> cache;
  std::string key(name);
  // A name is a plain file name: no folders, so no way out of the images folder.
  if (key.empty() || key.find('/') != std::string::npos || key.find('\\') != std::string::npos || key == "." ||
      key == "..") {
    return nullptr;
  }
  std::lock_guard lock(mutex);
  if (auto it = cache.find(key); it != cache.end()) return it->second;

  std::filesystem::path folder = NSBundle::mainBundle()->resourcePath() / "images";
  std::filesystem::path stem = key;
  std::vector<std::pair<std::filesystem::path, double>> candidates;
  if (stem.has_extension()) candidates.push_back({folder / key, 1});
  std::string base = stem.has_extension() ? stem.stem().string() : key;
  for (const char* extension : {".png", ".gif"}) {
    candidates.push_back({folder / (base + extension), 1});
    candidates.push_back({folder / (base + "@2x" + extension), 2});
  }
  for (const auto& [path, scale] : candidates) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) continue;
    auto image = initWithContentsOfFile(path);
    if (!image) continue;
    auto found = *image;
    found->size_ = {found->pixelWidth() / scale, found->pixelHeight() / scale};
    found->name_ = key;
    cache[key] = found;
    return found;
  }
  return nullptr;
}

std::shared_ptr<NSImage> NSImage::imageWithPixels(int width, int height, std::vector<std::uint8_t> rgba,
                                                  NSSize size) {
  std::shared_ptr<NSImage> image(new NSImage());
  if (width > 0 && height > 0 && std::uint64_t(width) * height <= kMaxPixels) {
    rgba.resize(static_cast<std::size_t>(width) * height * 4, 0);
    image->frames_.push_back({width, height, std::move(rgba), 0});
  }
  image->size_ = (size.width > 0 && size.height > 0) ? size : NSSize{double(image->pixelWidth()), double(image->pixelHeight())};
  return image;
}

std::shared_ptr<NSImage> NSImage::initWithCGImage(const std::shared_ptr<const CGImage>& image, NSSize size) {
  if (!image) return nullptr;
  return imageWithPixels(image->width, image->height, image->rgba, size);
}

std::array<std::uint8_t, 4> NSImage::pixelAt(int x, int y, std::size_t frame) const {
  if (frame >= frames_.size()) return {0, 0, 0, 0};
  const NSImageFrame& f = frames_[frame];
  if (x < 0 || y < 0 || x >= f.width || y >= f.height) return {0, 0, 0, 0};
  const std::uint8_t* p = &f.rgba[(static_cast<std::size_t>(y) * f.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

std::string NSImage::description() const {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "NSImage %gx%g (%zu frame%s)", size_.width, size_.height, frames_.size(),
                frames_.size() == 1 ? "" : "s");
  return buffer;
}

void NSImage::drawInRect(NSRect rect, double fraction) {
  if (auto context = NSGraphicsContext::currentContext()) {
    context->CGContext().drawImage(std::static_pointer_cast<NSImage>(shared_from_this()), rect, fraction);
  }
}

std::shared_ptr<NSImage> NSImage::imageInRect(NSRect rect) const {
  if (frames_.empty() || !(size_.width > 0) || !(size_.height > 0)) return imageWithPixels(0, 0, {});
  const NSImageFrame& frame = frames_[0];
  double kx = frame.width / size_.width, ky = frame.height / size_.height;
  // Pixel rows run down from the top; the rectangle's y runs up from the bottom.
  int x0 = std::clamp(static_cast<int>(std::floor(rect.minX() * kx)), 0, frame.width);
  int x1 = std::clamp(static_cast<int>(std::ceil(rect.maxX() * kx)), 0, frame.width);
  int y0 = std::clamp(static_cast<int>(std::floor((size_.height - rect.maxY()) * ky)), 0, frame.height);
  int y1 = std::clamp(static_cast<int>(std::ceil((size_.height - rect.minY()) * ky)), 0, frame.height);
  std::vector<std::uint8_t> rgba;
  rgba.reserve(static_cast<std::size_t>(std::max(0, x1 - x0)) * std::max(0, y1 - y0) * 4);
  for (int y = y0; y < y1; ++y) {
    auto row = frame.rgba.begin() + (static_cast<long>(y) * frame.width + x0) * 4;
    rgba.insert(rgba.end(), row, row + (x1 - x0) * 4);
  }
  return imageWithPixels(x1 - x0, y1 - y0, std::move(rgba), {(x1 - x0) / kx, (y1 - y0) / ky});
}

void NSImage::drawAtPoint(NSPoint point, NSRect fromRect, NSCompositingOperation operation, double fraction) {
  if (operation == NSCompositingOperation::clear) return;
  if (fromRect.isEmpty()) {
    drawInRect({point, size_}, fraction);
    return;
  }
  auto part = imageInRect(fromRect);
  part->drawInRect({point, part->size()}, fraction);
}
