#include "platform/foundation/NSURLSession.h"

#include <unistd.h>

#include "platform/foundation/TemporaryFiles.h"
#include "platform/foundation/URLSessionEngine.h"

NSURLSession::TemporaryFile::~TemporaryFile() {
  TemporaryFiles::remove(path);
}

NSURLSession::NSURLSession(std::shared_ptr<NSURLSessionConfiguration> configuration,
                           std::weak_ptr<NSURLSessionDelegate> delegate, std::shared_ptr<DispatchQueue> delegateQueue,
                           bool shared)
    : configuration_(std::move(configuration)),
      delegateQueue_(std::move(delegateQueue)),
      shared_(shared),
      delegate_(std::move(delegate)),
      hasDelegate_(!delegate_.expired()) {}

std::shared_ptr<NSURLSession> NSURLSession::sharedSession() {
  // Never destroyed: replies may reach it while the process exits (ProcessShutdown.h).
  static const std::shared_ptr<NSURLSession>& session = *new std::shared_ptr<NSURLSession>(
      new NSURLSession(NSURLSessionConfiguration::defaultSessionConfiguration(), {},
                       DispatchQueue::makeSerial("NSURLSession.shared"), true));
  return session;
}

std::shared_ptr<NSURLSession> NSURLSession::sessionWithConfiguration(
    const std::shared_ptr<NSURLSessionConfiguration>& configuration) {
  return sessionWithConfiguration(configuration, nullptr, nullptr);
}

std::shared_ptr<NSURLSession> NSURLSession::sessionWithConfiguration(
    const std::shared_ptr<NSURLSessionConfiguration>& configuration,
    const std::shared_ptr<NSURLSessionDelegate>& delegate, std::shared_ptr<DispatchQueue> delegateQueue) {
  auto copy = configuration ? configuration->copy() : NSURLSessionConfiguration::defaultSessionConfiguration();
  if (!delegateQueue) delegateQueue = DispatchQueue::makeSerial("NSURLSession.delegate");
  return create(std::move(copy), delegate, std::move(delegateQueue), false);
}

std::shared_ptr<NSURLSessionDelegate> NSURLSession::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

template <typename Task>
std::shared_ptr<Task> NSURLSession::makeTask(NSURLSessionTask::Kind kind, std::shared_ptr<NSURLRequest> request) {
  std::lock_guard lock(mutex_);
  auto task = std::shared_ptr<Task>(new Task(kind, sharedAs<NSURLSession>(), nextIdentifier_++, std::move(request)));
  if (tasks_.size() >= 64) std::erase_if(tasks_, [](const auto& weak) { return weak.expired(); });
  tasks_.push_back(task);
  return task;
}

std::shared_ptr<NSURLSessionDataTask> NSURLSession::dataTaskWithURL(const std::shared_ptr<NSURL>& url,
                                                                    NSURLSessionDataCompletion completionHandler) {
  return dataTaskWithRequest(NSURLRequest::requestWithURL(url), std::move(completionHandler));
}

std::shared_ptr<NSURLSessionDataTask> NSURLSession::dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                        NSURLSessionDataCompletion completionHandler) {
  auto task = makeTask<NSURLSessionDataTask>(NSURLSessionTask::Kind::data,
                                             request ? request->copy() : NSURLRequest::requestWithURL(nullptr));
  task->dataCompletion_ = std::move(completionHandler);
  return task;
}

std::shared_ptr<NSURLSessionUploadTask> NSURLSession::uploadTaskWithRequest(
    const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSData>& fromData,
    NSURLSessionDataCompletion completionHandler) {
  auto copy = request ? request->copy() : NSURLRequest::requestWithURL(nullptr);
  if (copy->HTTPMethod() == "GET") copy->setHTTPMethod("POST");
  copy->setHTTPBody(fromData ? fromData : NSData::make());
  auto task = makeTask<NSURLSessionUploadTask>(NSURLSessionTask::Kind::upload, std::move(copy));
  task->dataCompletion_ = std::move(completionHandler);
  return task;
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::downloadTaskWithURL(
    const std::shared_ptr<NSURL>& url, NSURLSessionDownloadCompletion completionHandler) {
  return downloadTaskWithRequest(NSURLRequest::requestWithURL(url), std::move(completionHandler));
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::downloadTaskWithRequest(
    const std::shared_ptr<NSURLRequest>& request, NSURLSessionDownloadCompletion completionHandler) {
  auto task = makeTask<NSURLSessionDownloadTask>(NSURLSessionTask::Kind::download,
                                                 request ? request->copy() : NSURLRequest::requestWithURL(nullptr));
  task->downloadCompletion_ = std::move(completionHandler);
  return task;
}

bool NSURLSession::taskWillEnd() {
  std::lock_guard lock(mutex_);
  ++pending_;
  return !invalidated_;
}

void NSURLSession::complete(const std::shared_ptr<NSURLSessionTask>& task, Outcome outcome) {
  if (auto delivery = completeLater(task, std::move(outcome))) delegateQueue_->async(std::move(delivery));
}

std::function<void()> NSURLSession::completeLater(const std::shared_ptr<NSURLSessionTask>& task, Outcome outcome) {
  NSURLSessionDataCompletion dataCompletion;
  NSURLSessionDownloadCompletion downloadCompletion;
  {
    std::lock_guard lock(task->mutex_);
    if (task->ended_) return nullptr;
    task->ended_ = true;
    task->error_ = outcome.error;
    if (outcome.response) task->response_ = outcome.response;
    dataCompletion = std::move(task->dataCompletion_);
    downloadCompletion = std::move(task->downloadCompletion_);
    task->dataCompletion_ = nullptr;
    task->downloadCompletion_ = nullptr;
  }
  return [self = sharedAs<NSURLSession>(), task, outcome = std::move(outcome), dataCompletion = std::move(dataCompletion),
          downloadCompletion = std::move(downloadCompletion)] {
    {
      std::lock_guard lock(task->mutex_);
      task->state_ = NSURLSessionTask::State::completed;
    }
    if (outcome.before) outcome.before();
    self->deliver(task, outcome, dataCompletion, downloadCompletion);
    self->taskDidEnd();
  };
}

void NSURLSession::deliver(const std::shared_ptr<NSURLSessionTask>& task, const Outcome& outcome,
                           const NSURLSessionDataCompletion& dataCompletion,
                           const NSURLSessionDownloadCompletion& downloadCompletion) {
  auto self = sharedAs<NSURLSession>();
  auto delegate = this->delegate();
  if (task->kind_ == NSURLSessionTask::Kind::download) {
    std::shared_ptr<NSURL> location;
    if (!outcome.error && outcome.downloadedFile) location = NSURL::fileURLWithPath(outcome.downloadedFile->path, false);
    if (downloadCompletion) {
      downloadCompletion(location, outcome.response, outcome.error);
      return;
    }
    if (!delegate) return;
    if (location) delegate->URLSession(self, std::static_pointer_cast<NSURLSessionDownloadTask>(task), location);
    delegate->URLSession(self, task, outcome.error);
    return;
  }
  std::shared_ptr<NSData> data = outcome.data;
  std::shared_ptr<NSError> error = outcome.error;
  if (!error && outcome.expandData) {
    auto expanded = outcome.expandData();
    if (expanded) {
      data = std::move(*expanded);
    } else {
      error = std::move(expanded.error());
      std::lock_guard lock(task->mutex_);
      task->error_ = error;
    }
  }
  if (dataCompletion) {
    if (!error && !data) data = NSData::make();
    dataCompletion(error ? nullptr : data, outcome.response, error);
    return;
  }
  if (delegate) delegate->URLSession(self, task, error);
}

void NSURLSession::taskDidEnd() {
  {
    std::lock_guard lock(mutex_);
    --pending_;
    if (!invalidated_ || pending_ > 0 || invalidationReported_) return;
    invalidationReported_ = true;
  }
  reportInvalidation();  // already on the delegate queue
}

void NSURLSession::reportInvalidation() {
  if (auto delegate = this->delegate()) delegate->URLSession(sharedAs<NSURLSession>(), std::shared_ptr<NSError>());
  std::lock_guard lock(mutex_);
  delegate_.reset();
}

void NSURLSession::invalidate(bool cancelTasks) {
  if (shared_) return;
  std::vector<std::shared_ptr<NSURLSessionTask>> tasks;
  {
    std::lock_guard lock(mutex_);
    if (invalidated_) return;
    invalidated_ = true;
    // Held until the cancellations below are queued, so that the report cannot overtake them.
    ++pending_;
    if (cancelTasks) {
      for (const auto& weak : tasks_) {
        if (auto task = weak.lock()) tasks.push_back(std::move(task));
      }
    }
  }
  for (const auto& task : tasks) task->cancel();
  delegateQueue_->async([self = sharedAs<NSURLSession>()] { self->taskDidEnd(); });
}

void NSURLSession::finishTasksAndInvalidate() { invalidate(false); }

void NSURLSession::invalidateAndCancel() { invalidate(true); }

void NSURLSession::resetWithCompletionHandler(std::function<void()> completionHandler) {
  if (completionHandler) delegateQueue_->async(std::move(completionHandler));
}

std::vector<std::shared_ptr<NSURLSessionTask>> NSURLSession::allTasks() const {
  std::vector<std::weak_ptr<NSURLSessionTask>> made;
  {
    // A task's lock is taken before the session's (resume), never the other way round.
    std::lock_guard lock(mutex_);
    made = tasks_;
  }
  std::vector<std::shared_ptr<NSURLSessionTask>> tasks;
  for (const auto& weak : made) {
    auto task = weak.lock();
    if (task && task->state() != NSURLSessionTask::State::completed) tasks.push_back(std::move(task));
  }
  return tasks;
}

void NSURLSession::withDelegate(
    std::function<void(NSURLSessionDelegate&, const std::shared_ptr<NSURLSession>&)> block) {
  if (auto call = delegateCall(std::move(block))) delegateQueue_->async(std::move(call));
}

std::function<void()> NSURLSession::delegateCall(
    std::function<void(NSURLSessionDelegate&, const std::shared_ptr<NSURLSession>&)> block) {
  if (!hasDelegate_) return nullptr;
  return [self = sharedAs<NSURLSession>(), block = std::move(block)] {
    if (auto delegate = self->delegate()) block(*delegate, self);
  };
}
