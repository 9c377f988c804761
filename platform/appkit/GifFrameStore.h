#pragma once
// The frames of one GIF, decoded with giflib and composed as a viewer shows them, within
// bounds a tile can afford. Opening reads the file's records without decoding any pixels
// (sizes, delays, the loop count), refusing files whose declared sizes are hostile. Frames
// larger than the limits' side are composed at a smaller size (each kept pixel samples the
// picture's pixel under its centre); when all frames at once would exceed the budget they
// are made smaller still, down to the smallest side, and beyond that only the frames near
// the one shown are kept, the others decoded again when their turn comes.
//
// Everything the store keeps counts against the budget: the frames, what drawing keeps of
// them (their pictures scaled to the size they are shown at: past the budget, the copies kept
// longest ago are let go, drawing makes them again), and the GIF's bytes while they are held
// to decode frames from. A GIF opened from a file holds none of its bytes: frames are read
// from the file as they are decoded. One given as bytes keeps them, counted, when all its
// frames fit beside them (smaller for it); otherwise it keeps no bytes: every frame is decoded
// at once, and when all would not fit even at the smallest side only every so many are kept
// (each showing as long as the frames it stands for). Once every frame is held the bytes or
// the file are let go.
//
// A small GIF is decoded whole at once. A large one decodes its frames on a worker as they
// are asked for, a few ahead of the one asked; whoever asks without waiting hears on the main
// thread when the frame is there. Any thread may ask.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/appkit/GifSource.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainThreadWaiters.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/quartz/CGImage.h"

// One composed frame of an animation, with what drawing made of it kept beside.
struct NSImageFrame : CGImage {
  double delay = 0;  // seconds this frame shows (GIF), 0 for stills
  mutable CGImageDrawingCache drawingCache;
};

class GifFrameStore : public std::enable_shared_from_this<GifFrameStore>, public CGImageDrawingBudget {
 public:
  struct Limits {
    int maxSide = 640;                   // pixels kept a side at most
    int smallestSide = 256;              // the budget scales no further down than this
    std::size_t budgetBytes = 32u << 20;  // decoded frames held at once
    std::uint64_t eagerPixels = 1u << 20;  // a file of at most this many pixels in all its frames is decoded whole at once
  };
  using Result = std::expected<std::shared_ptr<GifFrameStore>, std::shared_ptr<NSError>>;

  // The serial queue every store decodes its frames on, one frame at a time.
  static std::shared_ptr<DispatchQueue> decodingQueue();

  // Reads the structure of the GIF data (errors are NSImage errors).
  static Result open(std::shared_ptr<NSData> data, const Limits& limits);
  // The same for a GIF read from a source of its own (a file: see GifSource).
  static Result open(std::shared_ptr<GifSource> source, const Limits& limits);
  ~GifFrameStore();

  // The picture's own size, and the size its frames are kept at.
  int sourceWidth() const { return sourceWidth_; }
  int sourceHeight() const { return sourceHeight_; }
  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t frameCount() const { return frames_.size(); }
  double delay(std::size_t index) const { return index < frames_.size() ? frames_[index].delay : 0; }
  int loopCount() const { return loopCount_; }
  // Whether every frame was found opaque (no pixel shows through), known for a GIF decoded
  // whole at once; false otherwise.
  bool framesAreOpaque() const { return framesAreOpaque_; }

  // The frame, decoded now or by the worker if need be; none past the last frame.
  std::shared_ptr<const NSImageFrame> frame(std::size_t index);
  // The frame if it is decoded; otherwise none, the worker is asked for it, and
  // `whenReady` (if any) runs on the main thread once it is there.
  std::shared_ptr<const NSImageFrame> frameIfReady(std::size_t index, std::function<void()> whenReady = nullptr);

  // Bytes of the decoded frames held now; of the GIF's bytes held to decode frames from (none
  // for a file); and the most both took at once.
  std::size_t heldBytes();
  std::size_t sourceBytes();
  std::size_t peakHeldBytes();
  // Frames composed since the store was opened (a frame decoded again counts again).
  std::size_t framesDecoded();
  // Bytes of what drawing keeps of the frames now, counted in the budget with the frames
  // and bytes held; and the most that all took at once.
  std::size_t keptBytes();
  std::size_t peakBytesWithKept();

  void noteKept(CGImageDrawingCache& cache, std::size_t bytes) override;
  void forget(CGImageDrawingCache& cache) override;
  bool hasRoomFor(std::size_t bytes) override;

 private:
  struct FrameRecord {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    bool truncated = false;  // the data ends inside its pixels
    int disposal = 0;
    int transparent = -1;
    double delay = 0;
  };
  struct Cursor;  // where sequential decoding stands (worker side)

  GifFrameStore() = default;
  // Decodes every frame now, keeping every stride-th.
  void decodeAllNow(std::size_t stride);
  // Decodes the next frame in the file order (rewinding first when asked to).
  std::shared_ptr<NSImageFrame> decodeNext(bool rewind, bool canvasOnly = false);
  void keep(std::size_t index, std::shared_ptr<NSImageFrame> frame);
  void request(std::size_t index, std::unique_lock<std::mutex>& lock);
  // Starts the worker unless it runs (or there is nothing left to decode).
  void resume(std::unique_lock<std::mutex>& lock);
  void work();
  void finishIfAllHeld();
  // Lets go of kept copies, those kept longest ago first, until the budget holds them
  // beside the frames held (under keptMutex_).
  void trimKept();

  std::shared_ptr<GifSource> source_;  // until every frame is held
  Limits limits_;
  int sourceWidth_ = 0, sourceHeight_ = 0, width_ = 0, height_ = 0;
  int loopCount_ = 0;
  bool framesAreOpaque_ = false;  // set before the store is shared
  std::vector<FrameRecord> frames_;
  std::vector<int> columnSource_, rowSource_;  // the picture's column and row each kept pixel samples

  std::mutex mutex_;
  std::condition_variable decoded_;
  std::map<std::size_t, std::shared_ptr<NSImageFrame>> held_;
  std::deque<std::size_t> heldOrder_;  // oldest first
  std::size_t heldBytes_ = 0, peakBytes_ = 0, framesDecoded_ = 0;
  std::size_t sourceBytes_ = 0;  // of source_, held in memory
  std::size_t wantedUpTo_ = 0;      // decode ahead this far
  std::size_t lowestWanted_ = SIZE_MAX;  // the earliest frame someone waits for
  bool working_ = false;
  MainThreadWaiters<std::size_t> waiters_;  // by the frame they wait for
  std::unique_ptr<Cursor> cursor_;

  // Never held while taking mutex_: a frame let go under mutex_ forgets its copies here.
  std::mutex keptMutex_;
  std::list<std::pair<CGImageDrawingCache*, std::size_t>> kept_;  // oldest first
  std::size_t keptBytes_ = 0, peakWithKept_ = 0;
  std::atomic<std::size_t> takenBytes_{0};  // heldBytes_ + sourceBytes_, read without mutex_
};
