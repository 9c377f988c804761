#pragma once
// Keeps the stand-in's state (StandinState) in a file from one run of the server to the next,
// as `make run`'s stand-in does, so that a client keeps its account, token, packs and
// favourites across runs. The file is JSON: the accounts with their passwords and tokens,
// the packs, each user's liked and saved items, what is known of each upload and the next
// free ids. The uploaded GIFs lie beside it in "<name>-uploads/<id>.gif" (for "state.json",
// "state-uploads"), each written once, before the file that names it; the file stays small
// however many GIFs are uploaded. Files and folders are the owner's alone (0600, 0700).
//
// Every write goes to a new file in the same folder, synced, then renamed over the old one,
// so a crash leaves the old file or the new one, never a part. Changes are saved on a thread
// of their own, a burst of them in one write, so a request never waits for the disk; the last
// ones are saved when the file is closed. A file that cannot be read (not JSON, not the
// state's shape) is set aside as "<name>.set-aside-<time>" with one line saying so, and the
// state starts empty; an upload whose GIF is missing is left out, with one line too. What a
// save cut short left of its new files (".<name>.XXXXXX" beside the file or a GIF) is removed
// at the next open. A save that fails says so once and is tried again; a last save at close
// that fails says so in one line, and close() answers false.

#include <condition_variable>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/foundation/NSObject.h"
#include "standin/StandinState.h"

class StandinStateFile : public NSObject {
 public:
  enum class Start {
    kept,   // with what the file keeps
    fresh,  // empty, discarding what the file and its uploads folder kept
  };
  // Where `make run`'s stand-in keeps its state: "glimdeck-standin/state.json" in the user's
  // data folder ($XDG_DATA_HOME, else ~/.local/share).
  static std::filesystem::path defaultPath();

  // Reads the file into the state (leaving it empty when there is no file yet), then saves
  // each change of the state until closed. Open it before the server takes requests and
  // close it after the server stopped. Fails, saying why, when the folder cannot be made or
  // another stand-in keeps its state in the same file.
  static std::expected<std::shared_ptr<StandinStateFile>, std::string> open(const std::filesystem::path& path,
                                                                             std::shared_ptr<StandinState> state,
                                                                             Start start = Start::kept);
  ~StandinStateFile() override;
  GLIMDECK_OBJECT(StandinStateFile)

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path uploadsFolder() const;
  // Waits until every change made before the call is in the file, for at most `timeout`
  // seconds; answers whether it is.
  bool flush(double timeout);
  // Saves what changed since the last save and stops saving. Answers whether every change is
  // in the file; when the last save failed, it says so in one line. Idempotent.
  bool close();

 private:
  StandinStateFile(std::filesystem::path path, std::shared_ptr<StandinState> state, int lock);
  // Reads what the file keeps into the state; false when the damaged file could not be set
  // aside (starting empty would then write over it).
  bool load(Start start);
  void run();
  // Writes the GIFs not written yet, then the file; false on a failure, having said why unless
  // told not to.
  bool save(bool sayFailure);

  struct Pending {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t changes = 0;
    std::uint64_t saved = 0;
    bool closing = false;
  };

  std::filesystem::path path_;
  std::shared_ptr<StandinState> state_;
  std::shared_ptr<Pending> pending_ = std::make_shared<Pending>();
  int lock_ = -1;
  std::thread saver_;
  // Used by the saver alone once it runs: the GIFs in the uploads folder that belong to the
  // state of `generation_`, and those of an earlier generation to remove after the next save.
  std::uint64_t generation_ = 0;
  std::set<std::string> written_;
  std::set<std::string> stale_;
  bool failing_ = false;
  std::string lastFailure_;
  // Set by close(): whether the saver had saved every change when it stopped.
  bool savedAtClose_ = true;
};
