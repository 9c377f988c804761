#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <optional>
#include <sstream>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "standin/GifMaker.h"
#include "standin/StandinServer.h"
#include "standin/StandinStateFile.h"
#include "tests/support/HttpGet.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/Program.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

// ---- A client's calls, by HTTP on the stand-in's port as the application makes them

std::string legacyWeb(int port, const std::string& pathAndQuery) {
  return "http://legacy-web.localhost:" + std::to_string(port) + pathAndQuery;
}
std::string api(int port, const std::string& pathAndQuery) {
  return "http://127.0.0.1:" + std::to_string(port) + pathAndQuery;
}

// The value under the keys of the reply's JSON, each in the object under the one before.
id valueAt(const HttpReply& reply, std::initializer_list<std::string_view> keys) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(reply.body);
  id value = parsed ? *parsed : nullptr;
  for (auto key : keys) {
    auto object = asA<NSDictionary>(value);
    value = object ? object->objectForKey(key) : nullptr;
  }
  return value;
}
std::string textAt(const HttpReply& reply, std::initializer_list<std::string_view> keys) {
  auto text = asA<NSString>(valueAt(reply, keys));
  return text ? text->string() : "";
}
std::int64_t numberAt(const HttpReply& reply, std::initializer_list<std::string_view> keys) {
  auto number = asA<NSNumber>(valueAt(reply, keys));
  EXPECT_TRUE(number) << reply.body;
  return number ? number->integerValue() : 0;
}

// Signs up, accepting the terms; answers the account's token.
std::string signUp(int port, const std::string& name, const std::string& password) {
  auto reply = httpGet(legacyWeb(port, "/quorb.signup?tos=true&email=" + name + "@example.com&username=" + name +
                                           "&password=" + password));
  auto token = textAt(reply, {"auth", "token"});
  EXPECT_NE(token, "") << reply.body;
  return token;
}
// What the service answers of a token that it does not know.
constexpr std::string_view kLogInAgain = "log in again";
// The token's account name as the service answers it, or kLogInAgain when the service asks
// for a log-in, or the reply.
std::string accountOf(int port, const std::string& token) {
  auto reply = httpGet(legacyWeb(port, "/quorb.user?token=" + token));
  auto name = textAt(reply, {"user", "username"});
  if (!name.empty()) return name;
  return textAt(reply, {"error", "login"}) == "requred" ? std::string(kLogInAgain) : reply.body;
}
std::int64_t makePack(int port, const std::string& token, const std::string& name) {
  auto reply = httpGet(legacyWeb(port, "/quorb.createcollection?token=" + token + "&name=" + name));
  return numberAt(reply, {"collection", "id"});
}
// Answers the new item's id.
std::string uploadInto(int port, const std::string& token, std::int64_t pack, const std::string& gif) {
  HttpCall call{.method = "POST", .url = legacyWeb(port, "/quorb.uploadgif")};
  call.parts = {{"token", token, "", ""},
                {"collectionid", "collection-" + std::to_string(pack), "", ""},
                {"stream", "vorns", "", ""},
                {"tags", "kept wave", "", ""},
                {"file", gif, "wave.gif", "image/gif"}};
  return std::to_string(numberAt(perform(call), {"postid"}));
}
// The ids of a pack's items, newest first, as its page lists them.
std::vector<std::string> packItems(int port, std::int64_t pack) {
  std::vector<std::string> ids;
  auto results = asA<NSArray>(valueAt(httpGet(api(port, "/v1/collection?id=" + std::to_string(pack))), {"results"}));
  for (const auto& result : results ? results->objects() : std::vector<id>{}) {
    auto item = asA<NSDictionary>(result);
    if (auto itemId = item ? item->objectForKeyAs<NSString>("id") : nullptr) ids.push_back(itemId->string());
  }
  return ids;
}

template <typename Values>
std::string joined(const Values& values) {
  std::ostringstream out;
  for (const auto& value : values) out << value << ",";
  return out.str();
}

// Everything the state holds, secrets and GIF bytes included, one thing a line.
std::string everythingIn(const StandinState& state) {
  const auto contents = state.contents();
  std::ostringstream out;
  out << std::setprecision(17);
  auto line = [&](const auto& first, const auto&... rest) {
    out << first;
    ((out << ' ' << rest), ...);
    out << '\n';
  };
  for (const auto& user : contents.accounts.users) {
    line("user", user.userid, user.username, user.password, user.email, user.needsTermsAcceptance);
  }
  for (const auto& token : contents.accounts.tokens) {
    line("token", token.token, token.userid, token.expires.value_or(-1));
  }
  for (const auto& pack : contents.collections) {
    line("pack", pack.id, pack.name, pack.owner.value_or(-1), pack.packToken.value_or("-"), pack.isPublic,
         joined(pack.items), joined(pack.subscribers));
  }
  for (const auto& [userid, items] : contents.liked) line("liked", userid, joined(items));
  for (const auto& [userid, items] : contents.saved) line("saved", userid, joined(items));
  for (const auto& kept : contents.uploads) {
    const auto upload = state.upload(kept.id);
    line("upload", upload->id, upload->uploader.value_or(-1), upload->sticker, upload->stickerSource,
         upload->sourceURL.value_or("-"), upload->width, upload->height, joined(upload->tags), upload->bytes.size(),
         std::hash<std::string>{}(upload->bytes));
  }
  line("next ids", contents.accounts.nextUserId, contents.nextCollectionId, contents.nextUploadId);
  return out.str();
}

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// The stand-in keeping its state in the user's data folder: in this process, as the program
// runs with --state-file, or as a program of its own started as `make run` starts it.
class StandinStateFileTest : public GlimdeckTest {
 protected:
  struct Run {
    std::shared_ptr<StandinServer> server;
    std::shared_ptr<StandinStateFile> file;
    int port() const { return server->port(); }
    StandinState& state() const { return server->state(); }
    void stop() {
      server->stop();
      file->close();
    }
  };
  struct Process {
    std::unique_ptr<Program> program;
    int port = 0;
    std::string output() const { return program ? program->output() : ""; }
    // As scripts/run.sh stops it when the application quits; answers how it ended.
    int stop(int signal = SIGTERM) {
      if (program) program->stop(30.0, signal);
      return program ? program->ending().value_or(-1) : -1;
    }
  };

  fs::path statePath() const { return home() / ".local/share/glimdeck-standin/state.json"; }
  fs::path uploadsFolder() const { return home() / ".local/share/glimdeck-standin/state-uploads"; }

  Run startRun() {
    Run run{StandinServer::make(), nullptr};
    auto opened = StandinStateFile::open(statePath(), run.server->sharedState());
    EXPECT_TRUE(opened.has_value()) << opened.error();
    if (opened) run.file = *opened;
    EXPECT_TRUE(run.server->start(0).has_value());
    return run;
  }

  // The largest file the program may write, in kilobytes, as a full disk bounds it: a write
  // past it fails ("File too large"), or with `killsMidWrite` the kernel ends the program in
  // the middle of that write (SIGXFSZ), as a crash would.
  struct FileSizeLimit {
    int kilobytes = 0;
    bool killsMidWrite = false;
  };

  // scripts/run-standin.sh as scripts/run.sh runs it, or with `bare` the program as tests and
  // benchmarks start it; on a free port, with XDG_DATA_HOME empty so that the default data
  // folder is the one used.
  Process startProgram(const std::string& fresh = "", bool bare = false, std::optional<FileSizeLimit> limit = {}) {
    const std::string build = GLIMDECK_STANDIN_BUILD_DIR;
    std::vector<std::string> argv{"bash", GLIMDECK_TESTS_DIR "/../scripts/run-standin.sh", build, "0"};
    if (bare) argv = {build + "/glimdeck-standin", "--port", "0"};
    if (limit) {
      // Set by a shell that then becomes the program; a signal ignored here stays ignored.
      const std::string bound = std::string(limit->killsMidWrite ? "" : "trap '' XFSZ; ") + "ulimit -c 0; ulimit -f " +
                                std::to_string(limit->kilobytes) + "; exec \"$0\" \"$@\"";
      argv.insert(argv.begin(), {"bash", "-c", bound});
    }
    Process process{Program::start(argv, {{"XDG_DATA_HOME", ""}, {"STANDIN_FRESH", fresh}},
                                   home() / ("standin-" + std::to_string(++started_) + ".out"))};
    EXPECT_TRUE(process.program) << "cannot start " << argv[0];
    const std::string listening = "listening on http://127.0.0.1:";
    EXPECT_TRUE(runUntil([&] { return process.output().contains(listening); }, 30.0)) << process.output();
    if (auto text = process.output(); text.contains(listening)) {
      process.port = std::stoi(text.substr(text.find(listening) + listening.size()));
    }
    return process;
  }

  // A run whose state holds every kind of thing: two accounts signed up, a pack with a
  // catalogue item and an uploaded GIF, a pack followed, liked and saved items, an anonymous
  // pack, a token that expires and a name that is not UTF-8.
  void fillThroughService(Run& run) {
    const int port = run.port();
    const auto& items = run.server->catalogue().items();
    const std::string amy = signUp(port, "amy", "secret"), bob = signUp(port, "bob", "hidden");
    const auto amyId = std::to_string(run.state().accounts().userNamed("amy")->userid);
    const auto pack = std::to_string(makePack(port, amy, "Cats"));
    const std::string post = "/quorb.makevornpost?stream=vorns&token=" + amy + "&collectionid=";
    for (const auto& call : {post + "collection-" + pack + "&postid=" + items[2].id,
                             post + "quorbuser-" + amyId + "&postid=" + items[1].id,
                             "/quorb.like?token=" + amy + "&pid=" + items[0].id + "&remove=false",
                             "/quorb.subscribe?token=" + bob + "&collectionid=" + pack}) {
      EXPECT_EQ(httpGet(legacyWeb(port, call)).status, 200) << call;
    }
    uploadInto(port, amy, std::stoll(pack), GifMaker::animated(GifMaker::Look{}));
    EXPECT_EQ(httpGet(api(port, "/v1/createpack?title=Dogs")).status, 200);
    auto odd = run.state().accounts().seedUser("caf\xe9", "pass\xff");
    run.state().accounts().seedToken("tok-odd", odd.userid, 1'900'000'000.5);
  }

 private:
  int started_ = 0;
};

TEST_F(StandinStateFileTest, ANewRunMeetsEverythingTheLastOneWasToldThroughTheService) {
  auto first = startRun();
  // One file serves one stand-in at a time: two would each undo the other's changes.
  auto refused = StandinStateFile::open(statePath(), StandinServer::make()->sharedState());
  ASSERT_FALSE(refused.has_value());
  EXPECT_TRUE(refused.error().contains("another stand-in keeps its state in \"" + statePath().string() + "\""))
      << refused.error();
  fillThroughService(first);
  auto& accounts = first.state().accounts();
  const std::string amy = accounts.tokensOf(accounts.userNamed("amy")->userid).front();
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
  EXPECT_NE(valueAt(httpGet(legacyWeb(port, "/quorb.login?username=bob&password=hidden")), {"auth"}), nullptr)
      << "bob's password was not kept";
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
    // Nothing held; new uploads go past the GIF the whole file's run left in the folder.
    EXPECT_EQ(everythingIn(run.state()), "next ids 700 5000 9000000001\n");
    const auto lines = printedLines();
    ASSERT_EQ(lines.size(), linesBefore + 1);
    // The damaged file is kept as it was, under the name the line gives.
    auto asides = PlantedFiles::setAsideCopies(statePath());
    ASSERT_EQ(asides.size(), 1u);
    for (const auto& part : {"Set aside \"" + statePath().string() + "\"", c.why, std::string("starts empty"),
                             asides.front().filename().string()}) {
      EXPECT_TRUE(lines.back().contains(part)) << lines.back();
    }
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
  ASSERT_TRUE(fs::remove(uploadsFolder() / (lost + ".gif")));

  auto second = startRun();
  EXPECT_EQ(accountOf(second.port(), token), "amy");
  EXPECT_EQ(packItems(second.port(), pack), std::vector<std::string>{kept});
  EXPECT_EQ(httpGet(api(second.port(), "/uploads/" + lost + ".gif")).status, 404);
  ASSERT_EQ(printedLines().size(), 1u);
  EXPECT_TRUE(printedLines()[0].contains("The GIFs of 1 uploads are missing")) << printedLines()[0];
  // A new upload never takes the lost one's id, nor writes over a GIF left in the folder.
  EXPECT_GT(std::stoll(uploadInto(second.port(), token, pack, gif)), std::stoll(kept));
  second.stop();
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
  EXPECT_TRUE(printedLines()[0].contains("could not save its state in \"" + statePath().string() + "\""))
      << printedLines()[0];
  fs::remove_all(statePath());
  ASSERT_TRUE(run.file->flush(20.0));
  EXPECT_EQ(printedLines().size(), 2u);
  run.stop();
  auto next = startRun();
  for (const auto& token : tokens) EXPECT_NE(accountOf(next.port(), token), kLogInAgain);
  next.stop();
}

TEST_F(StandinStateFileTest, AtCloseTheLastChangesAreSavedOrOneLineSaysTheyAreLost) {
  const struct {
    const char* name;
    bool wayCleared;
  } cases[] = {{"the way cleared before the close", true}, {"the way still blocked", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto linesBefore = printedLines().size();
    auto run = startRun();
    signUp(run.port(), "amy", "secret");
    ASSERT_TRUE(run.file->flush(20.0));
    // A folder under the file's name: every save fails until it goes.
    fs::remove(statePath());
    fs::create_directories(statePath() / "in the way");
    const auto bob = signUp(run.port(), "bob", "pw");
    ASSERT_TRUE(runUntil([&] { return printedLines().size() > linesBefore; }, 20.0));
    run.server->stop();
    // Nothing tries again before a new change or a few seconds have passed: only the close can
    // save bob now.
    if (c.wayCleared) fs::remove_all(statePath());
    EXPECT_EQ(run.file->close(), c.wayCleared);
    const auto lines = printedLines(linesBefore);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].contains("could not save its state in \"" + statePath().string() + "\"")) << lines[0];
    const std::string lost = "The stand-in could not save its last changes in \"" + statePath().string() + "\": ";
    if (c.wayCleared) {
      EXPECT_TRUE(lines[1].contains("saves its state in \"" + statePath().string() + "\" again")) << lines[1];
    } else {
      EXPECT_TRUE(lines[1].starts_with(lost) && lines[1].ends_with("; they are lost.")) << lines[1];
    }
    if (c.wayCleared) {
      auto next = startRun();
      EXPECT_EQ(accountOf(next.port(), bob), "bob");
      next.stop();
    }
    fs::remove_all(statePath());
  }
}

// The program itself, started as `make run` starts it.
using MakeRunStandinTest = StandinStateFileTest;

TEST_F(MakeRunStandinTest, TwoRunsInARowMeetTheSameService) {
  const auto gif = GifMaker::animated(GifMaker::Look{});
  // What an earlier run left damaged is set aside with one line, and the service starts empty.
  writeText(statePath(), "{\"format\": 1, \"users\": [");
  auto first = startProgram();
  EXPECT_TRUE(first.output().contains("Set aside \"" + statePath().string() +
                                      "\": it was a plain file, not a state the stand-in can read (not JSON"))
      << first.output();
  EXPECT_TRUE(first.output().contains("so the stand-in starts empty; it is now \"state.json.set-aside-"))
      << first.output();
  EXPECT_TRUE(first.output().contains("keeps its state in " + statePath().string())) << first.output();
  const auto token = signUp(first.port, "amy", "secret");
  const auto pack = makePack(first.port, token, "Cats");
  const auto uploaded = uploadInto(first.port, token, pack, gif);
  EXPECT_EQ(first.stop(), 0) << first.output();

  auto second = startProgram();
  EXPECT_FALSE(second.output().contains("Set aside")) << second.output();
  EXPECT_EQ(accountOf(second.port, token), "amy");
  EXPECT_EQ(packItems(second.port, pack), std::vector<std::string>{uploaded});
  EXPECT_TRUE(httpGet(api(second.port, "/uploads/" + uploaded + ".gif")).body == gif);
  // Each change is in the file as it happens: a stand-in killed outright has lost none of them.
  const std::string liked = "1234";
  const auto like = legacyWeb(second.port, "/quorb.like?remove=false&token=" + token + "&pid=" + liked);
  EXPECT_EQ(httpGet(like).status, 200);
  EXPECT_TRUE(runUntil([&] { return PlantedFiles::contents(statePath()).contains('"' + liked + '"'); }, 20.0));
  second.stop(SIGKILL);

  auto third = startProgram();
  EXPECT_EQ(accountOf(third.port, token), "amy");
  EXPECT_TRUE(httpGet(api(third.port, "/_standin/state")).body.contains("\"liked\":{\"700\":[\"" + liked + "\"]}"));
  EXPECT_EQ(third.stop(), 0);
  ASSERT_FALSE(fs::is_empty(uploadsFolder()));

  // Started empty on request, GIFs and all, and empty from then on even with nothing done in it.
  auto fresh = startProgram("1");
  EXPECT_EQ(accountOf(fresh.port, token), kLogInAgain);
  EXPECT_EQ(fresh.stop(), 0);
  EXPECT_FALSE(fs::exists(uploadsFolder()));
  auto after = startProgram("0");
  EXPECT_EQ(accountOf(after.port, token), kLogInAgain);
  EXPECT_EQ(httpGet(api(after.port, "/v1/collection?id=" + std::to_string(pack))).status, 404);
  EXPECT_TRUE(httpGet(api(after.port, "/_standin/state")).body.contains("\"collections\":[]"));
  const auto again = signUp(after.port, "bob", "secret");
  EXPECT_EQ(after.stop(), 0);

  // A bare stand-in, as tests and benchmarks start it, neither reads nor writes that file.
  const auto kept = PlantedFiles::contents(statePath());
  auto bare = startProgram("", true);
  EXPECT_EQ(accountOf(bare.port, again), kLogInAgain);
  signUp(bare.port, "carl", "secret");
  EXPECT_EQ(bare.stop(), 0);
  EXPECT_TRUE(PlantedFiles::contents(statePath()) == kept);
}

// The names in the folder, sorted ("" when there is no folder).
std::string namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) names.push_back(entry.path().filename().string());
  std::ranges::sort(names);
  return joined(names);
}

TEST_F(MakeRunStandinTest, ALastSaveThatFailsSaysSoInOneLineAndTheStandinEndsWithAFailure) {
  auto full = startProgram("", false, FileSizeLimit{8});
  const auto token = signUp(full.port, "amy", "secret");
  ASSERT_FALSE(token.empty());
  // Packs until the state no longer fits: from then on every save fails, and says so once.
  const std::string failing = "could not save its state in \"" + statePath().string() + "\"";
  for (int made = 0; !full.output().contains(failing) && made < 2000; ++made) {
    makePack(full.port, token, "Kept" + std::to_string(made));
  }
  ASSERT_TRUE(full.output().contains(failing)) << full.output();
  for (const char* name : {"Lost1", "Lost2", "Lost3"}) makePack(full.port, token, name);
  const auto said = full.output();
  EXPECT_EQ(full.stop(), 1) << "the stand-in ends with a failure";
  const auto atExit = full.output().substr(said.size());
  EXPECT_EQ(std::ranges::count(atExit, '\n'), 1) << atExit;
  EXPECT_TRUE(atExit.starts_with("The stand-in could not save its last changes in \"" + statePath().string() + "\": "))
      << atExit;
  EXPECT_TRUE(atExit.contains("File too large") && atExit.ends_with("; they are lost.\n")) << atExit;
  // Nothing is left of the failed saves; the file is the last whole state saved.
  EXPECT_EQ(namesIn(statePath().parent_path()), "state.json,state.json.lock,") << "no temporary file is left";
  EXPECT_TRUE(NSJSONSerialization::JSONObjectWithBytes(PlantedFiles::contents(statePath())).has_value());

  auto next = startProgram();
  EXPECT_FALSE(next.output().contains("Set aside")) << next.output();
  EXPECT_EQ(accountOf(next.port, token), "amy");
  const auto state = httpGet(api(next.port, "/_standin/state")).body;
  EXPECT_TRUE(state.contains("\"Kept0\"")) << state;
  EXPECT_FALSE(state.contains("\"Lost1\"")) << "the line said they were lost";
  EXPECT_EQ(next.stop(), 0);
}

TEST_F(MakeRunStandinTest, AStandinKilledInTheMiddleOfASaveKeepsItsLastWholeStateAndWhatTheSaveLeftGoes) {
  const fs::path folder = statePath().parent_path();
  // Look-alikes of what a save leaves that are not: another file's, a name without the dot or
  // with a random part of another length, and a link, a folder and a pipe.
  const std::vector<std::string> notOurs{".other.json.Ab12Cd", "state.json.Ab12Cd", ".state.json.Ab12C",
                                         ".state.json.Ab12Cd7"};
  for (const auto& name : notOurs) writeText(folder / name, "not the stand-in's");
  PlantedFiles::plant(folder / ".state.json.Link01", PlantedFiles::Kind::link, home() / "outside");
  PlantedFiles::plant(folder / ".state.json.Fold01", PlantedFiles::Kind::folder, home() / "outside");
  PlantedFiles::plant(folder / ".state.json.Pipe01", PlantedFiles::Kind::pipe, home() / "outside");

  auto killed = startProgram("", false, FileSizeLimit{8, true});
  const auto token = signUp(killed.port, "amy", "secret");
  ASSERT_FALSE(token.empty());
  // Packs until a save no longer fits: the kernel ends the stand-in in the middle of its write.
  for (int made = 0; killed.program->running() && made < 2000; ++made) {
    httpGet(legacyWeb(killed.port, "/quorb.createcollection?token=" + token + "&name=Kept" + std::to_string(made)));
  }
  ASSERT_FALSE(killed.program->running());
  ASSERT_EQ(killed.program->ending(), -SIGXFSZ) << killed.output();
  // The state is the last one saved, whole; the new one it was writing beside it is left half
  // written.
  EXPECT_TRUE(NSJSONSerialization::JSONObjectWithBytes(PlantedFiles::contents(statePath())).has_value())
      << "the state is whole";
  std::vector<fs::path> leftOvers;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const auto name = entry.path().filename().string();
    if (name.starts_with(".state.json.") && name.size() == 18 && fs::is_regular_file(fs::symlink_status(entry.path()))) {
      leftOvers.push_back(entry.path());
    }
  }
  ASSERT_EQ(leftOvers.size(), 1u) << namesIn(folder);
  EXPECT_EQ(fs::file_size(leftOvers[0]), 8u << 10) << "cut off at the bound";
  // A GIF's write cut short in the same way leaves its own beside the GIFs.
  writeText(uploadsFolder() / ".9000000004.gif.Ab12Cd", "GIF89a, half");
  writeText(uploadsFolder() / ".notes.gif.Ab12Cd", "not the stand-in's");

  // The next start reads the state whole and removes what the save left, and only that.
  auto next = startProgram();
  EXPECT_FALSE(next.output().contains("Set aside")) << next.output();
  EXPECT_EQ(accountOf(next.port, token), "amy");
  EXPECT_TRUE(httpGet(api(next.port, "/_standin/state")).body.contains("\"Kept0\""));
  EXPECT_FALSE(fs::exists(fs::symlink_status(leftOvers[0])));
  EXPECT_EQ(namesIn(folder), joined(std::vector<std::string>{".other.json.Ab12Cd", ".state.json.Ab12C", ".state.json.Ab12Cd7",
                                                               ".state.json.Fold01", ".state.json.Link01",
                                                               ".state.json.Pipe01", "state-uploads", "state.json",
                                                               "state.json.Ab12Cd", "state.json.lock"}));
  EXPECT_EQ(namesIn(uploadsFolder()), ".notes.gif.Ab12Cd,");
  EXPECT_EQ(PlantedFiles::contents(home() / "outside"), PlantedFiles::outsideText);
  for (const auto& name : notOurs) EXPECT_EQ(PlantedFiles::contents(folder / name), "not the stand-in's") << name;
  EXPECT_EQ(next.stop(), 0);
}

}  // namespace
