// What a GIF keeps, its bytes included, stays within its budget, measured as the process's own
// resident memory: a hostile GIF read from a file holds none of its bytes (its frames are
// read from the file as they are decoded, whatever becomes of the file's name meanwhile),
// and one given as bytes keeps them only while all its frames fit beside them.

#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "platform/appkit/NSImage.h"
#include "tests/support/HostileGif.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using Rgba = std::array<std::uint8_t, 4>;

void writeFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The colour frame `frame` of `hostile::gif` shows.
Rgba colourOf(int frame) {
  const auto [red, green, blue] = hostile::flatColour(frame);
  return {red, green, blue, 255};
}

// --- The hostile set on tiles

enum class Given { file, bytes };

struct TileCase {
  const hostile::HostileGif* gif;
  Given given;
};

std::vector<TileCase> tileCases() {
  std::vector<TileCase> cases;
  for (const auto& gif : hostile::hostileGifs) {
    for (Given given : {Given::file, Given::bytes}) cases.push_back({&gif, given});
  }
  return cases;
}

class HostileGifBudgetTest : public GlimdeckTest, public ::testing::WithParamInterface<TileCase> {};

TEST_P(HostileGifBudgetTest, TilesPlayingItGrowTheProcessByNoMoreThanTheirBudgets) {
  // Tiles of a megabyte: each GIF's bytes are several times that.
  NSImage::Limits tile;
  tile.maxSide = 200;
  tile.smallestSide = 64;
  tile.budgetBytes = 1u << 20;
  // Fewer given as bytes: each decodes all its frames at once, a second or two a tile.
  const std::size_t count = GetParam().given == Given::file ? 4 : 3;
  // What allocations beside the GIFs' own take (the allocator's slack, a worker's stack; a
  // sanitizer's shadow and quarantine).
  constexpr std::size_t kSlack = 6u << 20;
  const std::string& bytes = GetParam().gif->bytes();
  ASSERT_GT(bytes.size(), 3 * tile.budgetBytes);
  // The caller's own bytes and file, there before anything is measured.
  const auto data = NSData::fromString(bytes);
  const fs::path file = home() / "hostile.gif";
  writeFile(file, bytes);
  // What earlier cases left to the decoding worker is done and let go first.
  GifFrameStore::decodingQueue()->sync([] {});
  ::malloc_trim(0);
  const std::size_t before = resident::nowBytes();

  std::vector<std::shared_ptr<NSImage>> tiles;
  for (std::size_t k = 0; k < count; ++k) {
    auto made = GetParam().given == Given::file ? NSImage::initWithContentsOfFile(file, tile)
                                                : NSImage::initWithData(data, tile);
    ASSERT_TRUE(made.has_value()) << made.error()->localizedDescription();
    auto image = *made;
    ASSERT_GE(image->frameCount(), 1u);
    // Its first frames are played, as a tile starts to.
    for (std::size_t i = 0; i < 4; ++i) ASSERT_TRUE(image->frame(i % image->frameCount())) << "frame " << i;
    tiles.push_back(image);
  }
  const std::size_t after = resident::nowBytes();
  const std::size_t grown = after > before ? after - before : 0;
  EXPECT_LE(grown, count * tile.budgetBytes + kSlack)
      << grown / 1024 << " kB for " << count << " tiles of a " << bytes.size() / 1024 << " kB GIF";
  for (const auto& image : tiles) {
    EXPECT_LE(image->gifFrames()->peakBytesWithKept(), tile.budgetBytes) << "the store's own count agrees";
  }
}

INSTANTIATE_TEST_SUITE_P(HostileSet, HostileGifBudgetTest, ::testing::ValuesIn(tileCases()),
                         [](const ::testing::TestParamInfo<TileCase>& info) {
                           std::string name(info.param.gif->name);
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name + (info.param.given == Given::file ? "_fromAFile" : "_asBytes");
                         });

// --- A GIF read from a file

// Ten frames of 32 × 32 kept at 16 × 16 with room for five: every loop reads the file again.
NSImage::Limits roomForFive() {
  NSImage::Limits limits;
  limits.maxSide = 16;
  limits.smallestSide = 16;
  limits.budgetBytes = 5 * 16 * 16 * 4;
  limits.eagerPixels = 0;
  return limits;
}

class GifFileBudgetTest : public GlimdeckTest {};

TEST_F(GifFileBudgetTest, AGifReadFromAFileHoldsNoneOfItsBytesAndPlaysOnWhateverBecomesOfTheFile) {
  enum class Fate { kept, deleted, replaced, cut, overwritten };
  struct Case {
    std::string_view name;
    Fate fate;
    bool playsAsBefore;  // every frame, at every loop
  } cases[] = {
      // Frames beyond the budget are decoded again on their turn.
      {"kept", Fate::kept, true},
      {"deleted", Fate::deleted, true},
      // The cache puts a new file in its place by a rename.
      {"replaced", Fate::replaced, true},
      // Frames beyond the cut show what was read before it; none is missing.
      {"cut", Fate::cut, false},
      // Written over in place with a GIF of other sizes and colours: read no further than it
      // agrees, so that no frame shows any of the other GIF.
      {"overwritten", Fate::overwritten, false},
  };
  // What the GIF opened shows: its frames' colours, or nothing.
  std::vector<Rgba> opened{Rgba{}};
  for (int k = 0; k < 10; ++k) opened.push_back(colourOf(k));
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    const fs::path path = home() / (std::string(c.name) + ".gif");
    const std::string bytes = hostile::gif(32, 10);
    writeFile(path, bytes);
    auto made = NSImage::initWithContentsOfFile(path, roomForFive());
    ASSERT_TRUE(made.has_value());
    auto image = *made;
    auto store = image->gifFrames();
    ASSERT_EQ(image->frameCount(), 10u);
    ASSERT_EQ(image->pixelWidth(), 16);
    for (std::size_t i = 0; i < 10; ++i) {
      ASSERT_TRUE(image->frame(i));
      EXPECT_EQ(image->pixelAt(7, 7, i), colourOf(int(i))) << "frame " << i;
    }
    switch (c.fate) {
      case Fate::kept:
        break;
      case Fate::deleted:
        fs::remove(path);
        break;
      case Fate::replaced:
        writeFile(home() / "new.gif", hostile::gif(24, 10));
        fs::rename(home() / "new.gif", path);
        break;
      case Fate::cut:
        fs::resize_file(path, bytes.size() / 2);
        break;
      case Fate::overwritten: {
        std::fstream in(path, std::ios::binary | std::ios::in | std::ios::out);
        const std::string other = hostile::patternedGif(24, 10);
        in.write(other.data(), static_cast<std::streamsize>(other.size()));
        break;
      }
    }
    const std::size_t decoded = store->framesDecoded();
    for (int loop = 0; loop < 2; ++loop) {
      for (std::size_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(image->frame(i)) << "loop " << loop << " frame " << i;
        if (c.playsAsBefore || i == 0) {
          EXPECT_EQ(image->pixelAt(7, 7, i), colourOf(int(i))) << "frame " << i;
        }
        // Whatever became of the file, every frame shows the GIF that was opened, or as much
        // of it as could still be read: nothing of what the file holds now.
        for (int y = 0; y < 16; ++y) {
          for (int x = 0; x < 16; ++x) {
            const Rgba shown = image->pixelAt(x, y, i);
            ASSERT_TRUE(std::ranges::count(opened, shown)) << "loop " << loop << " frame " << i << " at " << x << ","
                                                           << y << " shows " << ::testing::PrintToString(shown);
          }
        }
        EXPECT_LE(store->heldBytes(), roomForFive().budgetBytes);
      }
    }
    if (c.playsAsBefore) {
      EXPECT_GE(store->framesDecoded(), 30u) << "each of the three loops decodes the frames it shows";
    } else {
      EXPECT_GT(store->framesDecoded(), decoded) << "the frames were read again";
    }
    EXPECT_EQ(store->sourceBytes(), 0u);
    EXPECT_LE(store->peakHeldBytes(), roomForFive().budgetBytes);
  }
}

TEST_F(GifFileBudgetTest, OnlyAPlainFileIsRead) {
  const fs::path gif = home() / "plain.gif";
  writeFile(gif, hostile::gif(8, 2));
  fs::create_symlink(gif, home() / "link.gif");
  fs::create_directory(home() / "folder.gif");
  ASSERT_EQ(::mkfifo((home() / "fifo.gif").c_str(), 0600), 0);
  EXPECT_TRUE(NSImage::initWithContentsOfFile(gif, roomForFive()).has_value());
  for (const char* name : {"link.gif", "folder.gif", "fifo.gif", "missing.gif"}) {
    // A fifo would block an open that waits for a writer.
    auto made = NSImage::initWithContentsOfFile(home() / name, roomForFive());
    ASSERT_FALSE(made.has_value()) << name;
    EXPECT_EQ(made.error()->code(), NSImage::unreadableFile) << name;
  }
}

// --- A GIF given as bytes

class GifBytesBudgetTest : public GlimdeckTest {};

TEST_F(GifBytesBudgetTest, BytesThatWouldCrowdTheFramesAreNotKeptAndFewerFramesShowLonger) {
  // Ten frames, room for five at the smallest side: every other frame, each for two.
  auto image = *NSImage::initWithData(NSData::fromString(hostile::gif(32, 10)), roomForFive());
  auto store = image->gifFrames();
  EXPECT_EQ(store->sourceBytes(), 0u);
  ASSERT_EQ(image->frameCount(), 5u);
  EXPECT_EQ(store->framesDecoded(), 5u) << "decoded at once";
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_DOUBLE_EQ(image->frameDelay(i), 0.2) << i;
    EXPECT_EQ(image->pixelAt(7, 7, i), colourOf(int(2 * i))) << i;
  }
  EXPECT_EQ(image->decodedBytes(), roomForFive().budgetBytes);
  EXPECT_EQ(store->framesDecoded(), 5u) << "nothing decoded again";
  EXPECT_LE(store->peakHeldBytes(), roomForFive().budgetBytes);
}

TEST_F(GifBytesBudgetTest, BytesKeptBesideTheFramesAreCountedUntilEveryFrameIsHeld) {
  const std::string bytes = hostile::gif(32, 10);
  NSImage::Limits limits;
  limits.maxSide = 32;
  limits.smallestSide = 8;
  limits.budgetBytes = 16 * 1024;
  limits.eagerPixels = 0;
  auto image = *NSImage::initWithData(NSData::fromString(bytes), limits);
  auto store = image->gifFrames();
  ASSERT_EQ(image->frameCount(), 10u);
  EXPECT_EQ(store->sourceBytes(), bytes.size());
  // Smaller than 32 × 32 so that all ten fit beside the bytes.
  EXPECT_LT(image->pixelWidth(), 32);
  EXPECT_LE(10 * std::size_t(image->pixelWidth()) * image->pixelHeight() * 4 + bytes.size(), limits.budgetBytes);
  for (std::size_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(image->frame(i));
    EXPECT_EQ(image->pixelAt(image->pixelWidth() / 2, 1, i), colourOf(int(i))) << i;
    EXPECT_LE(store->heldBytes() + store->sourceBytes(), limits.budgetBytes) << i;
  }
  EXPECT_EQ(store->sourceBytes(), 0u) << "every frame held, the bytes are let go";
  EXPECT_LE(store->peakHeldBytes(), limits.budgetBytes);
  const std::size_t decoded = store->framesDecoded();
  for (std::size_t i = 0; i < 10; ++i) ASSERT_TRUE(image->frame(i));
  EXPECT_EQ(store->framesDecoded(), decoded);
}

}  // namespace
