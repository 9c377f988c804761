// What the upload screen says about GIFs it did not take, and the names it gives them: pure
// rules, as tables.

#include <gtest/gtest.h>

#include <limits>

#include "collections/UploadIntake.h"

namespace {

using Reason = VornObject::LocalGifRefusal;
using Refusal = UploadIntake::Refusal;
constexpr std::size_t all = std::numeric_limits<std::size_t>::max();

TEST(UploadIntakeMessage, NamesEveryRefusedSourceByReasonAndCountsOnlyPastTheNamesAsked) {
  // One refusal: its sentence alone.
  const std::pair<Reason, const char*> sentences[] = {
      {Reason::missing, "\u201cx.gif\u201d could not be found."},
      {Reason::folder, "\u201cx.gif\u201d is a folder, not a GIF file."},
      {Reason::unreadable, "\u201cx.gif\u201d could not be read."},
      {Reason::tooLarge, "\u201cx.gif\u201d is larger than 16 MB, the most a GIF upload may be."},
      {Reason::notGif, "\u201cx.gif\u201d is not a GIF."},
      {Reason::notSaved, "\u201cx.gif\u201d could not be copied for upload."},
  };
  for (const auto& [reason, sentence] : sentences) {
    EXPECT_EQ(UploadIntake::refusalSentence(reason, "x.gif"), sentence);
    EXPECT_EQ(UploadIntake::message({{reason, "x.gif"}}), sentence);
  }
  struct Row {
    const char* name;
    std::vector<Refusal> refusals;
    std::size_t namesPerReason;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"nothing refused", {}, all, ""},
      {"bytes without a file", {{Reason::notGif, ""}}, all, "The dropped image is not a GIF."},
      // Three or more are all named, each reason once, in the order the reasons first came.
      {"three refused, two reasons",
       {{Reason::missing, "late.gif"}, {Reason::notGif, "a.png"}, {Reason::notGif, "b.txt"}},
       all,
       "\u201clate.gif\u201d could not be found. \u201ca.png\u201d and \u201cb.txt\u201d are not GIFs."},
      {"reasons interleaved",
       {{Reason::notGif, "a.png"}, {Reason::folder, "Old"}, {Reason::notGif, "b.png"}, {Reason::folder, "New"},
        {Reason::notGif, "c.png"}},
       all,
       "\u201ca.png\u201d, \u201cb.png\u201d and \u201cc.png\u201d are not GIFs. \u201cOld\u201d and \u201cNew\u201d "
       "are folders, not GIF files."},
      {"several too large",
       {{Reason::tooLarge, "a.gif"}, {Reason::tooLarge, "b.gif"}},
       all,
       "\u201ca.gif\u201d and \u201cb.gif\u201d are larger than 16 MB, the most a GIF upload may be."},
      {"the image among files",
       {{Reason::notGif, "a.png"}, {Reason::notGif, ""}},
       all,
       "\u201ca.png\u201d and the dropped image are not GIFs."},
      // Past the names asked for, the rest of a reason is counted.
      {"two names of five",
       {{Reason::notGif, "a"}, {Reason::notGif, "b"}, {Reason::notGif, "c"}, {Reason::notGif, "d"}, {Reason::notGif, "e"}},
       2,
       "\u201ca\u201d, \u201cb\u201d and 3 more are not GIFs."},
      {"one name of two, one of one",
       {{Reason::notGif, "a"}, {Reason::missing, "x"}, {Reason::notGif, "b"}},
       1,
       "\u201ca\u201d and 1 more are not GIFs. \u201cx\u201d could not be found."},
      {"as many names as there are",
       {{Reason::notGif, "a"}, {Reason::notGif, "b"}},
       2,
       "\u201ca\u201d and \u201cb\u201d are not GIFs."},
      {"no names",
       {{Reason::notGif, "a"}, {Reason::notGif, "b"}, {Reason::missing, "x"}},
       0,
       "2 files are not GIFs. 1 file could not be found."},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(UploadIntake::message(row.refusals, row.namesPerReason), row.message) << row.name;
  }
}

TEST(UploadIntakeMessage, AFileIsNamedByItsLastComponentShortenedBetweenCharacters) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"/home/amy/cat.gif", "cat.gif"},
      {"/home/amy/Pictures/", "Pictures"},
      {"cat.gif", "cat.gif"},
      {"/", "/"},
      // At most 40 characters: the 40th gives way to an ellipsis, whole characters kept.
      {"/x/" + std::string(40, 'b'), std::string(40, 'b')},
      {"/x/" + std::string(41, 'b'), std::string(39, 'b') + "\u2026"},
      {"/x/" + std::string(38, 'c') + "\u00e9\u00e9\u00e9.gif", std::string(38, 'c') + "\u00e9\u2026"},
  };
  for (const auto& [path, shown] : rows) EXPECT_EQ(UploadIntake::shownName(path), shown) << path;
}

}  // namespace
