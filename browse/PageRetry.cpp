#include "browse/PageRetry.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"

void PageRetry::failed(std::function<void()> retry) {
  const double pause = std::min(Constants::firstPause * std::pow(2.0, failures_), Constants::longestPause);
  ++failures_;
  resumeAt_ = Clock::current().now() + pause;
  if (pending_) pending_->cancel();
  pending_ = NSRunLoop::main()->scheduleAfter(pause, std::move(retry));
}

void PageRetry::succeeded() {
  failures_ = 0;
  resumeAt_ = 0;
  if (pending_) pending_->cancel();
  pending_.reset();
}

bool PageRetry::mayAsk() const { return Clock::current().now() >= resumeAt_; }
