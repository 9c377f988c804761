#include "platform/foundation/NSURLSessionTask.h"

#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/URLSessionEngine.h"

NSURLSessionTask::NSURLSessionTask(Kind kind, std::shared_ptr<NSURLSession> session, std::uint64_t identifier,
                                   std::shared_ptr<NSURLRequest> request)
    : kind_(kind), session_(std::move(session)), identifier_(identifier), request_(std::move(request)) {}

void NSURLSessionTask::resume() {
  std::unique_lock lock(mutex_);
  if (state_ != State::suspended) return;
  if (!session_->taskWillEnd()) {
    state_ = State::canceling;  // keeps a second resume() from starting it
    lock.unlock();
    NSURLSession::Outcome outcome;
    outcome.error = makeURLError(NSURLError::cancelled, "The session was invalidated.", request_->URL());
    session_->complete(sharedAs<NSURLSessionTask>(), std::move(outcome));
    return;
  }
  state_ = State::running;
  // Posted after the lock is let go, so that the network thread, which reads the task as it
  // starts it, does not wake only to wait for it. A cancel() in between may then reach the
  // network thread first; the start sees the task cancelled and ends it so.
  lock.unlock();
  URLSessionEngine::shared().start(sharedAs<NSURLSessionTask>());
}

void NSURLSessionTask::cancel() {
  std::unique_lock lock(mutex_);
  if (ended_) return;  // decided already: its delivery is on the way
  switch (state_) {
    case State::suspended: {
      state_ = State::canceling;  // keeps a resume() from starting it meanwhile
      session_->taskWillEnd();
      lock.unlock();
      NSURLSession::Outcome outcome;
      outcome.error = makeURLError(NSURLError::cancelled, "cancelled", request_->URL());
      session_->complete(sharedAs<NSURLSessionTask>(), std::move(outcome));
      return;
    }
    case State::running:
      state_ = State::canceling;
      URLSessionEngine::shared().cancel(sharedAs<NSURLSessionTask>());
      return;
    case State::canceling:
    case State::completed:
      return;
  }
}

bool NSURLSessionTask::wasCancelled() const {
  std::lock_guard lock(mutex_);
  return state_ == State::canceling || (state_ == State::completed && error_ && error_->code() == NSURLError::cancelled);
}

NSURLSessionTask::State NSURLSessionTask::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::shared_ptr<NSURLResponse> NSURLSessionTask::response() const {
  std::lock_guard lock(mutex_);
  return response_;
}

std::shared_ptr<NSError> NSURLSessionTask::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

std::string NSURLSessionTask::taskDescription() const {
  std::lock_guard lock(mutex_);
  return description_;
}

void NSURLSessionTask::setTaskDescription(std::string description) {
  std::lock_guard lock(mutex_);
  description_ = std::move(description);
}

std::string NSURLSessionTask::className() const {
  switch (kind_) {
    case Kind::data:
      return "NSURLSessionDataTask";
    case Kind::upload:
      return "NSURLSessionUploadTask";
    case Kind::download:
      return "NSURLSessionDownloadTask";
  }
  return "NSURLSessionTask";
}
