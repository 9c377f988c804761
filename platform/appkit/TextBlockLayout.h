#pragma once
// A long text laid out by blocks of lines in one width. Each block is laid out on its own
// and the blocks stack as the lines of one layout would, so a view draws a block where the
// blocks above it end and draws only the blocks it shows. Splitting the text costs one scan;
// laying it all out can take most of a second, so the blocks are measured in the background,
// one after another from the top, while a drawing measures at once (on its own thread) the
// blocks it needs and those above them that place them. Until every block is measured the
// height counts an estimate for the others, refined by those measured so far.
// Any thread may ask; the text is a copy of the layout's own.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/appkit/NSAttributedString.h"
#include "platform/foundation/DispatchQueue.h"

// One line of a text: its UTF-16 units, without the line break that ends it.
struct TextLineSpan {
  std::uint64_t start = 0, end = 0;
};
// The lines of a text, an empty one after a final line break included.
std::vector<TextLineSpan> textLineSpans(const std::u16string& units);

class TextBlockLayout : public std::enable_shared_from_this<TextBlockLayout> {
 public:
  struct Block {
    NSRange range;
    double top = 0, height = 0;
  };
  // What the estimate of a block not yet measured starts from: the height of a line and the
  // width of an average character of the text's font.
  struct Metrics {
    double lineHeight = 0;
    double characterWidth = 0;
  };

  // Splits the text into blocks of so many lines (never ending one on an empty line); lays
  // out nothing.
  static std::shared_ptr<TextBlockLayout> make(std::shared_ptr<const NSAttributedString> text, double width,
                                               std::size_t blockLines, Metrics metrics);
  // The serial queue the blocks are measured on in the background.
  static std::shared_ptr<DispatchQueue> layoutQueue();

  const NSAttributedString& text() const { return *text_; }
  double width() const { return width_; }
  std::size_t blockCount() const { return blocks_.size(); }

  // Measures the blocks not yet measured on the layout queue; `progress` runs on the main
  // thread after some were (once for several that come quickly) and after the last.
  void measureInBackground(std::function<void()> progress);
  // No more measuring in the background (the text or the width changed).
  void cancel();

  // The measured blocks' heights plus the estimate of the others.
  double height();
  bool isComplete();
  // Measures every block (this thread and the background together): the exact height.
  double measureAll();
  // The blocks meeting the band from minY to maxY, each measured with all above it.
  std::vector<Block> blocksMeeting(double minY, double maxY);
  // The blocks holding any character of the range, each measured with all above it.
  std::vector<Block> blocksCovering(NSRange range);

 private:
  TextBlockLayout() = default;
  // Waits until the blocks up to `last` are measured, measuring those nobody measures yet.
  void measureThrough(std::size_t last);
  // Measures the next block nobody has claimed; false when there is none (or measuring ended).
  bool measureNext();
  double measure(std::size_t index) const;
  // The block's height, once it and all above it are measured.
  double measuredHeight(std::size_t index);
  void record(std::size_t index, double height, std::unique_lock<std::mutex>& lock);
  // Runs the progress on the main thread soon, unless that is under way already.
  void tellProgress(std::unique_lock<std::mutex>& lock);

  std::shared_ptr<const NSAttributedString> text_;
  double width_ = 0;
  struct Part {
    NSRange range;
    double estimate = 0;  // before any calibration
  };
  std::vector<Part> blocks_;

  std::mutex mutex_;
  std::condition_variable measured_;
  std::vector<double> heights_;   // measured heights; negative: not yet
  std::size_t nextClaim_ = 0;     // blocks before it are measured or being measured
  std::size_t measuredCount_ = 0;
  double measuredHeight_ = 0, measuredEstimate_ = 0, totalEstimate_ = 0;
  bool cancelled_ = false;
  bool working_ = false;
  bool progressPending_ = false;
  std::function<void()> progress_;
};
