#include "platform/appkit/NSImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/appkit/GifSource.h"
#include "platform/appkit/PNGReader.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/render/NSGraphicsContext.h"

namespace {

// Beyond this a picture made from pixels is refused (hostile sizes ask for gigabytes).
constexpr std::uint64_t kMaxPixels = 64ull * 1024 * 1024;

using Result = std::expected<std::shared_ptr<NSImage>, std::shared_ptr<NSError>>;

std::shared_ptr<NSError> failure(NSImage::ErrorCode code, std::string text) {
  return NSError::make(std::string(NSImage::ErrorDomain), code, std::move(text));
}

bool isPNG(std::string_view b) {
  static const char signature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return b.size() >= 8 && std::memcmp(b.data(), signature, 8) == 0;
}

bool isGIF(std::string_view b) {
  return b.size() >= 6 && (std::memcmp(b.data(), "GIF87a", 6) == 0 || std::memcmp(b.data(), "GIF89a", 6) == 0);
}

}  // namespace

Result NSImage::initWithData(const std::shared_ptr<NSData>& data) { return make(data, nullptr); }

Result NSImage::initWithData(const std::shared_ptr<NSData>& data, const Limits& limits) { return make(data, &limits); }

Result NSImage::make(const std::shared_ptr<NSData>& data, const Limits* limits) {
  if (!data || data->length() == 0) return std::unexpected(failure(unknownFormat, "no image data"));
  // Looked at where they lie: bytes() would copy data read straight from a file, and a GIF
  // keeps them.
  const auto head = data->view();
  if (isGIF(head)) return withGifFrames(GifFrameStore::open(data, limits ? *limits : Limits{}));
  std::shared_ptr<NSImage> image(new NSImage());
  if (isPNG(head)) {
    auto picture = PNGReader::read(data->view(), limits ? limits->maxSide : 0);
    if (!picture) return std::unexpected(picture.error());
    image->first_ = std::move(picture->frame);
    // The picture's own size, whatever size its pixels are kept at.
    image->size_ = {double(picture->sourceWidth), double(picture->sourceHeight)};
  } else {
    return std::unexpected(failure(unknownFormat, "neither PNG nor GIF data"));
  }
  return image;
}

Result NSImage::withGifFrames(GifFrameStore::Result frames) {
  if (!frames) return std::unexpected(frames.error());
  std::shared_ptr<NSImage> image(new NSImage());
  image->gif_ = std::move(*frames);
  // The picture's own size, whatever size its frames are kept at.
  image->size_ = {double(image->gif_->sourceWidth()), double(image->gif_->sourceHeight())};
  // A large GIF's first frame is made on the worker straight away.
  image->frameIfReady(0);
  return image;
}

Result NSImage::initWithContentsOfFile(const std::filesystem::path& path) { return readFile(path, nullptr); }

Result NSImage::initWithContentsOfFile(const std::filesystem::path& path, const Limits& limits) {
  return readFile(path, &limits);
}

Result NSImage::readFile(const std::filesystem::path& path, const Limits* limits) {
  // A picture is a plain file: a link is not followed, and a pipe or a device in its place
  // neither keeps the loading queue waiting nor fills memory.
  auto file = GifSource::withFile(path);
  if (!file) return std::unexpected(failure(unreadableFile, "cannot read " + path.filename().string()));
  auto image = (*file)->looksLikeGIF() ? withGifFrames(GifFrameStore::open(*file, limits ? *limits : Limits{}))
                                       : make((*file)->contents(), limits);
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
    found->size_ = {found->size_.width / scale, found->size_.height / scale};
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
    auto frame = std::make_shared<NSImageFrame>();
    frame->width = width;
    frame->height = height;
    frame->rgba = std::move(rgba);
    image->first_ = std::move(frame);
  }
  image->size_ = (size.width > 0 && size.height > 0) ? size : NSSize{double(image->pixelWidth()), double(image->pixelHeight())};
  return image;
}

std::shared_ptr<NSImage> NSImage::initWithCGImage(const std::shared_ptr<const CGImage>& image, NSSize size) {
  if (!image) return nullptr;
  return imageWithPixels(image->width, image->height, image->rgba, size);
}

std::shared_ptr<DispatchQueue> NSImage::loadingQueue() {
  static auto queue = DispatchQueue::makeSerial("image loading");
  return queue;
}

void NSImage::loadInBackground(std::function<Input()> source,
                               std::function<void(std::shared_ptr<NSImage>)> completion) {
  loadFromSource(std::move(source), nullptr, std::move(completion));
}

void NSImage::loadInBackground(std::function<Input()> source, const Limits& limits,
                               std::function<void(std::shared_ptr<NSImage>)> completion) {
  loadFromSource(std::move(source), std::make_shared<const Limits>(limits), std::move(completion));
}

void NSImage::loadFromSource(std::function<Input()> source, std::shared_ptr<const Limits> limits,
                             std::function<void(std::shared_ptr<NSImage>)> completion) {
  makeInBackground(
      [source = std::move(source), limits = std::move(limits)]() -> Result {
        const Input input = source ? source() : Input{};
        if (const auto* file = std::get_if<std::filesystem::path>(&input)) return readFile(*file, limits.get());
        return make(std::get<std::shared_ptr<NSData>>(input), limits.get());
      },
      [completion = std::move(completion)](Result made) {
        if (completion) completion(made ? *made : nullptr);
      });
}

void NSImage::makeInBackground(std::function<Result()> make, std::function<void(Result)> completion) {
  loadingQueue()->async([make = std::move(make), completion = std::move(completion)]() mutable {
    Result made = make ? make() : std::unexpected(failure(unknownFormat, "no image data"));
    // A large GIF decodes on its own worker (another queue, so waiting here cannot block it).
    if (made && *made) (void)(*made)->frame(0);
    NSRunLoop::main()->perform([made = std::move(made), completion = std::move(completion)]() mutable {
      if (completion) completion(std::move(made));
    });
  });
}

std::shared_ptr<const NSImageFrame> NSImage::first() const {
  std::lock_guard lock(firstMutex_);
  if (!first_ && gif_) first_ = gif_->frameIfReady(0);
  return first_;
}

int NSImage::pixelWidth() const {
  if (gif_) return gif_->width();
  auto frame = first();
  return frame ? frame->width : 0;
}

int NSImage::pixelHeight() const {
  if (gif_) return gif_->height();
  auto frame = first();
  return frame ? frame->height : 0;
}

std::size_t NSImage::frameCount() const {
  if (gif_) return gif_->frameCount();
  return first() ? 1 : 0;
}

double NSImage::frameDelay(std::size_t index) const { return gif_ ? gif_->delay(index) : 0; }

std::shared_ptr<const NSImageFrame> NSImage::frame(std::size_t index) const {
  if (index == 0) {
    if (auto held = first()) return held;
  }
  if (!gif_) return nullptr;
  auto made = gif_->frame(index);
  if (index == 0 && made) {
    std::lock_guard lock(firstMutex_);
    if (!first_) first_ = made;
  }
  return made;
}

std::shared_ptr<const NSImageFrame> NSImage::frameIfReady(std::size_t index, std::function<void()> whenReady) const {
  if (!gif_) return index == 0 ? first() : nullptr;
  if (index == 0) {
    std::lock_guard lock(firstMutex_);
    if (first_) {
      // Asked for again as playback comes round: the frames after it are wanted next.
      if (gif_->frameCount() > 1) (void)gif_->frameIfReady(0);
      return first_;
    }
  }
  auto found = gif_->frameIfReady(index, std::move(whenReady));
  if (index == 0 && found) {
    std::lock_guard lock(firstMutex_);
    if (!first_) first_ = found;
  }
  return found;
}

std::size_t NSImage::decodedBytes() const {
  if (gif_) return gif_->heldBytes();
  auto frame = first();
  return frame ? frame->rgba.size() : 0;
}

const CGImage* NSImage::imageForDrawing() const { return first().get(); }

CGImageDrawingCache* NSImage::drawingCache() const {
  auto frame = first();
  return frame ? &frame->drawingCache : nullptr;
}

bool NSImage::whenDrawable(std::function<void()> ready) const {
  if (!gif_ || first()) return false;
  if (frameIfReady(0, ready)) {
    // Decoded since the caller looked: it hears all the same, as it would have.
    NSRunLoop::main()->perform(std::move(ready));
  }
  return true;
}

std::array<std::uint8_t, 4> NSImage::pixelAt(int x, int y, std::size_t index) const {
  auto f = frame(index);
  if (!f) return {0, 0, 0, 0};
  if (x < 0 || y < 0 || x >= f->width || y >= f->height) return {0, 0, 0, 0};
  const std::uint8_t* p = &f->rgba[(static_cast<std::size_t>(y) * f->width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

std::string NSImage::description() const {
  char buffer[96];
  std::size_t count = frameCount();
  std::snprintf(buffer, sizeof buffer, "NSImage %gx%g (%zu frame%s)", size_.width, size_.height, count,
                count == 1 ? "" : "s");
  return buffer;
}

void NSImage::drawInRect(NSRect rect, double fraction) {
  if (auto context = NSGraphicsContext::currentContext()) {
    context->CGContext().drawImage(std::static_pointer_cast<NSImage>(shared_from_this()), rect, fraction);
  }
}

std::shared_ptr<NSImage> NSImage::imageInRect(NSRect rect) const {
  auto shown = frame(0);
  if (!shown || !(size_.width > 0) || !(size_.height > 0)) return imageWithPixels(0, 0, {});
  const NSImageFrame& frame = *shown;
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
