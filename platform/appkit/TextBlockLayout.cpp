#include "platform/appkit/TextBlockLayout.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSRunLoop.h"

std::vector<TextLineSpan> textLineSpans(const std::u16string& units) {
  std::vector<TextLineSpan> lines;
  std::uint64_t start = 0;
  for (std::uint64_t i = 0; i < units.size(); ++i) {
    if (units[i] == u'\n') {
      lines.push_back({start, i});
      start = i + 1;
    }
  }
  lines.push_back({start, units.size()});
  return lines;
}

std::shared_ptr<DispatchQueue> TextBlockLayout::layoutQueue() {
  static auto queue = DispatchQueue::makeSerial("text layout");
  return queue;
}

std::shared_ptr<TextBlockLayout> TextBlockLayout::make(std::shared_ptr<const NSAttributedString> text, double width,
                                                       std::size_t blockLines, Metrics metrics) {
  std::shared_ptr<TextBlockLayout> layout(new TextBlockLayout());
  const auto lines = textLineSpans(text->utf16());
  // A line of n characters wraps into about n × character width ÷ width lines.
  const double lineHeight = std::max(1.0, metrics.lineHeight);
  const double perLine = width > 0 ? std::max(0.0, metrics.characterWidth) / width : 0;
  auto estimateOf = [&](std::size_t first, std::size_t last) {
    double height = 0;
    for (std::size_t i = first; i <= last; ++i) {
      height += lineHeight * std::max(1.0, std::ceil(double(lines[i].end - lines[i].start) * perLine));
    }
    return height;
  };
  blockLines = std::max<std::size_t>(1, blockLines);
  for (std::size_t first = 0, last = 0; first < lines.size(); first = last + 1) {
    last = std::min(first + blockLines, lines.size()) - 1;
    // A block ends before the line break that ends its last line, and never on an empty
    // line: at the end of a text an empty line takes the text's first font, not the one
    // around it, and would be higher or lower than the same line inside the whole text.
    while (last + 1 < lines.size() && lines[last].start == lines[last].end) ++last;
    layout->blocks_.push_back({NSMakeRange(lines[first].start, lines[last].end - lines[first].start), estimateOf(first, last)});
    layout->totalEstimate_ += layout->blocks_.back().estimate;
  }
  layout->heights_.assign(layout->blocks_.size(), -1);
  layout->text_ = std::move(text);
  layout->width_ = width;
  return layout;
}

double TextBlockLayout::measure(std::size_t index) const {
  return text_->attributedSubstringFromRange(blocks_[index].range)->sizeInWidth(width_).height;
}

void TextBlockLayout::record(std::size_t index, double height, std::unique_lock<std::mutex>& lock) {
  heights_[index] = height;
  ++measuredCount_;
  measuredHeight_ += height;
  measuredEstimate_ += blocks_[index].estimate;
  measured_.notify_all();
  tellProgress(lock);
}

void TextBlockLayout::tellProgress(std::unique_lock<std::mutex>&) {
  if (!progress_ || progressPending_) return;
  progressPending_ = true;
  std::weak_ptr<TextBlockLayout> weak = weak_from_this();
  NSRunLoop::main()->perform([weak] {
    auto layout = weak.lock();
    if (!layout) return;
    std::function<void()> progress;
    {
      std::lock_guard lock(layout->mutex_);
      layout->progressPending_ = false;
      if (!layout->cancelled_) progress = layout->progress_;
    }
    if (progress) progress();
  });
}

bool TextBlockLayout::measureNext() {
  std::unique_lock lock(mutex_);
  if (cancelled_ || nextClaim_ >= blocks_.size()) return false;
  const std::size_t index = nextClaim_++;
  lock.unlock();
  const double height = measure(index);
  lock.lock();
  record(index, height, lock);
  return true;
}

void TextBlockLayout::measureThrough(std::size_t last) {
  std::unique_lock lock(mutex_);
  last = std::min(last, blocks_.size() - 1);
  for (std::size_t at = 0; at <= last;) {
    if (heights_[at] >= 0) {
      ++at;
    } else if (nextClaim_ <= last) {
      // Nobody measures it yet: this thread does, in order, as the background would.
      const std::size_t index = nextClaim_++;
      lock.unlock();
      const double height = measure(index);
      lock.lock();
      record(index, height, lock);
    } else {
      measured_.wait(lock);  // the background is at it
    }
  }
}

void TextBlockLayout::measureInBackground(std::function<void()> progress) {
  std::unique_lock lock(mutex_);
  progress_ = std::move(progress);
  // Blocks a drawing measured before count too.
  if (measuredCount_ > 0) tellProgress(lock);
  if (working_ || cancelled_ || nextClaim_ >= blocks_.size()) return;
  working_ = true;
  // One block a turn, so that the queue serves other layouts in between.
  struct Step {
    static void run(std::weak_ptr<TextBlockLayout> weak) {
      TextBlockLayout::layoutQueue()->async([weak] {
        auto layout = weak.lock();
        if (!layout) return;
        if (layout->measureNext()) {
          run(weak);
          return;
        }
        std::lock_guard lock(layout->mutex_);
        layout->working_ = false;
      });
    }
  };
  Step::run(weak_from_this());
}

void TextBlockLayout::cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  progress_ = nullptr;
}

double TextBlockLayout::height() {
  std::lock_guard lock(mutex_);
  if (measuredCount_ == blocks_.size()) return measuredHeight_;
  // The lines measured so far tell how far the estimate is off for this text and font.
  const double calibration = measuredEstimate_ > 0 ? measuredHeight_ / measuredEstimate_ : 1.0;
  return measuredHeight_ + (totalEstimate_ - measuredEstimate_) * calibration;
}

bool TextBlockLayout::isComplete() {
  std::lock_guard lock(mutex_);
  return measuredCount_ == blocks_.size();
}

double TextBlockLayout::measureAll() {
  if (!blocks_.empty()) measureThrough(blocks_.size() - 1);
  return height();
}

double TextBlockLayout::measuredHeight(std::size_t index) {
  measureThrough(index);
  std::lock_guard lock(mutex_);
  return heights_[index];
}

std::vector<TextBlockLayout::Block> TextBlockLayout::blocksMeeting(double minY, double maxY) {
  std::vector<Block> meeting;
  double top = 0;
  for (std::size_t i = 0; i < blocks_.size() && top <= maxY; ++i) {
    const double height = measuredHeight(i);
    if (top + height >= minY) meeting.push_back({blocks_[i].range, top, height});
    top += height;
  }
  return meeting;
}

std::vector<TextBlockLayout::Block> TextBlockLayout::blocksCovering(NSRange range) {
  std::vector<Block> covering;
  double top = 0;
  for (std::size_t i = 0; i < blocks_.size() && blocks_[i].range.location < range.end(); ++i) {
    const double height = measuredHeight(i);
    if (range.location < blocks_[i].range.end()) covering.push_back({blocks_[i].range, top, height});
    top += height;
  }
  return covering;
}
