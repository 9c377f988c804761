#pragma once
// GIFs the upload screen takes in from the desktop: files dropped on it or chosen in the file
// browser, and GIF images dropped on it. Each is checked and copied into the GIF folder on
// a queue of its own, away from the main thread: a file is looked at for its size first
// (at most InputLimits::uploadBytes), then must decode as a GIF. What is taken reaches the
// main thread in small batches while the rest is still being checked, so that a drop of
// hundreds of files shows them as they come and never holds the main thread for long. What
// is refused is named, by reason, in a message for the screen to show.

#include <cstddef>
#include <functional>
#include <limits>
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
    // The most GIFs handed to the main thread in one turn: each becomes a staged row there.
    static constexpr std::size_t batch = 16;
  };

  // One GIF brought in: a file's path, or bytes offered as a GIF.
  struct Source {
    std::string path;
    std::shared_ptr<NSData> data;
  };
  // One source refused: why, and the name the user knows it by (shortened when long; empty
  // for bytes offered without a file).
  struct Refusal {
    VornObject::LocalGifRefusal reason;
    std::string name;
    bool operator==(const Refusal&) const = default;
  };
  using Batch = std::vector<std::shared_ptr<VornObject>>;

  // Checks and copies the sources on the intake's queue, one intake after another. The items
  // of the new private files reach `taken` on the main thread in the order of their sources,
  // at most Constants::batch at a time, each batch in a turn of the main thread of its own;
  // `done` runs on the main thread once after the last batch, with every refusal in order.
  static void takeIn(std::vector<Source> sources, std::function<void(Batch)> taken,
                     std::function<void(std::vector<Refusal>)> done);

  // The name a file is known by in a message: its last component, shortened when long.
  static std::string shownName(const std::string& path);
  // Why one source was refused, as a sentence that names it ("“cat.png” is not a GIF.").
  static std::string refusalSentence(VornObject::LocalGifRefusal refusal, std::string_view name);
  // What the screen says about the refusals of one intake: a sentence for each reason, in
  // the order the reasons first came, naming every source refused for it ("“a.png” and
  // “b.txt” are not GIFs."). A reason with more than `namesPerReason` sources names that many
  // and counts the others ("“a.png”, “b.txt” and 3 more are not GIFs."; none named: "5 files
  // are not GIFs."). Empty when nothing was refused.
  static std::string message(const std::vector<Refusal>& refusals,
                             std::size_t namesPerReason = std::numeric_limits<std::size_t>::max());
};
