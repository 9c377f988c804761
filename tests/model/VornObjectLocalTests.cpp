#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/Paths.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/TestEnvironment.h"
#include "model/AppConstants.h"
#include "model/InputLimits.h"
#include "standin/GifMaker.h"

namespace fs = std::filesystem;

namespace {

class VornObjectLocalTest : public GlimdeckTest {
 protected:
  fs::path writeFile(const std::string& name, std::string_view bytes) {
    fs::path path = home() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::vector<std::string> gifFolderEntries() {
    std::vector<std::string> names;
    const fs::path folder = Paths::applicationSupport() / "gifdata";
    if (!fs::exists(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
  }
  // The bytes the process has read so far, from files or anything else, by any of its threads
  // (the kernel's count).
  static std::uint64_t bytesRead() {
    std::ifstream in("/proc/self/io");
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("rchar:")) return std::stoull(line.substr(6));
    }
    ADD_FAILURE() << "the kernel does not count the bytes read";
    return 0;
  }
  // A real GIF, with the signature asked for in front.
  static std::string gifBytes(std::string_view signature) {
    return std::string(signature) + GifMaker::animated({}).substr(gifSignatureLength);
  }
};

TEST_F(VornObjectLocalTest, CopyingTheSameFileTwiceMakesTwoDistinctPrivateFiles) {
  auto source = NSURL::fileURLWithPath(writeFile("cat.gif", gifBytes("GIF89a")).string());
  auto first = VornObject::initWithCopyFromLocalPath(source);
  auto second = VornObject::initWithCopyFromLocalPath(source);
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(second.has_value());
  EXPECT_FALSE((*first)->isEqual(*second));
  EXPECT_EQ(gifFolderEntries().size(), 2u);
  for (const auto& item : {*first, *second}) {
    EXPECT_TRUE(item->vid.starts_with("file://"));
    EXPECT_EQ(item->gifUrl, item->vid);
    EXPECT_EQ(item->tinyGifUrl, item->vid);
    EXPECT_EQ(item->superTinyGifUrl, item->vid);
    EXPECT_FALSE(item->isVornPost());
    EXPECT_EQ(item->source(), VornObjectSource::noWebsite);
    EXPECT_FALSE(item->webUrl());
    EXPECT_FALSE(item->dims);
    EXPECT_FALSE(item->mp4Url);
    EXPECT_FALSE(item->background);
    // "<36-character upper-case UUID>.gif" inside the GIF folder.
    auto url = NSURL::URLWithString(item->vid);
    EXPECT_EQ(url->lastPathComponent().size(), 36u + 4u);
    EXPECT_TRUE(url->lastPathComponent().ends_with(".gif"));
    EXPECT_EQ(fs::path(url->path()).parent_path(), Paths::applicationSupport() / "gifdata");
    std::ifstream copied(url->path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), gifBytes("GIF89a"));
  }
}

TEST_F(VornObjectLocalTest, OnlyFilesThatDecodeAsAGifAreCopied) {
  const std::pair<std::string, bool> cases[] = {
      {gifBytes("GIF87a"), true},  {gifBytes("GIF89a"), true}, {gifBytes("GIF89b"), false},
      {gifBytes("gif89a"), false}, {"GIF89", false},           {"", false},
      // The signature alone, or in front of anything else, is no GIF.
      {"GIF89a", false}, {"GIF89a" + std::string(200, '\x01'), false},
  };
  int index = 0;
  std::size_t expectedFiles = 0;
  for (const auto& [bytes, accepted] : cases) {
    const fs::path path = writeFile("file" + std::to_string(index++) + ".gif", bytes);
    auto result = VornObject::initWithCopyFromLocalPath(NSURL::fileURLWithPath(path.string()));
    EXPECT_EQ(result.has_value(), accepted) << bytes;
    if (accepted) ++expectedFiles;
    if (!accepted && !result) {
      auto error = std::get_if<VornObjectSerializationError>(&result.error());
      ASSERT_TRUE(error);
      // The plain file-system path, not a "file://" address.
      EXPECT_EQ(*error, VornObjectSerializationError::invalidUrl(path.string()));
    }
    EXPECT_EQ(gifFolderEntries().size(), expectedFiles) << bytes;
  }
}

TEST_F(VornObjectLocalTest, AFileForUploadIsMeasuredBeforeItIsReadAndMustDecode) {
  using Refusal = VornObject::LocalGifRefusal;
  const fs::path huge = writeFile("huge.gif", "GIF89a");
  fs::resize_file(huge, InputLimits::uploadBytes + 1);  // sparse: as large as that, never written
  const fs::path full = writeFile("full.gif", gifBytes("GIF89a"));
  fs::resize_file(full, InputLimits::uploadBytes);
  fs::create_directories(home() / "folder.gif");
  struct Case {
    fs::path path;
    std::optional<Refusal> refusal;
  };
  const Case cases[] = {
      {writeFile("ok.gif", gifBytes("GIF89a")), std::nullopt},
      {full, std::nullopt},
      {huge, Refusal::tooLarge},
      {home() / "folder.gif", Refusal::folder},
      {home() / "missing.gif", Refusal::missing},
      {home() / "ok.gif" / "below", Refusal::missing},
      {writeFile("picture.png", "\x89PNG\r\n\x1a\n"), Refusal::notGif},
      {writeFile("headed.gif", "GIF89a" + std::string(4096, '\0')), Refusal::notGif},
  };
  for (const auto& c : cases) {
    auto read = VornObject::readLocalGif(c.path.string());
    if (c.refusal) {
      ASSERT_FALSE(read) << c.path;
      EXPECT_EQ(read.error(), *c.refusal) << c.path;
    } else {
      ASSERT_TRUE(read) << c.path;
      EXPECT_EQ((*read)->length(), fs::file_size(c.path));
    }
  }
  // Measured before it is read: a file as large as a gigabyte (sparse, so nothing of it is on
  // the disk) is refused without a byte of it read or held in memory, which reading it first
  // and measuring what was read would do.
  const fs::path vast = writeFile("vast.gif", "GIF89a");
  fs::resize_file(vast, std::uint64_t{1} << 30);
  EXPECT_TRUE(resident::restartPeak()) << "the kernel does not let the peak start over";
  const std::uint64_t readBefore = bytesRead(), peakBefore = resident::peakBytes();
  auto refused = VornObject::readLocalGif(vast.string());
  const std::uint64_t read = bytesRead() - readBefore, grown = resident::peakGrowthSince(peakBefore);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), Refusal::tooLarge);
  EXPECT_LT(read, std::uint64_t{64} << 10) << "bytes read while measuring the file";
  EXPECT_LT(grown, std::uint64_t{64} << 20) << "bytes the process's peak memory grew by";

  // Bytes offered as a GIF pass the same test.
  EXPECT_EQ(VornObject::checkLocalGif(NSData::fromString(gifBytes("GIF87a"))), std::nullopt);
  EXPECT_EQ(VornObject::checkLocalGif(NSData::fromString("GIF89a")), Refusal::notGif);
  EXPECT_EQ(VornObject::checkLocalGif(nullptr), Refusal::notGif);
}

TEST_F(VornObjectLocalTest, UnreadableSourcesAreRefusedWithTheirPath) {
  const std::string missing = (home() / "missing.gif").string();
  auto result = VornObject::initWithCopyFromLocalPath(NSURL::fileURLWithPath(missing));
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(std::get<VornObjectSerializationError>(result.error()), VornObjectSerializationError::invalidUrl(missing));
  auto folder = VornObject::initWithCopyFromLocalPath(NSURL::fileURLWithPath(home().string(), true));
  EXPECT_FALSE(folder.has_value());
  auto web = VornObject::initWithCopyFromLocalPath(NSURL::URLWithString("https://example.com/a.gif"));
  EXPECT_FALSE(web.has_value());
  EXPECT_TRUE(gifFolderEntries().empty());
}

TEST_F(VornObjectLocalTest, BytesAreStoredUntestedAsANewGifFile) {
  auto fromGif = VornObject::initWithLocalGifImageData(NSData::fromString(gifBytes("GIF89a")));
  auto fromText = VornObject::initWithLocalGifImageData(NSData::fromString("not a gif"));
  ASSERT_TRUE(fromGif.has_value());
  ASSERT_TRUE(fromText.has_value());
  EXPECT_FALSE((*fromGif)->isEqual(*fromText));
  EXPECT_EQ(gifFolderEntries().size(), 2u);
  auto path = NSURL::URLWithString((*fromText)->vid)->path();
  std::ifstream stored(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), "not a gif");
  EXPECT_TRUE(path.ends_with(".gif"));
}

TEST_F(VornObjectLocalTest, AFileFromBytesAndAFileCopyLandAsDistinctFiles) {
  auto source = NSURL::fileURLWithPath(writeFile("a.gif", gifBytes("GIF87a")).string());
  auto copied = VornObject::initWithCopyFromLocalPath(source);
  auto written = VornObject::initWithLocalGifImageData(NSData::fromString(gifBytes("GIF87a")));
  ASSERT_TRUE(copied && written);
  EXPECT_NE((*copied)->vid, (*written)->vid);
  EXPECT_EQ(gifFolderEntries().size(), 2u);
}

TEST_F(VornObjectLocalTest, AnUnwritableGifFolderFailsWithTheDestinationAddress) {
  // A file where the folder should be: nothing can be written inside it.
  fs::create_directories(Paths::applicationSupport());
  std::ofstream(Paths::applicationSupport() / "gifdata") << "in the way";
  auto written = VornObject::initWithLocalGifImageData(NSData::fromString("GIF89a"));
  ASSERT_FALSE(written.has_value());
  auto error = std::get<VornObjectSerializationError>(written.error());
  EXPECT_EQ(error.kind, VornObjectSerializationError::Case::invalidUrl);
  EXPECT_TRUE(error.payload.starts_with("file://")) << error.payload;

  auto source = NSURL::fileURLWithPath(writeFile("b.gif", gifBytes("GIF89a")).string());
  auto copied = VornObject::initWithCopyFromLocalPath(source);
  ASSERT_FALSE(copied.has_value());
  // The file manager's own error, printed and passed on.
  ASSERT_TRUE(std::holds_alternative<std::shared_ptr<NSError>>(copied.error()));
  EXPECT_FALSE(printedLines().empty());
}

TEST_F(VornObjectLocalTest, TheCommonInitialiserTakesSizePosterAndBoost) {
  auto poster = PlovexUser::init("42", PlovexUserType::glimdeck, "amy");
  auto item = VornObject::initWithLocalFileUrl(NSURL::fileURLWithPath("/tmp/x.gif", false), NSSize{10, 20}, poster, true);
  EXPECT_EQ(item->vid, "file:///tmp/x.gif");
  EXPECT_EQ(item->dims, (NSSize{10, 20}));
  EXPECT_TRUE(item->hasValidSize());
  EXPECT_EQ(item->poster, poster);
  EXPECT_TRUE(item->uploadedByQuorbUser());
  EXPECT_TRUE(item->boostedFollowerContent);
  EXPECT_FALSE(item->previewUrl);
  EXPECT_FALSE(item->instagramUrl);
}

TEST_F(VornObjectLocalTest, TheSaveDirectoryIsMadeOnceAndThenReused) {
  auto item = VornObject::initWithLocalFileUrl(NSURL::fileURLWithPath("/tmp/x.gif", false), std::nullopt, nullptr, false);
  auto folder = item->saveDirectoryUrl();
  ASSERT_TRUE(folder);
  EXPECT_TRUE(fs::is_directory(folder->path()));
  EXPECT_EQ(item->saveDirectoryUrl()->absoluteString(), folder->absoluteString());
}

TEST_F(VornObjectLocalTest, TheGifFolderLivesInTheApplicationSupportFolder) {
  auto folder = gifDataDirectoryURL();
  EXPECT_EQ(fs::path(folder->path()), Paths::applicationSupport() / "gifdata");
  EXPECT_TRUE(fs::is_directory(folder->path()));
  EXPECT_TRUE(folder->hasDirectoryPath());
}

}  // namespace
