#include "tests/support/PlantedFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <utility>
#include <stdexcept>
#include <thread>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "tests/support/ResidentMemory.h"

namespace fs = std::filesystem;

namespace PlantedFiles {

std::string describe(Kind kind) {
  switch (kind) {
    case Kind::pipe: return "a named pipe";
    case Kind::link: return "a link to a file outside";
    case Kind::folder: return "a folder";
    case Kind::huge: return "a 300 GB sparse file";
    case Kind::hardLink: return "a hard link to a file outside";
  }
  return "?";
}

void plant(const fs::path& path, Kind kind, const fs::path& outside) {
  fs::create_directories(path.parent_path());
  if (kind == Kind::link || kind == Kind::hardLink) {
    fs::create_directories(outside.parent_path());
    std::ofstream(outside, std::ios::binary) << outsideText;
  }
  switch (kind) {
    case Kind::pipe:
      if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + path.string());
      break;
    case Kind::link: fs::create_symlink(outside, path); break;
    case Kind::hardLink: fs::create_hard_link(outside, path); break;
    case Kind::folder:
      fs::create_directories(path);
      std::ofstream(path / "inside", std::ios::binary) << outsideText;
      break;
    case Kind::huge:
      std::ofstream(path, std::ios::binary).close();
      fs::resize_file(path, static_cast<std::uintmax_t>(hugeBytes));
      break;
  }
}

std::string contents(const fs::path& path) {
  std::error_code error;
  if (fs::symlink_status(path, error).type() != fs::file_type::regular) return "";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<fs::path> setAsideCopies(const fs::path& path) {
  std::vector<fs::path> copies;
  std::error_code error;
  const std::string prefix = path.filename().string() + ".set-aside-";
  for (fs::directory_iterator it(path.parent_path(), error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename().string().starts_with(prefix)) copies.push_back(it->path());
  }
  return copies;
}

void plantLinkedCache(const fs::path& folder, const fs::path& target, int entries,
                      const std::function<std::string(int)>& key) {
  fs::create_directories(target);
  fs::create_directories(folder.parent_path());
  fs::create_symlink(target, folder);
  auto map = NSDictionary::make();
  auto order = NSArray::make();
  for (int i = 1; i <= entries; ++i) {
    const std::string name = "zolto-" + std::to_string(i) + ".gif";
    std::ofstream(target / name, std::ios::binary) << "GIF89a " << i;
    map->setObject(NSURL::fileURLWithPath((folder / name).string(), false), key(i));
    order->addObject(NSString::make(key(i)));
  }
  for (const auto& [name, root] : {std::pair<std::string, id>{"recentShareMap", map}, {"orderList", order}}) {
    auto archive = NSKeyedArchiver::archivedDataWithRootObject(root);
    if (!archive) throw std::runtime_error("the archive of " + name + " could not be made");
    std::ofstream(target / name, std::ios::binary) << (*archive)->string();
  }
}

bool endsWithin(double seconds, const std::function<void()>& work, const std::vector<fs::path>& pipes) {
  // A writer let through an opened pipe whose reader has gone must not end the test program.
  ::signal(SIGPIPE, SIG_IGN);
  std::promise<void> done;
  auto ended = done.get_future();
  std::thread runner([&] {
    work();
    done.set_value();
  });
  const bool inTime = ended.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
  // Each opening of the other end lets one waiting open through (the kernel counts openings),
  // and reading away what was written lets a writer finish.
  // A pipe renamed meanwhile (by the work itself) is still in the same folder.
  const auto pipesNow = [&] {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& pipe : pipes) {
      for (fs::directory_iterator it(pipe.parent_path(), error), end; !error && it != end; it.increment(error)) {
        if (it->symlink_status(error).type() == fs::file_type::fifo) found.push_back(it->path());
      }
    }
    return found;
  };
  while (ended.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    for (const auto& pipe : pipesNow()) {
      const int end = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (end < 0) continue;
      char chunk[4096];
      while (::read(end, chunk, sizeof chunk) > 0) {
      }
      ::close(end);
    }
  }
  runner.join();
  return inTime;
}

void expectNeitherWaitsNorGrows(const std::function<void()>& work, const std::vector<fs::path>& pipes) {
  const bool restarted = resident::restartPeak();
  EXPECT_TRUE(restarted) << "the kernel does not let the peak start over";
  const std::size_t start = resident::nowBytes();
  EXPECT_TRUE(endsWithin(boundSeconds, work, pipes)) << "the work waited for a pipe";
  if (restarted) {
    EXPECT_LT(resident::peakGrowthSince(start), (std::size_t(64) << 20) + resident::kSanitizerHeldBytes)
        << "memory grew with the file";
  }
}

}  // namespace PlantedFiles
