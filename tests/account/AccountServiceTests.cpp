// The account calls and the user manager against the stand-in, checked by what the store,
// the user defaults and the stand-in hold afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <regex>

#include "account/UserCollections.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "tests/collections/CollectionsFixture.h"

namespace {

std::shared_ptr<NSDictionary> jsonObject(std::string_view text) {
  return asA<NSDictionary>(*NSJSONSerialization::JSONObjectWithBytes(text));
}

std::string reasonOf(const std::shared_ptr<NSError>& error) {
  auto reason = error ? error->userInfo()->objectForKeyAs<NSString>(QuorbUser::Constants::NSLocalizedFailureReasonErrorKey) : nullptr;
  return reason ? reason->string() : "<none>";
}

TEST(ServerErrorMessages, AreComposedFromTextListOrMap) {
  const struct {
    const char* error;  // the "error" value as JSON
    const char* locale;
    std::string reason;
    const char* map;  // the field-error map as JSON, or empty for none
  } cases[] = {
      {R"("wrong password")", "en_US.UTF-8", "Wrong Password", R"({"error":"wrong password"})"},
      {R"({"username":"is taken"})", "en_US.UTF-8", "Username Is Taken", R"({"username":"is taken"})"},
      {R"(["first problem","second problem"])", "en_US.UTF-8", "First Problem and second problem", ""},
      {R"({"email":"is required","password":"too SHORT"})", "en_US.UTF-8", "Email Is Required and password too SHORT",
       R"({"email":"is required","password":"too SHORT"})"},
      {R"("istanbul ıs far")", "tr_TR.UTF-8", "İstanbul Is Far", R"({"error":"istanbul ıs far"})"},
      {R"(42)", "en_US.UTF-8", "", ""},
      {R"([])", "en_US.UTF-8", "", ""},
      {R"(["a",1])", "en_US.UTF-8", "", ""},
      {R"(null)", "en_US.UTF-8", "", ""},
  };
  const char* saved = std::getenv("LC_ALL");
  const std::string savedLocale = saved ? saved : "";
  for (const auto& c : cases) {
    ::setenv("LC_ALL", c.locale, 1);
    auto reply = jsonObject(std::string(R"({"error":)") + c.error + R"(,"user":{"id":1,"username":"a"}})");
    std::shared_ptr<NSError> error;
    EXPECT_EQ(QuorbUser::userFromResponse(reply, error), nullptr) << c.error;
    ASSERT_TRUE(error) << c.error;
    EXPECT_EQ(error->domain(), "QuorbAuth");
    EXPECT_EQ(error->code(), -1);
    EXPECT_EQ(error->localizedDescription(), "Authentication error");
    EXPECT_EQ(reasonOf(error), c.reason) << c.error;
    auto map = QuorbUser::errorMapFromResponse(reply);
    if (*c.map) {
      ASSERT_TRUE(map) << c.error;
      EXPECT_TRUE(map->isEqual(jsonObject(c.map))) << c.error;
    } else {
      EXPECT_FALSE(map) << c.error;
    }
  }
  if (saved) ::setenv("LC_ALL", savedLocale.c_str(), 1);
  else ::unsetenv("LC_ALL");
}

TEST(QuorbUserReply, ReadsTheUserObjectOfAnAccountReply) {
  const struct {
    const char* user;
    bool needsTOS;
    std::string outcome;  // description, or the missing key
    std::string tagLine, imageURL;
    std::size_t collections;
  } cases[] = {
      {R"({"id":42,"username":"amy"})", false, "name:amy id:42", "", "", 0},
      {R"({"id":42,"username":"amy","tagline":"hi","avatars":{"256":"https://a/x.png"},"collections":[{"id":1},{"id":2}]})",
       true, "name:amy id:42", "hi", "https://a/x.png", 2},
      {R"({"id":42,"username":"amy","avatars":{"64":"x"},"collections":{"id":1},"tagline":5})", false, "name:amy id:42", "", "", 0},
      {R"({"id":42,"username":"amy","collections":[{"id":1},"x"]})", false, "name:amy id:42", "", "", 0},
      {R"({"id":"42","username":"amy"})", false, "id", "", "", 0},
      {R"({"id":4.5,"username":"amy"})", false, "id", "", "", 0},
      {R"({"id":42})", false, "username", "", "", 0},
      {R"({})", false, "id", "", "", 0},
  };
  for (const auto& c : cases) {
    auto made = QuorbUser::initWithAPIResponse(jsonObject(c.user), c.needsTOS);
    if (!made) {
      EXPECT_EQ(made.error().missing, c.outcome) << c.user;
      continue;
    }
    EXPECT_EQ((*made)->description(), c.outcome) << c.user;
    EXPECT_EQ((*made)->tagLine, c.tagLine) << c.user;
    EXPECT_EQ((*made)->imageURL, c.imageURL) << c.user;
    EXPECT_EQ((*made)->rawCollections.size(), c.collections) << c.user;
    EXPECT_EQ((*made)->hasAcceptedTOS, !c.needsTOS) << c.user;
    auto poster = (*made)->createPlovexUser();
    EXPECT_EQ(poster->tagLine, c.tagLine);
    EXPECT_EQ(poster->imageUrl != nullptr, !c.imageURL.empty());
  }
}

// The collection side of the account's changes as the real manager runs it, with the order
// of the calls, the thread they came on and the user stored at that moment.
class RecordingCollections : public UserCollections {
 public:
  explicit RecordingCollections(std::shared_ptr<UserCollections> real) : real_(std::move(real)) {}
  void signedInUserDidChange(const std::shared_ptr<QuorbUser>& previous, const std::shared_ptr<QuorbUser>& current) override {
    note("change " + name(previous) + "->" + name(current));
    real_->signedInUserDidChange(previous, current);
  }
  void handOverLocalCollections() override {
    note("hand over");
    real_->handOverLocalCollections();
  }
  void purgeCollections() override {
    note("purge");
    real_->purgeCollections();
  }
  void mergeServerCollections(const std::vector<std::shared_ptr<NSDictionary>>& collections, bool deleteNotFound) override {
    note("merge " + std::to_string(collections.size()) + (deleteNotFound ? " deleting" : ""));
    real_->mergeServerCollections(collections, deleteNotFound);
  }
  std::vector<std::string> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  static std::string name(const std::shared_ptr<QuorbUser>& user) { return user ? user->username : "none"; }
  void note(std::string call) {
    auto stored = QuorbUserManager::init()->currentUser();
    std::lock_guard lock(mutex_);
    calls_.push_back(call + " [stored " + name(stored) + (NSRunLoop::isMainThread() ? ", main]" : ", off main]"));
  }
  std::shared_ptr<UserCollections> real_;
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

struct AccountReply {
  std::atomic<bool> done = false;
  std::shared_ptr<QuorbUser> user;
  bool required = false;
  std::shared_ptr<NSError> error;
  std::shared_ptr<NSDictionary> map;
  QuorbUser::AccountCallback callback() {
    return [this](std::shared_ptr<QuorbUser> u, bool r, std::shared_ptr<NSError> e, std::shared_ptr<NSDictionary> m) {
      user = u, required = r, error = e, map = m;
      done = true;
    };
  }
};

class Account : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    real_ = UserCollections::handler();
    ASSERT_TRUE(real_);
    recorder_ = std::make_shared<RecordingCollections>(real_);
    UserCollections::registerHandler(recorder_);
    observation_ = NSNotificationCenter::defaultCenter()->addObserverForName(
        QuorbUser::Constants::loginStateChanged, nullptr, nullptr,
        [this](const std::shared_ptr<NSNotification>& note) { notifications_.push_back(note->object() != nullptr); });
  }
  void TearDown() override {
    observation_ = nullptr;
    UserCollections::registerHandler(real_);
    CollectionsTest::TearDown();
  }
  void wait(AccountReply& reply) { ASSERT_TRUE(eventually([&] { return reply.done.load(); })); }
  std::vector<std::string> calls() { return recorder_->calls(); }
  std::vector<StandinRequest> requestsTo(const std::string& path) {
    std::vector<StandinRequest> out;
    for (auto& request : standin().requests()) {
      if (request.path == path) out.push_back(request);
    }
    return out;
  }
  // The stored user's id, or none: a missing user fails the case, not the program.
  std::optional<std::int64_t> storedUserId() {
    auto user = QuorbUserManager::init()->currentUser();
    return user ? std::optional(user->userId) : std::nullopt;
  }
  // Logs in on the service and installs the user as the form does; the user, or none.
  std::shared_ptr<QuorbUser> logIn(const std::string& username, const std::string& password) {
    AccountReply reply;
    QuorbUser::loginWith(username, password, false, reply.callback());
    if (!eventually([&] { return reply.done.load(); }) || !reply.user) return nullptr;
    QuorbUserManager::init()->setUser(reply.user);
    auto collections = NSArray::make();
    for (const auto& collection : reply.user->rawCollections) collections->addObject(collection);
    manager()->synchronizeLocalAndServerAPI(collections, false);
    return reply.user;
  }
  std::vector<std::string> packNames() {
    std::vector<std::string> out;
    for (const auto& pack : manager()->getUserCreatedCollectionsWithSortByModifyDate(false).value_or(CollectionManager::Collections{})) {
      out.push_back(pack->name());
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::shared_ptr<Collection> servicePack(const std::string& name, std::int64_t identifier) {
    auto pack = manager()->createNewCollection(name, false, false);
    pack->setIdentifier(identifier);
    manager()->save();
    return pack;
  }

  std::vector<bool> notifications_;

 private:
  std::shared_ptr<UserCollections> real_;
  std::shared_ptr<RecordingCollections> recorder_;
  id observation_;
};

TEST_F(Account, SignUpStoresTheTokenPrivatelyAndPrintsNoSecret) {
  AccountReply reply;
  QuorbUser::signupWith("amy@example.com", "amy", "s3cret-pw", reply.callback());
  wait(reply);
  ASSERT_TRUE(reply.user);
  EXPECT_FALSE(reply.required);
  EXPECT_EQ(reply.user->username, "amy");
  EXPECT_TRUE(reply.user->hasAcceptedTOS);
  auto amy = standin().state().accounts().userNamed("amy");
  ASSERT_TRUE(amy);
  EXPECT_EQ(reply.user->userId, amy->userid);
  EXPECT_FALSE(amy->needsTermsAcceptance);
  const auto tokens = standin().state().accounts().tokensOf(amy->userid);
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(QuorbUser::authToken(), tokens[0]);
  EXPECT_EQ(notifications_, std::vector<bool>{true});

  auto sent = requestsTo("/quorb.signup");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].queryValue("tos"), "true");
  EXPECT_EQ(sent[0].queryValue("quorbid"), "");
  EXPECT_TRUE(std::regex_match(sent[0].queryValue("deviceid").value_or(""),
                               std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));

  // As the form does: the user is installed.
  QuorbUserManager::init()->setUser(reply.user);
  EXPECT_EQ(storedUserId(), amy->userid);
  EXPECT_EQ(calls(), std::vector<std::string>{"change none->amy [stored none, main]"});

  struct stat file {};
  ASSERT_EQ(::stat(NSUserDefaults::standardUserDefaults()->path().c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  for (const auto& line : printedLines()) {
    EXPECT_EQ(line.find(tokens[0]), std::string::npos) << line;
    EXPECT_EQ(line.find("s3cret-pw"), std::string::npos) << line;
  }

  // The same name again is taken, in the service's own words, and nothing changes.
  AccountReply again;
  QuorbUser::signupWith("other@example.com", "amy", "pw", again.callback());
  wait(again);
  EXPECT_FALSE(again.user);
  EXPECT_EQ(reasonOf(again.error), "Username Is Taken");
  EXPECT_EQ(QuorbUser::authToken(), tokens[0]);
}

TEST_F(Account, LogInAsksForTheTermsUntilTheyAreAccepted) {
  auto bob = standin().state().accounts().seedUser("bob", "pw", true);
  AccountReply first;
  QuorbUser::loginWith("bob", "pw", false, first.callback());
  wait(first);
  ASSERT_TRUE(first.user);
  EXPECT_TRUE(first.required);
  EXPECT_FALSE(first.user->hasAcceptedTOS);
  EXPECT_EQ(QuorbUser::authToken(), std::nullopt);
  EXPECT_TRUE(standin().state().accounts().tokensOf(bob.userid).empty());
  EXPECT_TRUE(notifications_.empty());

  AccountReply second;
  QuorbUser::loginWith("bob", "pw", true, second.callback());
  wait(second);
  ASSERT_TRUE(second.user);
  EXPECT_FALSE(second.required);
  EXPECT_FALSE(standin().state().accounts().user(bob.userid)->needsTermsAcceptance);
  EXPECT_EQ(QuorbUser::authToken(), standin().state().accounts().tokensOf(bob.userid).at(0));

  auto sent = requestsTo("/quorb.login");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].queryValue("tos"), std::nullopt);
  EXPECT_EQ(sent[1].queryValue("tos"), "true");
  EXPECT_NE(sent[0].queryValue("deviceid"), sent[1].queryValue("deviceid"));
}

TEST_F(Account, AWrongPasswordGivesTheServicesMessageAndStoresNothing) {
  auto carl = standin().state().accounts().seedUser("carl", "right");
  AccountReply reply;
  QuorbUser::loginWith("carl", "wrong", true, reply.callback());
  wait(reply);
  EXPECT_FALSE(reply.user);
  ASSERT_TRUE(reply.error);
  EXPECT_EQ(reply.error->code(), -1);
  EXPECT_EQ(reasonOf(reply.error), "Wrong Password");
  ASSERT_TRUE(reply.map);
  EXPECT_TRUE(reply.map->isEqual(jsonObject(R"({"error":"wrong password"})")));
  EXPECT_EQ(QuorbUser::authToken(), std::nullopt);
  EXPECT_TRUE(standin().state().accounts().tokensOf(carl.userid).empty());
  EXPECT_TRUE(notifications_.empty());
}

// A reply that lacks the token or a readable user is no sign-in: nothing is stored and the
// caller sees a reply without a user.
TEST_F(Account, SignInCountsOnlyWithBothATokenAndAUserRecord) {
  const struct {
    const char* reply;
    bool signedIn;
  } cases[] = {
      {R"({"user":{"id":5,"username":"d"},"auth":{"token":"t1"},"tosacceptancerequired":false})", true},
      {R"({"user":{"id":5,"username":"d"},"tosacceptancerequired":false})", false},
      {R"({"user":{"id":5,"username":"d"},"auth":{"token":7},"tosacceptancerequired":false})", false},
      {R"({"auth":{"token":"t2"},"tosacceptancerequired":false})", false},
      {R"({"user":{"id":"5","username":"d"},"auth":{"token":"t3"},"tosacceptancerequired":false})", false},
      {R"({"user":{"id":5,"username":"d"},"auth":{"token":"t4"}})", false},
      {R"({"user":{"id":5,"username":"d"},"auth":{"token":"t5","extra":null},"tosacceptancerequired":false})", false},
      {R"({"user":{"id":5,"username":"d"},"auth":{"token":"t6","expires":"1"},"tosacceptancerequired":false})", false},
  };
  for (const auto& c : cases) {
    QuorbUser::setAuthWithAuth(NSDictionary::make({{"token", NSString::make("kept")}}));
    AccountReply reply;
    QuorbUser::handleAuthenticationResponse(jsonObject(c.reply), nullptr, reply.callback());
    ASSERT_TRUE(reply.done) << c.reply;
    EXPECT_EQ(reply.user != nullptr, c.signedIn || std::string_view(c.reply).find(R"("tosacceptancerequired":false)") == std::string_view::npos)
        << c.reply;
    EXPECT_FALSE(reply.error) << c.reply;
    EXPECT_EQ(QuorbUser::authToken(), c.signedIn ? "t1" : "kept") << c.reply;
  }
}

TEST_F(Account, AnExpiredTokenAtLaunchSignsOutAndPurgesOnTheMainThread) {
  auto dora = standin().state().accounts().seedUser("dora", "pw");
  standin().state().accounts().seedToken("old-token", dora.userid, clock().now() - 1);
  storeUser(dora, "old-token");
  servicePack("Dogs", 4242);
  manager()->getFavoritesCollection()->append(item(0));

  auto launch = QuorbUserManager::init();
  launch->authenticateUser();
  ASSERT_TRUE(eventually([] { return !QuorbUser::authToken(); }));
  EXPECT_TRUE(packNames().empty());
  EXPECT_TRUE(manager()->getFavoritesCollection()->vorns().empty());
  EXPECT_EQ(calls(), std::vector<std::string>{"purge [stored dora, main]"});
  EXPECT_EQ(notifications_, std::vector<bool>{false});
  // The service was told which token ended; the user stays stored for the next log-in.
  ASSERT_TRUE(eventually([&] { return requestsTo("/quorb.unauthorize").size() == 1; }));
  EXPECT_EQ(requestsTo("/quorb.unauthorize")[0].queryValue("token"), "old-token");
  EXPECT_EQ(storedUserId(), dora.userid);
}

TEST_F(Account, TheRefreshLogsOutOnlyForTheServicesLoginRequiredWord) {
  const struct {
    const char* map;
    bool logsOut;
  } cases[] = {{R"({"login":"REQURED"})", true}, {R"({"login":"requred"})", true}, {R"({"login":"required"})", false},
               {R"({"error":"requred"})", false}, {R"({"login":7})", false}};
  auto erin = standin().state().accounts().seedUser("erin");
  for (const auto& c : cases) {
    storeUser(erin, "tok");
    QuorbUserManager::init()->handleUserRefreshResponse(nullptr, NSError::make("QuorbAuth", -1, "x"), jsonObject(c.map));
    EXPECT_EQ(!QuorbUser::authToken(), c.logsOut) << c.map;
  }
}

TEST_F(Account, ARefreshWithoutAUsableUserChangesNothing) {
  auto fay = signIn("fay", "fay-token");
  servicePack("Kept", 77);
  standin().addRoute("GET", "/quorb\\.user", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.setJson(R"({"user":{"username":"no id"},"tosacceptancerequired":false})");
  });
  QuorbUserManager::init()->authenticateUser();
  ASSERT_TRUE(eventually([&] { return requestsTo("/quorb.user").size() == 1; }));
  settle();
  EXPECT_EQ(storedUserId(), fay.userid);
  EXPECT_EQ(QuorbUser::authToken(), "fay-token");
  EXPECT_EQ(packNames(), std::vector<std::string>{"Kept"});
  EXPECT_TRUE(calls().empty());
}

TEST_F(Account, ARefreshMergesTheServicesCollectionsAndDropsThoseItNoLongerLists) {
  auto gus = signIn("gus", "gus-token");
  standin().state().accounts().setNeedsTermsAcceptance(gus.userid, true);
  const auto cats = standin().state().createCollection("Cats", gus.userid);
  servicePack("Gone", 9999);
  QuorbUserManager::init()->authenticateUser();
  ASSERT_TRUE(eventually([&] { return manager()->getCollectionByIdentifier(cats) != nullptr; }));
  settle();
  EXPECT_EQ(packNames(), std::vector<std::string>{"Cats"});
  EXPECT_EQ(manager()->getCollectionByIdentifier(cats)->name(), "Cats");
  EXPECT_EQ(calls(), (std::vector<std::string>{"hand over [stored gus, main]", "merge 1 deleting [stored gus, main]"}));
  // The refreshed user is stored, with what the service says of the terms.
  auto manager = QuorbUserManager::init();
  EXPECT_TRUE(manager->doesCurrentUserRequireTOS());

  // Accepting tells the service but changes the stored user only when asked to.
  std::atomic<int> accepted = -1;
  manager->executeCurrentUserTOSAgreementWithCallback([&](bool ok) { accepted = ok; });
  ASSERT_TRUE(eventually([&] { return accepted != -1; }));
  EXPECT_EQ(accepted, 1);
  EXPECT_FALSE(standin().state().accounts().user(gus.userid)->needsTermsAcceptance);
  EXPECT_TRUE(QuorbUserManager::init()->doesCurrentUserRequireTOS());
  manager->setTOSAcceptedForCurrentUser();
  EXPECT_FALSE(QuorbUserManager::init()->doesCurrentUserRequireTOS());
}

// Acceptance counts only when the service answered without a complaint.
TEST_F(Account, TermsAcceptanceCountsOnlyForAReplyWithoutAnError) {
  auto hal = standin().state().accounts().seedUser("hal", "pw", true);
  const struct {
    const char* token;  // stored on the client; empty for none
    std::optional<double> expiresIn;
    int accepted;
  } cases[] = {{"", std::nullopt, 0}, {"hal-expired", -1.0, 0}, {"hal-unknown", std::nullopt, 0}, {"hal-valid", 60.0, 1}};
  for (const auto& c : cases) {
    if (*c.token) {
      if (std::string_view(c.token) != "hal-unknown") {
        standin().state().accounts().seedToken(c.token, hal.userid, clock().now() + *c.expiresIn);
      }
      storeUser(hal, c.token);
    } else {
      signOut();
    }
    std::atomic<int> accepted = -1;
    QuorbUserManager::init()->executeCurrentUserTOSAgreementWithCallback([&](bool ok) { accepted = ok; });
    ASSERT_TRUE(eventually([&] { return accepted != -1; })) << c.token;
    EXPECT_EQ(accepted, c.accepted) << c.token;
  }
  EXPECT_FALSE(standin().state().accounts().user(hal.userid)->needsTermsAcceptance);
}

TEST_F(Account, LogOutEndsTheTokenAndPurgesTheCollections) {
  auto ida = signIn("ida", "ida-token");
  servicePack("Birds", 31);
  QuorbUser::logout();
  EXPECT_EQ(QuorbUser::authToken(), std::nullopt);
  EXPECT_TRUE(packNames().empty());
  EXPECT_EQ(calls(), std::vector<std::string>{"purge [stored ida, main]"});
  ASSERT_TRUE(eventually([&] { return standin().state().accounts().tokensOf(ida.userid).empty(); }));
  EXPECT_EQ(storedUserId(), ida.userid);

  // Without a token nothing is sent, and the purge still runs.
  QuorbUser::logout();
  settle();
  EXPECT_EQ(requestsTo("/quorb.unauthorize").size(), 1u);
  EXPECT_EQ(notifications_, (std::vector<bool>{false, false}));
}

TEST_F(Account, ClearingTheUserPurgesAndStoresNoUser) {
  auto max = signIn("max", "max-token");
  servicePack("Max's", 61);
  signOut();
  // Without a token the refresh sends nothing.
  QuorbUserManager::init()->authenticateUser();
  settle();
  EXPECT_TRUE(requestsTo("/quorb.user").empty());

  auto manager = QuorbUserManager::init();
  ASSERT_EQ(storedUserId(), max.userid);
  manager->setUser(nullptr);
  EXPECT_EQ(calls(), std::vector<std::string>{"change max->none [stored max, main]"});
  EXPECT_TRUE(packNames().empty());
  EXPECT_EQ(QuorbUserManager::init()->currentUser(), nullptr);
  EXPECT_FALSE(QuorbUserManager::init()->doesCurrentUserRequireTOS());
  // No user and no user again is no change.
  manager->setUser(nullptr);
  EXPECT_EQ(calls().size(), 1u);
}

TEST_F(Account, SwitchingAccountsRunsTheCollectionSideBeforeTheNewUserIsStored) {
  auto jan = signIn("jan", "jan-token");
  servicePack("Jan's", 51);
  manager()->getFavoritesCollection()->append(item(1));
  auto kim = standin().state().accounts().seedUser("kim", "pw");
  const auto kims = standin().state().createCollection("Kim's", kim.userid);

  AccountReply reply;
  QuorbUser::loginWith("kim", "pw", false, reply.callback());
  wait(reply);
  ASSERT_TRUE(reply.user);
  QuorbUserManager::init()->setUser(reply.user);
  EXPECT_EQ(storedUserId(), kim.userid);
  EXPECT_EQ(calls(), std::vector<std::string>{"change jan->kim [stored jan, main]"});
  EXPECT_TRUE(packNames().empty());
  EXPECT_TRUE(manager()->getFavoritesCollection()->vorns().empty());

  // As the form does after a log-in: the user's collections are merged without deleting.
  QuorbUserManager::init()->mergeUserCollections(reply.user);
  EXPECT_EQ(packNames(), std::vector<std::string>{"Kim's"});
  EXPECT_TRUE(manager()->getCollectionByIdentifier(kims));
  EXPECT_TRUE(standin().state().liked(kim.userid).empty());
}

// Signing out and back in as the same user hands over a pack made meanwhile without an
// account, so that the next merge with the service keeps it.
TEST_F(Account, SigningInAgainAsTheSameUserClaimsPacksMadeWithoutAnAccount) {
  auto lou = signIn("lou", "lou-token");
  standin().state().accounts().revokeToken("lou-token");
  signOut();
  auto pack = manager()->createNewCollection("Offline", true, true);
  ASSERT_TRUE(eventually([&] { return pack->identifier() != 0 && pack->anonymousToken(); }));
  const auto identifier = pack->identifier();

  AccountReply reply;
  QuorbUser::loginWith("lou", "", false, reply.callback());
  wait(reply);
  ASSERT_TRUE(reply.user);
  QuorbUserManager::init()->setUser(reply.user);
  EXPECT_EQ(calls(), std::vector<std::string>{"hand over [stored lou, main]"});
  ASSERT_TRUE(eventually([&] { return standin().state().collection(identifier)->owner == lou.userid; }));

  QuorbUserManager::init()->authenticateUser();
  ASSERT_TRUE(eventually([&] { return calls().size() == 3; }));
  settle();
  EXPECT_EQ(packNames(), std::vector<std::string>{"Offline"});
}

// The first sign-in claims the packs made without an account for the user signing in, so
// that they leave with that user at the next switch of account.
TEST_F(Account, PacksClaimedAtTheFirstSignInBelongToTheUserSigningIn) {
  auto pack = manager()->createNewCollection("Before", true, true);
  ASSERT_TRUE(eventually([&] { return pack->identifier() != 0 && pack->anonymousToken(); }));
  auto nia = standin().state().accounts().seedUser("nia", "pw");
  AccountReply reply;
  QuorbUser::loginWith("nia", "pw", false, reply.callback());
  wait(reply);
  QuorbUserManager::init()->setUser(reply.user);
  ASSERT_TRUE(eventually([&] { return pack->creator() != nullptr; }));
  EXPECT_EQ(pack->creator()->userIdentifier, std::to_string(nia.userid));
  EXPECT_EQ(standin().state().collection(pack->identifier())->owner, nia.userid);

  auto oz = standin().state().accounts().seedUser("oz", "pw");
  AccountReply other;
  QuorbUser::loginWith("oz", "pw", false, other.callback());
  wait(other);
  QuorbUserManager::init()->setUser(other.user);
  EXPECT_TRUE(packNames().empty());
}

// A subscription made without an account leaves the store only once the service has taken
// it for the account signing in: a refusal keeps it, through the next launch's merge, until
// it is handed over at a later sign-in.
TEST_F(Account, ASubscriptionMadeWithoutAnAccountWaitsUntilTheServiceTakesIt) {
  auto bob = standin().state().accounts().seedUser("bob");
  const auto bobs = standin().state().createCollection("Bob's", bob.userid);
  ASSERT_NE(manager()->subscribeToCollectionWithName("Bob's", bobs, nullptr, nullptr), nullptr);
  auto pia = standin().state().accounts().seedUser("pia", "pw");
  standin().injectFault("/quorb.subscribe", Fault::status500());
  ASSERT_TRUE(logIn("pia", "pw"));
  ASSERT_TRUE(standin().waitForRequest([](const StandinRequest& r) { return r.path == "/quorb.subscribe"; }, 10));
  settle();
  EXPECT_EQ(manager()->getAllSubscribedCollections().size(), 1u);

  relaunch();
  QuorbUserManager::init()->authenticateUser();
  ASSERT_TRUE(eventually([&] { return calls().size() == 3; }));
  settle();
  EXPECT_EQ(packNames(), std::vector<std::string>{"Bob's"});

  standin().clearFaults();
  ASSERT_TRUE(logIn("pia", "pw"));
  EXPECT_TRUE(eventually([&] { return standin().state().collection(bobs)->subscribers.contains(pia.userid); }));
}

// GIFs collected while nobody was signed in belong to no account yet: the next account to
// sign in gets them, whoever signed in before.
TEST_F(Account, GifsCollectedWhileSignedOutGoToTheNextAccountSigningIn) {
  auto amy = standin().state().accounts().seedUser("amy", "pw");
  ASSERT_TRUE(logIn("amy", "pw"));
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(1)));
  ASSERT_TRUE(eventually([&] { return standin().state().liked(amy.userid).size() == 1; }));
  QuorbUser::logout();
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(2)));
  manager()->getSavedCollection()->append(item(3));

  auto bob = standin().state().accounts().seedUser("bob", "pw");
  ASSERT_TRUE(logIn("bob", "pw"));
  EXPECT_EQ(calls().back(), "change amy->bob [stored amy, main]");
  EXPECT_EQ(vids(manager()->getFavoritesCollection()), std::vector<std::string>{itemId(2)});
  EXPECT_EQ(vids(manager()->getSavedCollection()), std::vector<std::string>{itemId(3)});
  EXPECT_TRUE(eventually([&] { return standin().state().liked(bob.userid) == std::vector<std::string>{itemId(2)}; }));
  EXPECT_TRUE(eventually([&] { return standin().state().saved(bob.userid) == std::vector<std::string>{itemId(3)}; }));
  EXPECT_EQ(standin().state().liked(amy.userid), std::vector<std::string>{itemId(1)});
}

// What the service failed to take while the user was signed in goes again when the user
// signs in again.
TEST_F(Account, SigningInAgainSendsWhatTheServiceDidNotTake) {
  auto cy = standin().state().accounts().seedUser("cy", "pw");
  ASSERT_TRUE(logIn("cy", "pw"));
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(7)));
  ASSERT_TRUE(eventually([&] { return standin().state().liked(cy.userid).size() == 1; }));
  standin().injectFault("/quorb.", Fault::status500());
  manager()->getSavedCollection()->append(item(4));
  EXPECT_FALSE(manager()->favoriteVornWithVorn(item(7)));
  settle();
  ASSERT_TRUE(standin().waitForRequest([](const StandinRequest& r) { return r.queryValue("remove") == "true"; }, 10));
  ASSERT_TRUE(eventually([&] { return !manager()->isSending(itemId(4)) && !manager()->isRemoving(itemId(7)); }));
  standin().clearFaults();
  ASSERT_TRUE(logIn("cy", "pw"));
  EXPECT_EQ(calls().back(), "hand over [stored cy, main]");
  EXPECT_TRUE(eventually([&] { return standin().state().saved(cy.userid) == std::vector<std::string>{itemId(4)}; }));
  EXPECT_TRUE(eventually([&] { return standin().state().liked(cy.userid).empty(); }));
}

// A pack made without an account whose creation is answered only after someone signed in
// is claimed for that account then, and kept by the merges that follow.
TEST_F(Account, APackCreatedAcrossASignInIsClaimedWhenItsIdArrives) {
  standin().injectFault("/v1/createpack", Fault::stall());
  auto pack = manager()->createNewCollection("Late", true, true);
  ASSERT_TRUE(eventually([&] { return standin().stalledCount() == 1; }));
  auto pia = standin().state().accounts().seedUser("pia", "pw");
  ASSERT_TRUE(logIn("pia", "pw"));
  EXPECT_EQ(packNames(), std::vector<std::string>{"Late"});
  standin().releaseStalls();
  ASSERT_TRUE(eventually([&] { return pack->identifier() != 0; }));
  const auto identifier = pack->identifier();
  EXPECT_TRUE(eventually([&] { return standin().state().collection(identifier)->owner == pia.userid; }));
  EXPECT_TRUE(eventually([&] { return pack->creator() != nullptr; }));
  relaunch();
  QuorbUserManager::init()->authenticateUser();
  ASSERT_TRUE(eventually([&] { return calls().size() == 3; }));
  settle();
  EXPECT_EQ(packNames(), std::vector<std::string>{"Late"});
}

}  // namespace
