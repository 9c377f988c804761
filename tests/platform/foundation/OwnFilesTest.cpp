// The bounds of the files the application reads from its own folders: a file is read whole up
// to its bound and refused one byte past it, whether it was that large when opened or grew
// while it was read. A pipe stands for a file that grows: what fstat said of it is all the
// reader knows beforehand, and the writer goes on meanwhile.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/foundation/OwnFiles.h"
#include "tests/support/TestEnvironment.h"

namespace {

class OwnFilesTest : public GlimdeckTest {};

// The bytes a file of `size` bytes holds in these tests: no two neighbouring runs alike.
std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  return bytes;
}

TEST_F(OwnFilesTest, AFileIsReadUpToItsBoundAndRefusedPastItEvenWhenItGrowsWhileRead) {
  constexpr std::uint64_t bound = 64 << 10;
  struct Row {
    const char* what;
    std::uint64_t sizeWhenOpened;  // what fstat said
    std::size_t written;           // what the file holds by the time it is read to its end
    bool read;
  };
  const Row rows[] = {
      {"empty", 0, 0, true},
      {"grows from nothing to its bound", 0, bound, true},
      {"grows from nothing to one byte past its bound", 0, bound + 1, false},
      {"grows from nothing to far past its bound", 0, 16 * bound, false},
      {"grows from a few bytes to its bound", 100, bound, true},
      {"grows from a few bytes past its bound", 100, bound + 1, false},
      {"as large as its bound", bound, bound, true},
      {"grows from its bound by a byte", bound, bound + 1, false},
      {"shrinks", 500, 100, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string bytes = pattern(row.written);
    // Written in pieces that never line up with the reader's, from a thread of its own: the
    // pipe holds far less than the larger rows write.
    std::thread writer([&, in = ends[1]] {
      for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t piece = std::min<std::size_t>(3001, bytes.size() - at);
        const ssize_t put = ::write(in, bytes.data() + at, piece);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        at += static_cast<std::size_t>(put);
      }
      ::close(in);
    });
    auto got = OwnFiles::readOpenedFile(ends[0], row.sizeWhenOpened, bound);
    // What the reader left in the pipe, read away so the writer ends.
    std::size_t left = 0;
    char rest[4096];
    for (ssize_t n; (n = ::read(ends[0], rest, sizeof rest)) != 0;) {
      if (n > 0) left += static_cast<std::size_t>(n);
      else if (errno != EINTR) break;
    }
    writer.join();
    ::close(ends[0]);

    if (row.read) {
      ASSERT_TRUE(got) << std::strerror(got.error());
      EXPECT_EQ((*got)->string(), bytes);
    } else {
      ASSERT_FALSE(got) << (*got)->length() << " bytes read";
      EXPECT_EQ(got.error(), EFBIG);
      // It stopped once it was past, not at the end: memory never held the whole of it.
      EXPECT_LE(row.written - left, bound + 4096) << "bytes taken from the pipe";
    }
  }
}

// A plain file is read when it keeps to its bound and refused unread, as something that is not
// a file of its kind, one byte past it; a missing file is only missing.
TEST_F(OwnFilesTest, APlainFileIsReadAtItsBoundAndRefusedOneBytePast) {
  constexpr OwnFiles::Bounds bounds{4096};
  struct Row {
    const char* what;
    std::optional<std::size_t> size;  // none: no file
    int error;                        // 0: read
    bool notPlainFile;
  };
  const Row rows[] = {
      {"at its bound", 4096, 0, false},
      {"one byte past", 4097, EFBIG, true},
      {"missing", std::nullopt, ENOENT, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto path = home() / row.what;
    if (row.size) std::ofstream(path, std::ios::binary) << pattern(*row.size);
    auto got = OwnFiles::readPlainFile(path, bounds);
    if (row.error == 0) {
      ASSERT_TRUE(got);
      EXPECT_EQ((*got)->string(), pattern(*row.size));
    } else {
      ASSERT_FALSE(got);
      EXPECT_EQ(got.error().error, row.error);
      EXPECT_EQ(got.error().notPlainFile, row.notPlainFile);
    }
  }
}

}  // namespace
