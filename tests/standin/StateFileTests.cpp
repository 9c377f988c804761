#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "platform/foundation/NSString.h"
#include "standin/GifMaker.h"
#include "standin/StandinServer.h"
#include "standin/StandinStateFile.h"
#include "tests/standin/ServiceCalls.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;
using namespace ServiceCalls;

namespace {

// A run of the stand-in whose state a file keeps, as the program runs with --state-file.
struct KeptRun {
  std::shared_ptr<StandinServer> server;
  std::shared_ptr<StandinStateFile> file;
  int port() const { return server->port(); }
  StandinState& state() const { return server->state(); }
  void stop() {
    server->stop();
    file->close();
  }
};

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Everything the state holds, secrets and GIF bytes included, one fact a line.
std::string everythingIn(const StandinState& state) {
  auto contents = state.contents();
  std::ostringstream out;
  out << std::setprecision(17);
  for (const auto& user : contents.accounts.users) {
    out << "user " << user.userid << " " << user.username << " " << user.password << " " << user.email << " "
        << user.needsTermsAcceptance << "\n";
  }
  for (const auto& token : contents.accounts.tokens) {
    out << "token " << token.token << " " << token.userid << " " << token.expires.value_or(-1) << "\n";
  }
  out << "next user " << contents.accounts.nextUserId << "\n";
  for (const auto& pack : contents.collections) {
    out << "pack " << pack.id << " " << pack.name << " " << pack.owner.value_or(-1) << " " << pack.packToken.value_or("-")
        << " " << pack.isPublic << " items";
    for (const auto& item : pack.items) out << " " << item;
    out << " followers";
    for (auto follower : pack.subscribers) out << " " << follower;
    out << "\n";
  }
  for (const auto& [listName, lists] : {std::pair{"liked", contents.liked}, std::pair{"saved", contents.saved}}) {
    for (const auto& [userid, items] : lists) {
      out << listName << " " << userid;
      for (const auto& item : items) out << " " << item;
      out << "\n";
    }
  }
  out << "next pack " << contents.nextCollectionId << "\n";
  for (const auto& kept : contents.uploads) {
    auto upload = state.upload(kept.id);
    out << "upload " << upload->id << " " << upload->uploader.value_or(-1) << " " << upload->sticker << " "
        << upload->stickerSource << " " << upload->sourceURL.value_or("-") << " " << upload->width << "x" << upload->height
        << " " << upload->bytes.size() << " bytes " << std::hash<std::string>{}(upload->bytes) << " tags";
    for (const auto& tag : upload->tags) out << " " << tag;
    out << "\n";
  }
  out << "next upload " << contents.nextUploadId << "\n";
  return out.str();
}

class StandinStateFileTest : public GlimdeckTest {
 protected:
  fs::path statePath() const { return home() / ".local/share/glimdeck-standin/state.json"; }

  KeptRun startRun(StandinStateFile::Start start = StandinStateFile::Start::kept) {
    KeptRun run{StandinServer::make(), nullptr};
    auto opened = StandinStateFile::open(statePath(), run.server->sharedState(), start);
    EXPECT_TRUE(opened.has_value()) << opened.error();
    if (opened) run.file = *opened;
    EXPECT_TRUE(run.server->start(0).has_value());
    return run;
  }

  // A run whose state holds every kind of thing: two accounts signed up, a pack with a
  // catalogue item and an uploaded GIF, a pack followed, liked and saved items, an anonymous
  // pack, a token that expires and a name that is not UTF-8.
  void fillThroughService(KeptRun& run) {
    const int port = run.port();
    const auto& items = run.server->catalogue().items();
    const std::string amy = signUp(port, "amy", "secret"), bob = signUp(port, "bob", "hidden");
    const auto amyId = run.state().accounts().userNamed("amy")->userid;
    const auto pack = makePack(port, amy, "Cats");
    EXPECT_EQ(httpGet(legacyWeb(port, "/quorb.makevornpost?token=" + amy + "&collectionid=collection-" +
                                          std::to_string(pack) + "&stream=vorns&postid=" + items[2].id))
                  .status,
              200);
    uploadInto(port, amy, pack, GifMaker::animated(GifMaker::Look{}));
    EXPECT_EQ(httpGet(legacyWeb(port, "/quorb.like?token=" + amy + "&pid=" + items[0].id + "&remove=false")).status, 200);
    EXPECT_EQ(httpGet(legacyWeb(port, "/quorb.makevornpost?token=" + amy + "&collectionid=quorbuser-" +
                                          std::to_string(amyId) + "&stream=vorns&postid=" + items[1].id))
                  .status,
              200);
    EXPECT_EQ(httpGet(legacyWeb(port, "/quorb.subscribe?token=" + bob + "&collectionid=" + std::to_string(pack))).status, 200);
    EXPECT_EQ(httpGet(api(port, "/v1/createpack?title=Dogs")).status, 200);
    auto odd = run.state().accounts().seedUser("caf\xe9", "pass\xff");
    run.state().accounts().seedToken("tok-odd", odd.userid, 1'900'000'000.5);
  }
};

TEST_F(StandinStateFileTest, ANewRunMeetsEverythingTheLastOneWasToldThroughTheService) {
  auto first = startRun();
  fillThroughService(first);
  const std::string amy = first.state().accounts().tokensOf(first.state().accounts().userNamed("amy")->userid).front();
  const auto pack = first.state().collections().front().id;
  const auto uploaded = first.state().contents().uploads.front().id;
  const std::string gif = first.state().upload(uploaded)->bytes;
  const std::string before = everythingIn(first.state());
  first.stop();

  auto second = startRun();
  EXPECT_EQ(everythingIn(second.state()), before);
  const int port = second.port();
  EXPECT_EQ(accountOf(port, amy), "amy");
  EXPECT_EQ(packItems(port, pack), (std::vector<std::string>{uploaded, second.server->catalogue().items()[2].id}));
  auto served = httpGet(api(port, "/uploads/" + uploaded + ".gif"));
  EXPECT_EQ(served.status, 200);
  EXPECT_TRUE(served.body == gif) << "the uploaded GIF is not served as it was uploaded";
  EXPECT_FALSE(signUp(port, "carl", "x").empty());
  auto login = objectOf(httpGet(legacyWeb(port, "/quorb.login?username=bob&password=hidden")));
  EXPECT_NE(login->objectForKey("auth"), nullptr) << "bob's password was not kept";
  // New things take ids after the kept ones.
  const auto newPack = makePack(port, amy, "More");
  EXPECT_GT(newPack, pack + 1);
  EXPECT_GT(std::stoll(uploadInto(port, amy, newPack, gif)), std::stoll(uploaded));
  second.stop();

  // Kept for its owner alone: it holds passwords and tokens.
  EXPECT_EQ(fs::status(statePath()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(statePath().parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_TRUE(printedLines().empty()) << printedLines().front();
}

TEST_F(StandinStateFileTest, EachChangeIsInTheFileBeforeTheRunEnds) {
  auto run = startRun();
  const auto token = signUp(run.port(), "amy", "secret");
  ASSERT_TRUE(run.file->flush(20.0));
  // Read by another stand-in while the first still runs, as after a crash of the first.
  fs::copy_file(statePath(), home() / "copy.json");
  auto reader = StandinServer::make();
  auto copy = StandinStateFile::open(home() / "copy.json", reader->sharedState());
  ASSERT_TRUE(copy.has_value()) << copy.error();
  EXPECT_EQ(reader->state().accounts().userForToken(token)->username, "amy");
  (*copy)->close();
  run.stop();
}

TEST_F(StandinStateFileTest, AnUnreadableFileIsSetAsideWithOneLineAndTheStateStartsEmpty) {
  // A whole file of a run, to damage.
  auto good = startRun();
  fillThroughService(good);
  good.stop();
  const std::string whole = PlantedFiles::contents(statePath());
  auto replaced = [&](const std::string& from, const std::string& to) {
    auto text = whole;
    auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  struct Case {
    std::string name, text, why;
  };
  const std::vector<Case> cases{
      {"empty", "", "not JSON"},
      {"cut short", whole.substr(0, whole.size() / 2), "not JSON"},
      {"not JSON", "GIF89a", "not JSON"},
      {"a list", "[]", "the file is not an object"},
      {"another format", replaced("\"format\" : 1", "\"format\" : 7"), "format 1"},
      {"no users", replaced("\"users\"", "\"people\""), "\"users\" is not a list"},
      {"a name that is a number", replaced("\"amy\"", "12"), "\"username\" is not a text"},
      {"an upload id that is a path", replaced("\"id\" : \"9000000000\"", "\"id\" : \"../../x\""), "not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(statePath(), c.text);
    const auto linesBefore = printedLines().size();
    auto run = startRun();
    EXPECT_TRUE(run.state().accounts().users().empty());
    EXPECT_TRUE(run.state().collections().empty());
    EXPECT_TRUE(run.state().contents().uploads.empty());
    const auto lines = printedLines();
    ASSERT_EQ(lines.size(), linesBefore + 1);
    const auto& line = lines.back();
    EXPECT_NE(line.find("Set aside \"" + statePath().string() + "\""), std::string::npos) << line;
    EXPECT_NE(line.find(c.why), std::string::npos) << line;
    EXPECT_NE(line.find("starts empty"), std::string::npos) << line;
    // The damaged file is kept as it was, under the name the line gives.
    auto asides = PlantedFiles::setAsideCopies(statePath());
    ASSERT_EQ(asides.size(), 1u);
    EXPECT_NE(line.find(asides.front().filename().string()), std::string::npos) << line;
    EXPECT_TRUE(PlantedFiles::contents(asides.front()) == c.text);
    fs::remove(asides.front());
    // And the service goes on, saving anew.
    const auto token = signUp(run.port(), "dora", "pw");
    run.stop();
    auto next = startRun();
    EXPECT_EQ(accountOf(next.port(), token), "dora");
    next.stop();
  }
}

TEST_F(StandinStateFileTest, AnUploadWhoseGifIsGoneIsLeftOutWithOneLine) {
  auto first = startRun();
  const auto token = signUp(first.port(), "amy", "secret");
  const auto pack = makePack(first.port(), token, "Cats");
  const auto gif = GifMaker::animated(GifMaker::Look{});
  const auto lost = uploadInto(first.port(), token, pack, gif);
  const auto kept = uploadInto(first.port(), token, pack, gif);
  first.stop();
  ASSERT_TRUE(fs::remove(first.file->uploadsFolder() / (lost + ".gif")));

  auto second = startRun();
  EXPECT_EQ(accountOf(second.port(), token), "amy");
  EXPECT_EQ(packItems(second.port(), pack), std::vector<std::string>{kept});
  EXPECT_EQ(httpGet(api(second.port(), "/uploads/" + lost + ".gif")).status, 404);
  ASSERT_EQ(printedLines().size(), 1u);
  EXPECT_NE(printedLines()[0].find("The GIFs of 1 uploads are missing"), std::string::npos) << printedLines()[0];
  // A new upload never takes the lost one's id, nor writes over a GIF left in the folder.
  EXPECT_GT(std::stoll(uploadInto(second.port(), token, pack, gif)), std::stoll(kept));
  second.stop();
}

TEST_F(StandinStateFileTest, AFreshStartDiscardsWhatTheFileKept) {
  auto first = startRun();
  const auto token = signUp(first.port(), "amy", "secret");
  uploadInto(first.port(), token, makePack(first.port(), token, "Cats"), GifMaker::animated(GifMaker::Look{}));
  first.stop();
  auto kept = startRun();
  EXPECT_EQ(accountOf(kept.port(), token), "amy");
  kept.stop();
  ASSERT_FALSE(fs::is_empty(kept.file->uploadsFolder()));

  auto fresh = startRun(StandinStateFile::Start::fresh);
  EXPECT_EQ(accountOf(fresh.port(), token), "invalid token");
  fresh.stop();
  EXPECT_FALSE(fs::exists(fresh.file->uploadsFolder()));
  // Even with nothing done in it, the fresh run left an empty state for the next.
  auto next = startRun();
  EXPECT_EQ(accountOf(next.port(), token), "invalid token");
  EXPECT_TRUE(next.state().collections().empty());
  next.stop();
}

TEST_F(StandinStateFileTest, OneFileServesOneStandinAtATime) {
  auto first = startRun();
  auto other = StandinServer::make();
  auto refused = StandinStateFile::open(statePath(), other->sharedState());
  ASSERT_FALSE(refused.has_value());
  EXPECT_NE(refused.error().find("another stand-in keeps its state in \"" + statePath().string() + "\""), std::string::npos)
      << refused.error();
  first.stop();
  EXPECT_TRUE(StandinStateFile::open(statePath(), other->sharedState()).has_value());
}

TEST_F(StandinStateFileTest, ASaveThatFailsSaysSoOnceAndIsTriedAgainWhileRequestsGoOn) {
  auto run = startRun();
  signUp(run.port(), "amy", "secret");
  ASSERT_TRUE(run.file->flush(20.0));
  // A folder under the file's name: the new file cannot be renamed over it.
  fs::remove(statePath());
  fs::create_directories(statePath() / "in the way");
  std::vector<std::string> tokens;
  for (const char* name : {"bob", "carl", "dora"}) tokens.push_back(signUp(run.port(), name, "pw"));
  EXPECT_FALSE(run.file->flush(0.5));
  ASSERT_TRUE(runUntil([&] { return printedLines().size() >= 1; }, 20.0));
  EXPECT_NE(printedLines()[0].find("could not save its state in \"" + statePath().string() + "\""), std::string::npos)
      << printedLines()[0];
  fs::remove_all(statePath());
  ASSERT_TRUE(run.file->flush(20.0));
  EXPECT_EQ(printedLines().size(), 2u);
  run.stop();
  auto next = startRun();
  for (const auto& token : tokens) EXPECT_NE(accountOf(next.port(), token), "invalid token");
  next.stop();
}

}  // namespace
