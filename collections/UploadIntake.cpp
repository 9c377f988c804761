#include "collections/UploadIntake.h"

#include <filesystem>

#include "model/InputLimits.h"
#include "platform/foundation/DispatchQueue.h"

namespace {

using Refusal = VornObject::LocalGifRefusal;

std::shared_ptr<DispatchQueue> intakeQueue() {
  static const auto queue = DispatchQueue::makeSerial("upload intake");
  return queue;
}

// The name the user knows a file by, shortened when long (cut between characters).
std::string shownName(const std::string& path) {
  std::filesystem::path p(path);
  std::string name = p.filename().string();
  if (name.empty()) name = p.parent_path().filename().string();
  if (name.empty()) name = path;
  std::size_t characters = 0, cut = name.size();
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
    if (++characters == UploadIntake::Constants::longestName) {
      cut = i;
      break;
    }
  }
  return cut < name.size() ? name.substr(0, cut) + "\u2026" : name;
}

}  // namespace

std::string UploadIntake::refusalSentence(Refusal refusal, std::string_view name) {
  const std::string subject = name.empty() ? std::string(Constants::droppedImage) : "\u201c" + std::string(name) + "\u201d";
  switch (refusal) {
    case Refusal::missing: return subject + " could not be found.";
    case Refusal::folder: return subject + " is a folder, not a GIF file.";
    case Refusal::unreadable: return subject + " could not be read.";
    case Refusal::tooLarge:
      return subject + " is larger than " + std::to_string(InputLimits::uploadMegabytes) +
             " MB, the most a GIF upload may be.";
    case Refusal::notGif: return subject + " is not a GIF.";
    case Refusal::notSaved: return subject + " could not be copied for upload.";
  }
  return subject + " could not be read.";
}

std::string UploadIntake::message(const std::vector<std::string>& refusals) {
  if (refusals.empty()) return {};
  if (refusals.size() <= 2) return refusals.size() == 1 ? refusals[0] : refusals[0] + " " + refusals[1];
  return refusals[0] + " " + std::to_string(refusals.size() - 1) + " other files were not added either.";
}

UploadIntake::Outcome UploadIntake::takeInNow(const std::vector<Source>& sources) {
  Outcome outcome;
  for (const auto& source : sources) {
    const std::string name = source.data ? std::string() : shownName(source.path);
    std::shared_ptr<NSData> bytes = source.data;
    if (bytes) {
      if (auto refusal = VornObject::checkLocalGif(bytes)) {
        outcome.refusals.push_back(refusalSentence(*refusal, name));
        continue;
      }
    } else {
      auto read = VornObject::readLocalGif(source.path);
      if (!read) {
        outcome.refusals.push_back(refusalSentence(read.error(), name));
        continue;
      }
      bytes = *read;
    }
    // The checked bytes become the private copy: the file is not read a second time.
    auto made = VornObject::initWithLocalGifImageData(bytes);
    if (!made) {
      outcome.refusals.push_back(refusalSentence(Refusal::notSaved, name));
      continue;
    }
    outcome.taken.push_back(*made);
  }
  return outcome;
}

void UploadIntake::takeIn(std::vector<Source> sources, std::function<void(Outcome)> done) {
  intakeQueue()->async([sources = std::move(sources), done = std::move(done)]() mutable {
    auto outcome = std::make_shared<Outcome>(takeInNow(sources));
    DispatchQueue::main()->async([outcome, done = std::move(done)] { done(std::move(*outcome)); });
  });
}
