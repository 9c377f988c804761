#include "platform/appkit/GifFrameStore.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSRunLoop.h"

// How a store holds giflib's reading state; also part of a store's cursor, so not file-local.
namespace gifreading {

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

}  // namespace gifreading

using gifreading::GifHandle;

namespace {

// Beyond these a GIF is refused rather than decoded: a picture of more pixels than this,
// or a file whose frames add up to more (a few bytes of header can ask for gigabytes, and
// every pass through the frames decodes them all).
constexpr std::uint64_t kMostPicturePixels = 64ull * 1024 * 1024;
constexpr std::uint64_t kMostPixelsAPass = 1ull << 30;
constexpr std::size_t kMostFrames = 4096;
// Frames decoded ahead of the one asked for, so that playback finds the next one ready.
constexpr std::size_t kAhead = 2;

std::shared_ptr<NSError> gifFailure(std::int64_t code, std::string text) {
  // The codes and domain of NSImage's errors (tooLarge 3, corruptData 2).
  return NSError::make("NSImageErrorDomain", code, std::move(text));
}
constexpr std::int64_t kCorrupt = 2;
constexpr std::int64_t kTooLarge = 3;

// Skips the compressed pixels of a frame; false when the data ends first.
bool skipPixels(GifFileType* gif) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) != GIF_OK) return false;
  while (block) {
    if (DGifGetCodeNext(gif, &block) != GIF_OK) return false;
  }
  return true;
}

// Reads one extension; the graphics control block goes to `control`, the loop count of a
// "NETSCAPE2.0" application extension (data sub-block 1, count) to `loopCount`.
void readExtension(GifFileType* gif, GraphicsControlBlock* control, int* loopCount) {
  int function = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &function, &block) != GIF_OK) return;
  bool looping = function == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                 std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
  if (control && function == GRAPHICS_EXT_FUNC_CODE && block) DGifExtensionToGCB(block[0], block + 1, control);
  for (bool first = true; block; first = false) {
    if (loopCount && !first && looping && block[0] >= 3 && block[1] == 1) *loopCount = block[2] | (block[3] << 8);
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) return;
  }
}

// The size frames are kept at: no side beyond the limit, and `frames` of them within `room`
// bytes unless that would take them below the smallest side (`fits` says whether they fit).
struct KeptSize {
  int width = 1, height = 1;
  bool fits = false;
};
KeptSize keptSize(int width, int height, std::size_t frames, double room, const GifFrameStore::Limits& limits) {
  const double longest = std::max(width, height);
  double scale = std::min(1.0, std::max(1, limits.maxSide) / longest);
  const double all = double(frames) * width * height * 4 * scale * scale;
  // Made smaller for the room, the sides are rounded down so that the frames do fit.
  bool forRoom = false;
  if (all > room) {
    const double floor = std::min(1.0, std::max(1, limits.smallestSide) / longest);
    const double fitting = scale * std::sqrt(std::max(0.0, room) / all);
    forRoom = fitting > floor;
    scale = std::max(floor, std::min(scale, fitting));
  }
  auto side = [&](int source) {
    const double exact = source * scale;
    return std::max(1, static_cast<int>(forRoom ? std::floor(exact) : std::lround(exact)));
  };
  KeptSize kept{side(width), side(height)};
  kept.fits = double(frames) * kept.width * kept.height * 4 <= room;
  return kept;
}

}  // namespace

std::shared_ptr<DispatchQueue> GifFrameStore::decodingQueue() {
  static auto queue = DispatchQueue::makeSerial("image decoding");
  return queue;
}

struct GifFrameStore::Cursor {
  explicit Cursor(std::shared_ptr<const GifSource> source) : reader(std::move(source)) {}
  GifSource::Reader reader;
  GifHandle gif;
  std::vector<std::uint8_t> canvas;  // the picture so far, at the kept size
  std::vector<GifByteType> row;
  std::size_t next = 0;  // the frame decoded next
  bool broken = false;   // the data could not be read further in this pass
};

GifFrameStore::~GifFrameStore() = default;

GifFrameStore::Result GifFrameStore::open(std::shared_ptr<NSData> data, const Limits& limits) {
  return open(GifSource::withData(std::move(data)), limits);
}

GifFrameStore::Result GifFrameStore::open(std::shared_ptr<GifSource> source, const Limits& limits) {
  std::shared_ptr<GifFrameStore> store(new GifFrameStore());
  store->limits_ = limits;
  GifSource::Reader reader(source);
  int error = 0;
  GifHandle gif(DGifOpen(&reader, GifSource::Reader::readInto, &error));
  if (!gif) return std::unexpected(gifFailure(kCorrupt, "unreadable GIF"));
  int width = gif->SWidth, height = gif->SHeight;
  GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  std::uint64_t pixelsAPass = 0;
  // Record by record, so that a frame's declared size is checked before anything else.
  while (store->frames_.size() < kMostFrames) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) != GIF_OK || record == TERMINATE_RECORD_TYPE) break;
    if (record == EXTENSION_RECORD_TYPE) {
      readExtension(gif.get(), &control, &store->loopCount_);
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) != GIF_OK) break;
    const GifImageDesc& desc = gif->Image;
    if (store->frames_.empty() && (width <= 0 || height <= 0)) width = desc.Width, height = desc.Height;
    if (width <= 0 || height <= 0) break;
    pixelsAPass += std::uint64_t(width) * height;
    if (std::uint64_t(width) * height > kMostPicturePixels || desc.Width > width || desc.Height > height ||
        pixelsAPass > kMostPixelsAPass) {
      return std::unexpected(gifFailure(kTooLarge, "GIF too large"));
    }
    FrameRecord frame{desc.Left, desc.Top, desc.Width, desc.Height, bool(desc.Interlace), false,
                      control.DisposalMode, control.TransparentColor, control.DelayTime / 100.0};
    frame.truncated = !skipPixels(gif.get());
    store->frames_.push_back(frame);
    control = {DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    if (frame.truncated) break;  // the rows read before the cut still show
  }
  if (store->frames_.empty()) return std::unexpected(gifFailure(kCorrupt, "GIF without pictures"));
  gif.reset();
  store->sourceWidth_ = width;
  store->sourceHeight_ = height;

  // What the store keeps counts against the budget: the bytes too, when they are held (a
  // file is read where it lies instead).
  const std::size_t count = store->frames_.size();
  const std::size_t bytes = source->heldBytes();
  const double budget = double(limits.budgetBytes);
  KeptSize kept = keptSize(width, height, count, budget, limits);
  std::size_t stride = 1;  // every stride-th frame kept
  bool decodeNow = kept.fits && std::uint64_t(width) * height * count <= limits.eagerPixels;
  if (!decodeNow && bytes > 0) {
    const KeptSize smallest = keptSize(width, height, count, 0, limits);
    const double smallestFrame = double(smallest.width) * smallest.height * 4;
    if (double(bytes) + double(count) * smallestFrame <= budget) {
      // Kept, counted, while every frame still fits beside them (they go once all are held).
      kept = keptSize(width, height, count, budget - double(bytes), limits);
      store->sourceBytes_ = bytes;
    } else {
      // Bytes that would leave the frames too little room are not kept: every frame is
      // decoded now, and when they would not all fit even at the smallest side, only every
      // stride-th is kept, showing as long as the frames it stands for.
      decodeNow = true;
      while (stride < count && double((count + stride - 1) / stride) * smallestFrame > budget) ++stride;
      kept = keptSize(width, height, (count + stride - 1) / stride, budget, limits);
    }
  }
  store->width_ = kept.width;
  store->height_ = kept.height;
  auto sample = [](int keptSide, int sourceSide) {
    std::vector<int> at(static_cast<std::size_t>(keptSide));
    for (int i = 0; i < keptSide; ++i) {
      at[static_cast<std::size_t>(i)] =
          std::min(sourceSide - 1, static_cast<int>((i + 0.5) * sourceSide / keptSide));
    }
    return at;
  };
  store->columnSource_ = sample(store->width_, width);
  store->rowSource_ = sample(store->height_, height);

  store->source_ = std::move(source);
  store->takenBytes_ = store->sourceBytes_;
  store->peakBytes_ = store->sourceBytes_;
  // Otherwise decoded later, on a worker, from the bytes or the file the store keeps.
  if (decodeNow) store->decodeAllNow(stride);
  return store;
}

void GifFrameStore::decodeAllNow(std::size_t stride) {
  std::unique_lock lock(mutex_);
  std::vector<FrameRecord> kept;
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    lock.unlock();
    auto frame = decodeNext(i == 0, i % stride != 0);
    lock.lock();
    if (i % stride == 0) {
      kept.push_back(frames_[i]);
    } else {
      kept.back().delay += frames_[i].delay;
      continue;
    }
    keep(kept.size() - 1, std::move(frame));
  }
  // Nobody has the frames yet: each shows as long as the frames it stands for.
  for (auto& [at, frame] : held_) frame->delay = kept[at].delay;
  frames_ = std::move(kept);
  // All held at once (the store fits its budget): an opaque picture lets drawing leave out
  // what lies beneath it.
  framesAreOpaque_ = held_.size() == frames_.size() && std::ranges::all_of(held_, [](const auto& held) {
                       const auto& rgba = held.second->rgba;
                       for (std::size_t at = 3; at < rgba.size(); at += 4) {
                         if (rgba[at] != 255) return false;
                       }
                       return !rgba.empty();
                     });
  finishIfAllHeld();
}

// Composes the next frame in file order onto the kept canvas and answers a copy of it (none
// when only the canvas is wanted). Called with the cursor to itself (by whoever holds
// `working_`).
std::shared_ptr<NSImageFrame> GifFrameStore::decodeNext(bool rewind, bool canvasOnly) {
  if (!cursor_ || rewind || cursor_->next >= frames_.size()) {
    cursor_ = std::make_unique<Cursor>(source_);
    int error = 0;
    cursor_->gif.reset(DGifOpen(&cursor_->reader, GifSource::Reader::readInto, &error));
    cursor_->broken = !cursor_->gif;
    cursor_->canvas.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
  }
  Cursor& c = *cursor_;
  const FrameRecord& record = frames_[c.next];
  GifFileType* gif = c.gif.get();
  // To the frame's image record, past the extensions before it.
  while (!c.broken) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) != GIF_OK) {
      c.broken = true;
    } else if (type == EXTENSION_RECORD_TYPE) {
      readExtension(gif, nullptr, nullptr);
    } else if (type == IMAGE_DESC_RECORD_TYPE && DGifGetImageDesc(gif) == GIF_OK) {
      // A file changed since it was opened is read no further than where it still agrees.
      const GifImageDesc& desc = gif->Image;
      c.broken = desc.Left != record.left || desc.Top != record.top || desc.Width != record.width ||
                 desc.Height != record.height || bool(desc.Interlace) != record.interlaced;
      break;
    } else {
      c.broken = true;
    }
  }
  std::vector<std::uint8_t> before;
  if (record.disposal == DISPOSE_PREVIOUS) before = c.canvas;
  // The kept columns that sample this frame's columns (both grow left to right).
  const int left = record.left, top = record.top, fw = record.width, fh = record.height;
  auto firstColumn = std::lower_bound(columnSource_.begin(), columnSource_.end(), left) - columnSource_.begin();
  auto endColumn = std::lower_bound(columnSource_.begin(), columnSource_.end(), left + fw) - columnSource_.begin();
  auto keptRowOf = [&](int sourceRow) -> int {
    auto at = std::lower_bound(rowSource_.begin(), rowSource_.end(), sourceRow);
    return at != rowSource_.end() && *at == sourceRow ? static_cast<int>(at - rowSource_.begin()) : -1;
  };
  if (!c.broken) {
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (fw <= 0 || fh <= 0) {
      c.broken = !skipPixels(gif);
    } else {
      c.row.resize(static_cast<std::size_t>(fw));
      // An interlaced frame stores every 8th row from 0, every 8th from 4, every 4th from
      // 2, then the odd rows.
      static constexpr int offsets[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
      const int passes = record.interlaced ? 4 : 1;
      for (int pass = 0; pass < passes && !c.broken; ++pass) {
        const int step = record.interlaced ? steps[pass] : 1;
        for (int y = record.interlaced ? offsets[pass] : 0; y < fh; y += step) {
          if (DGifGetLine(gif, c.row.data(), fw) != GIF_OK) {
            c.broken = true;  // the rows read before the cut still show
            break;
          }
          const int keptRow = keptRowOf(top + y);
          if (!map || keptRow < 0) continue;
          std::uint8_t* out = &c.canvas[static_cast<std::size_t>(keptRow) * width_ * 4];
          for (auto x = firstColumn; x < endColumn; ++x) {
            const int colourIndex = c.row[static_cast<std::size_t>(columnSource_[static_cast<std::size_t>(x)] - left)];
            if (colourIndex == record.transparent || colourIndex >= map->ColorCount) continue;
            const GifColorType& colour = map->Colors[colourIndex];
            std::uint8_t* px = out + x * 4;
            px[0] = colour.Red, px[1] = colour.Green, px[2] = colour.Blue, px[3] = 255;
          }
        }
      }
    }
  }
  std::shared_ptr<NSImageFrame> frame;
  if (!canvasOnly) {
    frame = std::make_shared<NSImageFrame>();
    frame->drawingCache.budget = weak_from_this();
    frame->width = width_;
    frame->height = height_;
    frame->rgba = c.canvas;
    frame->delay = record.delay;
  }
  if (record.disposal == DISPOSE_BACKGROUND) {
    for (int y = 0; y < height_; ++y) {
      if (rowSource_[static_cast<std::size_t>(y)] < top || rowSource_[static_cast<std::size_t>(y)] >= top + fh) continue;
      for (auto x = firstColumn; x < endColumn; ++x) {
        std::memset(&c.canvas[(static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)) * 4], 0, 4);
      }
    }
  } else if (record.disposal == DISPOSE_PREVIOUS) {
    c.canvas = std::move(before);
  }
  ++c.next;
  return frame;
}

void GifFrameStore::keep(std::size_t index, std::shared_ptr<NSImageFrame> frame) {
  ++framesDecoded_;
  // Whoever waits for this frame gets it, kept or not.
  waiters_.tell([index](std::size_t wanted) { return wanted == index; });
  if (held_.contains(index)) return;
  const std::size_t bytes = frame->rgba.size();
  held_[index] = std::move(frame);
  heldOrder_.push_back(index);
  heldBytes_ += bytes;
  // Over the budget, the frames decoded longest ago go first, except those wanted next and
  // the first, which stands for the picture when it is not playing.
  auto wanted = [&](std::size_t at) {
    if (at == index || at == 0) return true;
    for (std::size_t k = 0; k <= kAhead; ++k) {
      if (lowestWanted_ != SIZE_MAX && at == (lowestWanted_ + k) % frames_.size()) return true;
    }
    return std::ranges::any_of(waiters_.entries(), [&](const auto& waiter) { return waiter.first == at; });
  };
  for (auto it = heldOrder_.begin(); heldBytes_ + sourceBytes_ > limits_.budgetBytes && it != heldOrder_.end();) {
    if (wanted(*it)) {
      ++it;
      continue;
    }
    heldBytes_ -= held_[*it]->rgba.size();
    held_.erase(*it);
    it = heldOrder_.erase(it);
  }
  peakBytes_ = std::max(peakBytes_, heldBytes_ + sourceBytes_);
  takenBytes_ = heldBytes_ + sourceBytes_;
  {
    std::lock_guard kept(keptMutex_);
    trimKept();
  }
  decoded_.notify_all();
}

void GifFrameStore::noteKept(CGImageDrawingCache& cache, std::size_t bytes) {
  std::lock_guard lock(keptMutex_);
  auto found = std::ranges::find(kept_, &cache, &std::pair<CGImageDrawingCache*, std::size_t>::first);
  if (found != kept_.end()) {
    keptBytes_ -= found->second;
    kept_.erase(found);
  }
  if (bytes > 0) {
    kept_.emplace_back(&cache, bytes);
    keptBytes_ += bytes;
  }
  trimKept();
}

void GifFrameStore::forget(CGImageDrawingCache& cache) {
  std::lock_guard lock(keptMutex_);
  auto found = std::ranges::find(kept_, &cache, &std::pair<CGImageDrawingCache*, std::size_t>::first);
  if (found == kept_.end()) return;
  keptBytes_ -= found->second;
  kept_.erase(found);
}

bool GifFrameStore::hasRoomFor(std::size_t bytes) {
  std::lock_guard lock(keptMutex_);
  return takenBytes_ + keptBytes_ + bytes <= limits_.budgetBytes;
}

void GifFrameStore::trimKept() {
  const std::size_t frames = takenBytes_;
  while (!kept_.empty() && frames + keptBytes_ > limits_.budgetBytes) {
    auto [cache, bytes] = kept_.front();
    kept_.pop_front();
    keptBytes_ -= bytes;
    std::shared_ptr<void> dropped;
    std::lock_guard lock(cache->mutex);
    dropped = std::move(cache->content);
    cache->owner = nullptr;
  }
  peakWithKept_ = std::max(peakWithKept_, frames + keptBytes_);
}

std::size_t GifFrameStore::keptBytes() {
  std::lock_guard lock(keptMutex_);
  return keptBytes_;
}

std::size_t GifFrameStore::peakBytesWithKept() {
  std::lock_guard lock(keptMutex_);
  return std::max(peakWithKept_, std::size_t(takenBytes_));
}

// Marks the frame and those after it as wanted and starts the worker on them.
void GifFrameStore::request(std::size_t index, std::unique_lock<std::mutex>& lock) {
  lowestWanted_ = index;
  resume(lock);
}

void GifFrameStore::resume(std::unique_lock<std::mutex>&) {
  if (working_ || !source_) return;
  working_ = true;
  std::weak_ptr<GifFrameStore> weak = weak_from_this();
  decodingQueue()->async([weak] {
    if (auto store = weak.lock()) store->work();
  });
}

void GifFrameStore::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // The first frame from the one wanted on (in playing order) that is not held yet.
    std::optional<std::size_t> target;
    for (std::size_t k = 0; k <= kAhead && lowestWanted_ != SIZE_MAX; ++k) {
      std::size_t at = (lowestWanted_ + k) % frames_.size();
      if (!held_.contains(at)) {
        target = at;
        break;
      }
    }
    for (const auto& waiter : waiters_.entries()) {
      if (!target && !held_.contains(waiter.first)) target = waiter.first;
    }
    if (!target) {
      working_ = false;
      decoded_.notify_all();
      return;
    }
    const bool rewind = !cursor_ || cursor_->next > *target || cursor_->next >= frames_.size();
    const std::size_t index = rewind ? 0 : cursor_->next;
    lock.unlock();
    auto frame = decodeNext(rewind);
    lock.lock();
    keep(index, std::move(frame));
    finishIfAllHeld();
  }
}

void GifFrameStore::finishIfAllHeld() {
  // Every frame held: nothing is ever let go again, so the file is not read again.
  if (held_.size() < frames_.size()) return;
  cursor_.reset();
  source_.reset();
  sourceBytes_ = 0;
  takenBytes_ = heldBytes_;
}

std::shared_ptr<const NSImageFrame> GifFrameStore::frame(std::size_t index) {
  if (index >= frames_.size()) return nullptr;
  std::unique_lock lock(mutex_);
  lowestWanted_ = index;
  bool waiting = false;
  for (;;) {
    if (auto found = held_.find(index); found != held_.end()) return found->second;
    if (working_) {
      // The worker is at it: wait to be handed the frame.
      if (!waiting) waiters_.add(index, nullptr);
      waiting = true;
      decoded_.wait(lock);
      continue;
    }
    if (!source_) return nullptr;
    // Nobody decodes: this thread does, as the worker would.
    working_ = true;
    const bool rewind = !cursor_ || cursor_->next > index || cursor_->next >= frames_.size();
    const std::size_t at = rewind ? 0 : cursor_->next;
    lock.unlock();
    auto made = decodeNext(rewind);
    lock.lock();
    std::shared_ptr<const NSImageFrame> delivered = at == index ? made : nullptr;
    keep(at, std::move(made));
    working_ = false;
    finishIfAllHeld();
    // Frames others asked for meanwhile go on on the worker.
    if (!delivered || !waiters_.empty()) resume(lock);
    if (delivered) return delivered;
  }
}

std::shared_ptr<const NSImageFrame> GifFrameStore::frameIfReady(std::size_t index, std::function<void()> whenReady) {
  if (index >= frames_.size()) return nullptr;
  std::unique_lock lock(mutex_);
  if (auto found = held_.find(index); found != held_.end()) {
    // Playing on: the frames after it are made while this one shows.
    if (source_ && frames_.size() > held_.size()) {
      bool aheadHeld = true;
      for (std::size_t k = 1; k <= kAhead; ++k) aheadHeld = aheadHeld && held_.contains((index + k) % frames_.size());
      if (!aheadHeld) request(index, lock);
    }
    return found->second;
  }
  if (whenReady) waiters_.add(index, std::move(whenReady));
  request(index, lock);
  return nullptr;
}

std::size_t GifFrameStore::heldBytes() {
  std::lock_guard lock(mutex_);
  return heldBytes_;
}

std::size_t GifFrameStore::sourceBytes() {
  std::lock_guard lock(mutex_);
  return sourceBytes_;
}

std::size_t GifFrameStore::peakHeldBytes() {
  std::lock_guard lock(mutex_);
  return peakBytes_;
}

std::size_t GifFrameStore::framesDecoded() {
  std::lock_guard lock(mutex_);
  return framesDecoded_;
}
