#pragma once
// GIFs the upload screen takes in from the desktop: files dropped on it or chosen in the file
// browser, and GIF images dropped on it. Each is checked and copied into the GIF folder on
// a queue of its own, away from the main thread: a file is looked at for its size first
// (at most InputLimits::uploadBytes), then must decode as a GIF. What is refused is named
// in a sentence for the screen to show.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/VornObject.h"

struct UploadIntake {
  struct Constants {
    // What a dropped image without a file is called in a sentence.
    static constexpr std::string_view droppedImage = "The dropped image";
    static constexpr std::string_view nothingReadable = "Only GIF files and GIF images can be dropped here.";
    // Longer file names are shortened in a sentence, so that it stays a sentence.
    static constexpr std::size_t longestName = 40;
  };

  // One GIF brought in: a file's path, or bytes offered as a GIF.
  struct Source {
    std::string path;
    std::shared_ptr<NSData> data;
  };
  struct Outcome {
    // Items of new private files, in the order of their sources.
    std::vector<std::shared_ptr<VornObject>> taken;
    // A sentence for each source refused, in order.
    std::vector<std::string> refusals;
  };

  // Checks and copies the sources on the intake's queue, one intake after another; `done`
  // then runs on the main thread.
  static void takeIn(std::vector<Source> sources, std::function<void(Outcome)> done);
  // The same work on the calling thread.
  static Outcome takeInNow(const std::vector<Source>& sources);

  // Why one source was refused, as a sentence that names it ("“cat.png” is not a GIF.").
  static std::string refusalSentence(VornObject::LocalGifRefusal refusal, std::string_view name);
  // What the screen says about the refusals of one intake: each sentence when there are
  // one or two, else the first and how many more there were; empty when nothing was refused.
  static std::string message(const std::vector<std::string>& refusals);
};
