#include "collections/UploadIntake.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <mutex>

#include "model/InputLimits.h"
#include "platform/foundation/DispatchQueue.h"

namespace {

using Reason = VornObject::LocalGifRefusal;

std::shared_ptr<DispatchQueue> intakeQueue() {
  static const auto queue = DispatchQueue::makeSerial("upload intake");
  return queue;
}

// What a sentence says of its subject, for one source or several.
std::string predicate(Reason reason, bool several) {
  switch (reason) {
    case Reason::missing: return "could not be found.";
    case Reason::folder: return several ? "are folders, not GIF files." : "is a folder, not a GIF file.";
    case Reason::unreadable: return "could not be read.";
    case Reason::tooLarge:
      return std::string(several ? "are" : "is") + " larger than " + std::to_string(InputLimits::uploadMegabytes) +
             " MB, the most a GIF upload may be.";
    case Reason::notGif: return several ? "are not GIFs." : "is not a GIF.";
    case Reason::notSaved: return "could not be copied for upload.";
  }
  return "could not be read.";
}

// A source as a sentence names it; `opening` when it begins the sentence.
std::string quoted(std::string_view name, bool opening) {
  if (!name.empty()) return "\u201c" + std::string(name) + "\u201d";
  std::string image(UploadIntake::Constants::droppedImage);
  if (!opening) image[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(image[0])));
  return image;
}

// "“a”", "“a” and “b”", "“a”, “b” and “c”", or with some only counted "“a”, “b” and 3 more".
std::string listed(const std::vector<std::string_view>& names, std::size_t named) {
  std::vector<std::string> parts;
  for (std::size_t i = 0; i < named; ++i) parts.push_back(quoted(names[i], i == 0));
  if (named < names.size()) parts.push_back(std::to_string(names.size() - named) + " more");
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) text += i + 1 == parts.size() ? " and " : ", ";
    text += parts[i];
  }
  return text;
}

// What became of one source: its item, or why it was refused.
struct Checked {
  std::shared_ptr<VornObject> item;
  UploadIntake::Refusal refusal{};
};

Checked check(const UploadIntake::Source& source) {
  const std::string name = source.data ? std::string() : UploadIntake::shownName(source.path);
  std::shared_ptr<NSData> bytes = source.data;
  if (bytes) {
    if (auto refusal = VornObject::checkLocalGif(bytes)) return {nullptr, {*refusal, name}};
  } else {
    auto read = VornObject::readLocalGif(source.path);
    if (!read) return {nullptr, {read.error(), name}};
    bytes = *read;
  }
  // The checked bytes become the private copy: the file is not read a second time.
  auto made = VornObject::initWithLocalGifImageData(bytes);
  if (!made) return {nullptr, {Reason::notSaved, name}};
  return {*made, {}};
}

// What one intake has checked and the main thread has not yet been handed. At most one turn
// of the main thread is queued for it at a time, and a turn takes at most a batch: however
// fast the files are checked, the main thread serves other work between batches.
class IntakeHandover : public std::enable_shared_from_this<IntakeHandover> {
 public:
  IntakeHandover(std::function<void(UploadIntake::Batch)> taken, std::function<void(std::vector<UploadIntake::Refusal>)> done)
      : taken_(std::move(taken)), done_(std::move(done)) {}

  // On the intake's queue, as each source is checked, and once all of them were.
  void add(Checked checked) {
    std::lock_guard lock(mutex_);
    // Refusals are told together, at the end; an item goes to the screen now.
    if (!checked.item) {
      refusals_.push_back(std::move(checked.refusal));
      return;
    }
    pending_.push_back(std::move(checked.item));
    scheduleLocked();
  }
  void finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    scheduleLocked();
  }

 private:
  void scheduleLocked() {
    if (scheduled_) return;
    scheduled_ = true;
    DispatchQueue::main()->async([self = shared_from_this()] { self->turn(); });
  }

  // On the main thread.
  void turn() {
    UploadIntake::Batch batch;
    std::vector<UploadIntake::Refusal> refusals;
    bool more = false, last = false;
    {
      std::lock_guard lock(mutex_);
      const auto count = std::min(pending_.size(), UploadIntake::Constants::batch);
      batch.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
      more = !pending_.empty();
      last = !more && finished_ && !ended_;
      if (last) {
        ended_ = true;
        refusals = std::move(refusals_);
      }
      // The next batch gets a turn of its own, after whatever else is queued meanwhile.
      scheduled_ = more;
    }
    if (more) DispatchQueue::main()->async([self = shared_from_this()] { self->turn(); });
    if (!batch.empty() && taken_) taken_(std::move(batch));
    if (last && done_) done_(std::move(refusals));
  }

  std::function<void(UploadIntake::Batch)> taken_;
  std::function<void(std::vector<UploadIntake::Refusal>)> done_;
  std::mutex mutex_;
  std::deque<std::shared_ptr<VornObject>> pending_;
  std::vector<UploadIntake::Refusal> refusals_;
  bool scheduled_ = false, finished_ = false, ended_ = false;
};

}  // namespace

std::string UploadIntake::shownName(const std::string& path) {
  std::filesystem::path p(path);
  std::string name = p.filename().string();
  if (name.empty()) name = p.parent_path().filename().string();
  if (name.empty()) name = path;
  // Where the last character that still fits begins; it gives way to the ellipsis only when
  // more follow it.
  std::size_t characters = 0, cut = name.size();
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
    ++characters;
    if (characters == Constants::longestName) cut = i;
    if (characters > Constants::longestName) return name.substr(0, cut) + "\u2026";
  }
  return name;
}

std::string UploadIntake::refusalSentence(Reason refusal, std::string_view name) {
  return quoted(name, true) + " " + predicate(refusal, false);
}

std::string UploadIntake::message(const std::vector<Refusal>& refusals, std::size_t namesPerReason) {
  // The reasons in the order they first came, each with its sources in order.
  std::vector<std::pair<Reason, std::vector<std::string_view>>> groups;
  for (const auto& refusal : refusals) {
    auto group = std::ranges::find(groups, refusal.reason, [](const auto& g) { return g.first; });
    if (group == groups.end()) group = groups.insert(groups.end(), {refusal.reason, {}});
    group->second.push_back(refusal.name);
  }
  std::string text;
  for (const auto& [reason, names] : groups) {
    if (!text.empty()) text += " ";
    const std::size_t named = std::min(names.size(), namesPerReason);
    if (named == 0) text += std::to_string(names.size()) + (names.size() == 1 ? " file " : " files ");
    else text += listed(names, named) + " ";
    text += predicate(reason, names.size() > 1);
  }
  return text;
}

void UploadIntake::takeIn(std::vector<Source> sources, std::function<void(Batch)> taken,
                          std::function<void(std::vector<Refusal>)> done) {
  auto handover = std::make_shared<IntakeHandover>(std::move(taken), std::move(done));
  intakeQueue()->async([sources = std::move(sources), handover] {
    for (const auto& source : sources) handover->add(check(source));
    handover->finish();
  });
}
