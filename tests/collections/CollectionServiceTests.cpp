// Black-box: what the collection operations leave in the stand-in's state.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "tests/collections/CollectionsFixture.h"

namespace {

using Service = CollectionsTest;

std::optional<StandinCollection> named(StandinServer& server, const std::string& name) {
  for (const auto& collection : server.state().collections()) {
    if (collection.name == name) return collection;
  }
  return std::nullopt;
}

TEST_F(Service, FavouritesSavedAndPacksOfASignedInUserReachTheService) {
  auto amy = signIn("amy", "tok-amy");
  auto& state = standin().state();
  EXPECT_TRUE(manager()->favoriteVornWithVorn(item(1)));
  EXPECT_TRUE(eventually([&] { return state.liked(amy.userid) == std::vector<std::string>{itemId(1)}; }));
  EXPECT_FALSE(manager()->favoriteVornWithVorn(item(1)));
  EXPECT_TRUE(eventually([&] { return state.liked(amy.userid).empty(); }));

  manager()->getSavedCollection()->append(item(2));
  EXPECT_TRUE(eventually([&] { return state.saved(amy.userid) == std::vector<std::string>{itemId(2)}; }));
  EXPECT_TRUE(eventually([&] { return !manager()->getSavedCollection()->interruptedUploadContent(); }));

  auto pack = manager()->createNewCollection("mine", true, true);
  EXPECT_TRUE(eventually([&] { return pack->identifier() != 0; }));
  auto served = named(standin(), "mine");
  ASSERT_TRUE(served.has_value());
  EXPECT_EQ(served->id, pack->identifier());
  EXPECT_EQ(served->owner, amy.userid);
  pack->append(item(3));
  EXPECT_TRUE(eventually([&] { return state.collection(served->id)->items == std::vector<std::string>{itemId(3)}; }));
  pack->remove(item(3));
  EXPECT_TRUE(eventually([&] { return state.collection(served->id)->items.empty(); }));

  manager()->addVornToRecents(item(4));
  manager()->removeVornFromRecents(item(4));
  manager()->deleteCollection(pack);
  manager()->save();
  EXPECT_TRUE(eventually([&] { return !state.collection(served->id); }));
  for (const auto& request : standin().requests()) {
    EXPECT_EQ(request.queryValue("pid") == itemId(4), false) << "Recents reached the service: " << request.target;
  }
}

TEST_F(Service, AnAnonymousPackTakesEveryKindOfGifAndIsClaimedAtSignIn) {
  auto& state = standin().state();
  auto pack = manager()->createNewCollection("anon", true, true);
  EXPECT_TRUE(eventually([&] { return pack->identifier() != 0 && pack->anonymousToken(); }));
  auto served = state.collection(pack->identifier());
  ASSERT_TRUE(served.has_value());
  EXPECT_EQ(served->packToken, pack->anonymousToken());
  EXPECT_FALSE(served->owner.has_value());

  pack->append(item(1));
  pack->append(localGif());
  auto web = item(2);
  web->vid = "https://example.com/cat.gif";
  pack->append(web);
  EXPECT_TRUE(eventually([&] { return state.collection(served->id)->items.size() == 3; }));
  // The three sends race each other, so the service may hold them in any order.
  auto sorted = [](std::vector<std::string> list) {
    std::sort(list.begin(), list.end());
    return list;
  };
  EXPECT_TRUE(eventually([&] { return sorted(vids(pack)) == sorted(state.collection(served->id)->items); }));
  // The service's ids took the temporary ones' places, in this pack, and were saved.
  const auto local = vids(pack);
  relaunch();
  pack = manager()->getCollectionByIdentifier(served->id);
  EXPECT_EQ(vids(pack), local);
  EXPECT_TRUE(pack->vorns()[0]->isProcessing);
  EXPECT_EQ(state.upload(local[0])->sourceURL, "https://example.com/cat.gif");  // uploads are items of the service
  EXPECT_TRUE(state.upload(local[1]).has_value());
  EXPECT_EQ(local[2], itemId(1));

  // Signed out, Favorites keeps its GIFs to send later.
  manager()->getFavoritesCollection()->append(item(5));
  EXPECT_EQ(manager()->getFavoritesCollection()->interruptedUploadContent(), std::set<std::string>{itemId(5)});

  auto amy = signIn("amy", "tok-amy");
  manager()->signedInUserDidChange(nullptr, record(amy));
  EXPECT_TRUE(eventually([&] { return state.collection(served->id)->owner == amy.userid; }));
  EXPECT_TRUE(eventually([&] { return pack->creator() != nullptr; }));
  EXPECT_EQ(pack->creator()->userIdentifier, std::to_string(amy.userid));
  EXPECT_TRUE(eventually([&] { return state.liked(amy.userid) == std::vector<std::string>{itemId(5)}; }));
  EXPECT_TRUE(eventually([&] { return !manager()->getFavoritesCollection()->interruptedUploadContent(); }));
}

TEST_F(Service, SignedInUploadsOfFilesAndAddressesTakeTheServiceIds) {
  auto amy = signIn("amy", "tok-amy");
  auto& state = standin().state();
  auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
  ASSERT_TRUE(eventually([&] { return analytics->quorbID().has_value(); }));
  auto saved = manager()->getSavedCollection();
  auto file = localGif();
  file->tags = {"funny", "cat"};
  manager()->uploadKeyMap[file->vid] = "link-key";  // as the upload screen leaves it
  saved->append(file);
  auto web = item(0);
  web->vid = "https://example.com/dog.gif";
  saved->append(web);
  manager()->queueItemsForSynchronization(true);  // both are on their way already: not sent twice
  EXPECT_TRUE(eventually([&] { return state.saved(amy.userid).size() == 2; }));
  // The two sends race each other, so the service may list them in either order.
  auto sorted = [](std::vector<std::string> list) {
    std::sort(list.begin(), list.end());
    return list;
  };
  auto ids = sorted(state.saved(amy.userid));
  EXPECT_TRUE(eventually([&] { return sorted(vids(saved)) == ids && !saved->interruptedUploadContent(); }));
  auto local = manager()->getSavedCollection()->vorns();
  EXPECT_EQ(state.upload(local[1]->vid)->tags, (std::vector<std::string>{"funny", "cat"}));
  auto event = standin().waitForRequest(
      [](const StandinRequest& r) { return r.path == "/quorb.registerevent/upload_process_completed"; }, 10);
  ASSERT_TRUE(event.has_value());
  EXPECT_NE(event->queryValue("data").value_or("").find("link-key"), std::string::npos);
  EXPECT_NE(event->queryValue("data").value_or("").find(local[1]->vid), std::string::npos);
  EXPECT_TRUE(manager()->uploadKeyMap.empty());
  EXPECT_EQ(state.upload(local[0]->vid)->sourceURL, "https://example.com/dog.gif");
  relaunch();
  EXPECT_EQ(sorted(state.saved(amy.userid)), ids);
  EXPECT_EQ(vids(manager()->getSavedCollection()), vids(saved));
  EXPECT_FALSE(manager()->getSavedCollection()->interruptedUploadContent().has_value());
}

TEST_F(Service, AnUnreadableGifIsNotSentAndIsRetriedOnceItCanBeRead) {
  auto amy = signIn("amy", "tok-amy");
  auto gif = localGif();
  auto path = NSURL::URLWithString(gif->vid)->path();
  std::filesystem::rename(path, path + ".away");
  manager()->getSavedCollection()->append(gif);
  // The file is read away from the main thread; the send ends when it cannot be.
  ASSERT_TRUE(eventually([&] {
    return std::ranges::any_of(printedLines(), [](const std::string& line) { return line.starts_with("not uploading "); });
  }));
  settle();
  EXPECT_TRUE(standin().state().saved(amy.userid).empty());
  for (const auto& request : standin().requests()) EXPECT_NE(request.path, "/quorb.uploadgif");
  EXPECT_EQ(manager()->getSavedCollection()->interruptedUploadContent(), std::set<std::string>{gif->vid});

  std::filesystem::rename(path + ".away", path);
  relaunch();
  manager()->queueItemsForSynchronization(true);
  EXPECT_TRUE(eventually([&] { return standin().state().saved(amy.userid).size() == 1; }));
  settle();
  EXPECT_FALSE(manager()->getSavedCollection()->interruptedUploadContent().has_value());
  EXPECT_EQ(vids(manager()->getSavedCollection()), standin().state().saved(amy.userid));
}

TEST_F(Service, EverySendingPathCallsItsCompletionExactlyOnce) {
  struct Case {
    std::string name;
    bool signedIn;
    std::function<std::shared_ptr<VornObject>()> gif;
    std::int64_t type;
    std::optional<std::string> fault;  // a path whose replies are dropped
    bool expectId;
  };
  auto missing = [this] {
    auto gif = localGif();
    std::filesystem::remove(NSURL::URLWithString(gif->vid)->path());
    return gif;
  };
  std::vector<Case> cases{
      {"signed out into Favorites", false, [this] { return item(1); }, 2, std::nullopt, false},
      {"signed out web GIF into Saved", false, [this] { auto g = item(1); g->vid = "https://e.com/x.gif"; return g; }, 3, std::nullopt, false},
      {"unreadable file", true, missing, 3, std::nullopt, false},
      {"transport error", true, [this] { return item(1); }, 2, "/quorb.like", false},
      {"upload refused", true, [this] { return localGif(); }, 3, "/quorb.uploadgif", false},
      {"liked", true, [this] { return item(1); }, 2, std::nullopt, true},
  };
  auto amy = standin().state().accounts().seedUser("amy");
  standin().state().accounts().seedToken("tok", amy.userid);
  for (const auto& c : cases) {
    if (c.signedIn) storeUser(amy, "tok");
    else signOut();
    standin().clearFaults();
    if (c.fault) standin().injectFault(*c.fault, Fault::drop());
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto result = std::make_shared<std::optional<std::string>>();
    manager()->synchronizeVornAddition(c.gif(), 0, "quorbuser-" + std::to_string(amy.userid), "savedvorns", c.type, {},
                                       std::nullopt, std::nullopt, [calls, result](std::optional<std::string> id) {
                                         *result = id;
                                         ++*calls;
                                       });
    EXPECT_TRUE(eventually([&] { return calls->load() > 0; })) << c.name;
    settle();
    EXPECT_EQ(calls->load(), 1) << c.name;
    EXPECT_EQ(result->has_value(), c.expectId) << c.name;
  }
}

TEST_F(Service, DailySyncMergesTheLikedAndPackStreamsAndReconcileKeepsWhatIsStillPending) {
  auto amy = signIn("amy", "tok-amy");
  auto bob = standin().state().accounts().seedUser("bob");
  auto& state = standin().state();
  state.setLiked(amy.userid, itemId(6), true);
  state.setLiked(amy.userid, itemId(5), true);
  auto kept = state.createCollection("kept", amy.userid);
  state.addToCollection(kept, itemId(7));
  auto followed = state.createCollection("followed", bob.userid);
  state.subscribe(followed, amy.userid, true);

  // Local packs: one the service dropped, one waiting for its id, one whose claim failed.
  auto gone = manager()->createNewCollection("gone", false, true);
  gone->setIdentifier(4242);
  manager()->createNewCollection("pending", false, true);
  auto unclaimed = manager()->createNewCollection("unclaimed", false, true);
  unclaimed->setIdentifier(state.createCollection("unclaimed", std::nullopt, false, "right"));
  unclaimed->setAnonymousToken("wrong");
  manager()->claimCollectionsToCurrentUser();
  settle();
  EXPECT_TRUE(eventually([&] {
    return standin().waitForRequest([](const StandinRequest& r) { return r.path == "/v1/claimpack"; }, 0).has_value();
  }));
  settle();
  EXPECT_EQ(unclaimed->creator(), nullptr);

  manager()->synchronizeLocalAndServerAPI(state.collectionObjects(amy.userid, standin().baseURL()), true);
  std::vector<std::string> packs;
  auto userPacks = manager()->getUserCreatedCollectionsWithSortByModifyDate(false).value();
  for (const auto& pack : userPacks) packs.push_back(pack->name());
  std::sort(packs.begin(), packs.end());
  EXPECT_EQ(packs, (std::vector<std::string>{"followed", "kept", "pending", "unclaimed"}));
  EXPECT_TRUE(manager()->getCollection("followed")->isSubscription());

  manager()->synchronizeAllCollections();
  settle();
  for (const auto& request : standin().requests()) {
    EXPECT_FALSE(request.path == "/v1/collection" && request.queryValue("id") == "0") << "a pack without an id was refreshed";
  }
  EXPECT_EQ(vids(manager()->getFavoritesCollection()), (std::vector<std::string>{itemId(5), itemId(6)}));
  EXPECT_EQ(vids(manager()->getCollection("kept")), std::vector<std::string>{itemId(7)});
  EXPECT_TRUE(manager()->isVornInFavoritesWithVorn(item(5)));
  EXPECT_EQ(manager()->collectionNameForVorn(itemId(7)), "kept");
}

TEST_F(Service, PacksDeletedWhileBeingCreatedAndSubscriptionsWaitForTheService) {
  auto amy = signIn("amy", "tok-amy");
  auto bob = standin().state().accounts().seedUser("bob");
  auto& state = standin().state();
  standin().injectFault("/quorb.createcollection", Fault::delay(0.3));
  auto doomed = manager()->createNewCollection("short-lived", true, true);
  manager()->deleteCollection(doomed);
  manager()->save();
  EXPECT_TRUE(eventually([&] {
    return standin().waitForRequest([](const StandinRequest& r) { return r.path == "/quorb.removecollection"; }, 0).has_value();
  }));
  EXPECT_TRUE(eventually([&] { return !named(standin(), "short-lived"); }));
  for (const auto& request : standin().requests()) EXPECT_NE(request.queryValue("collectionid"), "0");

  auto followed = state.createCollection("bobs", bob.userid);
  signOut();
  ASSERT_NE(manager()->subscribeToCollectionWithName("bobs", followed, nullptr, nullptr), nullptr);
  storeUser(amy, "tok-amy");
  standin().injectFault("/quorb.subscribe", Fault::status500(), 1);
  manager()->synchronizeAllSubscriptions();
  EXPECT_TRUE(eventually([&] {
    return standin().waitForRequest([](const StandinRequest& r) { return r.path == "/quorb.subscribe"; }, 0).has_value();
  }));
  settle();
  EXPECT_EQ(manager()->getAllSubscribedCollections().size(), 1u);
  manager()->synchronizeAllSubscriptions();
  EXPECT_TRUE(eventually([&] { return state.collection(followed)->subscribers.contains(amy.userid); }));
  EXPECT_TRUE(eventually([&] { drainMainQueue(); return manager()->getAllSubscribedCollections().empty(); }));
}

// A sign-in keeps the packs made on this device without an account for the new user to
// claim, also one that has not reached the service yet (its creation failed: no id, no
// token); another account's pack goes.
TEST_F(Service, APackMadeHereThatHasNotReachedTheServiceSurvivesASignIn) {
  auto bob = standin().state().accounts().seedUser("bob");
  standin().injectFault("/v1/createpack", Fault::status500());
  auto mine = manager()->createNewCollection("made offline", true, true);
  ASSERT_NE(mine, nullptr);
  EXPECT_TRUE(eventually([&] {
    return standin().waitForRequest([](const StandinRequest& r) { return r.path == "/v1/createpack"; }, 0).has_value();
  }));
  settle();
  ASSERT_EQ(mine->identifier(), 0);
  ASSERT_FALSE(mine->anonymousToken().has_value());
  auto others = manager()->createNewCollection("bob's", false, true);
  others->setIdentifier(77);
  others->setCreator(record(bob)->createPlovexUser());
  manager()->save();

  auto amy = signIn("amy", "tok-amy");
  manager()->signedInUserDidChange(nullptr, record(amy));
  settle();
  auto packs = [&] {
    std::vector<std::string> found;
    const auto userPacks = manager()->getUserCreatedCollectionsWithSortByModifyDate(false).value();
    for (const auto& pack : userPacks) found.push_back(pack->name());
    return found;
  };
  EXPECT_EQ(packs(), std::vector<std::string>{"made offline"});
  relaunch();
  EXPECT_EQ(packs(), std::vector<std::string>{"made offline"});
}

TEST_F(Service, OneAccountsCollectionsAreNeverSentIntoAnother) {
  auto amy = signIn("amy", "tok-amy");
  manager()->getFavoritesCollection()->append(item(1));
  manager()->getSavedCollection()->append(item(2));
  EXPECT_TRUE(eventually([&] { return standin().state().saved(amy.userid).size() == 1; }));
  EXPECT_TRUE(eventually([&] { return standin().state().liked(amy.userid).size() == 1; }));
  EXPECT_TRUE(eventually([&] { return !manager()->getSavedCollection()->interruptedUploadContent(); }));
  auto bob = signIn("bob", "tok-bob");
  manager()->signedInUserDidChange(record(amy), record(bob));
  settle();
  EXPECT_TRUE(manager()->getFavoritesCollection()->vorns().empty());
  EXPECT_TRUE(manager()->getSavedCollection()->vorns().empty());
  EXPECT_FALSE(manager()->isVornInFavoritesWithVorn(item(1)));
  EXPECT_TRUE(standin().state().liked(bob.userid).empty());
  EXPECT_TRUE(standin().state().saved(bob.userid).empty());
  EXPECT_EQ(standin().state().liked(amy.userid), std::vector<std::string>{itemId(1)});
}

// The daily refresh reads a collection's whole stream, page after page.
TEST_F(Service, TheDailyRefreshMergesEveryPageOfALongStream) {
  auto amy = signIn("amy", "tok-amy");
  std::vector<std::string> liked;
  for (std::size_t n = 0; n < 2 * Catalogue::defaultPageSize + 5; ++n) {
    standin().state().setLiked(amy.userid, itemId(n), true);
    liked.insert(liked.begin(), itemId(n));
  }
  manager()->synchronizeAllCollections();
  settle();
  EXPECT_EQ(vids(manager()->getFavoritesCollection()), liked);
  EXPECT_TRUE(manager()->isVornInFavoritesWithVorn(item(0)));
}

// A removal the service has not confirmed stays in the store and is sent again; meanwhile no
// refresh brings the GIF back, nor does one that began before a removal the service took.
TEST_F(Service, RemovalsWaitForTheServiceAndRefreshesDoNotUndoThem) {
  auto amy = signIn("amy", "tok-amy");
  auto& state = standin().state();
  for (std::size_t n : {5, 6}) ASSERT_TRUE(manager()->favoriteVornWithVorn(item(n)));
  ASSERT_TRUE(eventually([&] { return state.liked(amy.userid).size() == 2; }));
  ASSERT_TRUE(eventually([&] { return !manager()->getFavoritesCollection()->interruptedUploadContent(); }));

  standin().injectFault("/quorb.like", Fault::status500());
  EXPECT_FALSE(manager()->favoriteVornWithVorn(item(5)));
  ASSERT_TRUE(standin().waitForRequest([](const StandinRequest& r) { return r.queryValue("remove") == "true"; }, 10));
  // The refusal has come back before the relaunch: it must have kept the removal pending.
  ASSERT_TRUE(eventually([&] { return !manager()->isRemoving(itemId(5)); }));
  settle();
  relaunch();
  auto favorites = manager()->getFavoritesCollection();
  EXPECT_EQ(favorites->pendingRemovals(), std::set<std::string>{itemId(5)});
  manager()->synchronizeAllCollections();
  settle();
  EXPECT_EQ(vids(favorites), std::vector<std::string>{itemId(6)});
  EXPECT_FALSE(manager()->isVornInFavoritesWithVorn(item(5)));

  standin().clearFaults();
  manager()->resendUnsentChanges();
  EXPECT_TRUE(eventually([&] { return state.liked(amy.userid) == std::vector<std::string>{itemId(6)}; }));
  EXPECT_TRUE(eventually([&] { return favorites->pendingRemovals().empty(); }));

  // A refresh whose page the service wrote before a removal it then took.
  std::promise<void> release;
  auto released = release.get_future().share();
  std::atomic<bool> entered = false;
  standin().addRoute("GET", "/v1/userliked", [&, released, user = amy.userid](const StandinRequest&, StandinResponse& response,
                                                                              const Catalogue& catalogue) {
    auto results = NSArray::make();
    for (const auto& id : standin().state().liked(user)) results->addObject(standin().state().itemObject(catalogue, id));
    response.setJson(*NSJSONSerialization::stringWithJSONObject(NSDictionary::make({{"results", results}, {"next", NSString::make("")}})));
    entered = true;
    released.wait_for(std::chrono::seconds(20));
  });
  manager()->synchronizeAllCollections();
  ASSERT_TRUE(eventually([&] { return entered.load(); }));
  EXPECT_FALSE(manager()->favoriteVornWithVorn(item(6)));
  EXPECT_TRUE(eventually([&] { return state.liked(amy.userid).empty(); }));
  release.set_value();
  settle();
  EXPECT_TRUE(vids(favorites).empty());
}

// Adding a GIF file does not read it on the main thread: a file whose reading blocks (a pipe
// here; a large file or a slow disk elsewhere) does not hold up the interface.
TEST_F(Service, AddingAGifFileReadsItAwayFromTheMainThread) {
  auto amy = signIn("amy", "tok-amy");
  const auto path = home() / "slow.gif";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  std::mutex mutex;
  std::condition_variable changed;
  bool returned = false;
  bool returnedInTime = false;
  std::thread writer([&] {
    {
      // A reader on the main thread waits for this writer: it comes after a long while anyway.
      std::unique_lock lock(mutex);
      returnedInTime = changed.wait_for(lock, std::chrono::seconds(20), [&] { return returned; });
    }
    std::ofstream(path, std::ios::binary) << std::string("GIF89a\x01\x00\x01\x00;", 11);
  });
  manager()->getSavedCollection()->append(
      VornObject::initWithLocalFileUrl(NSURL::fileURLWithPath(path.string(), false), std::nullopt, nullptr, false));
  {
    std::lock_guard lock(mutex);
    returned = true;
  }
  changed.notify_all();
  EXPECT_TRUE(eventually([&] { return standin().state().saved(amy.userid).size() == 1; }));
  // Should nothing have opened the pipe to read, a reader of our own lets the writer finish.
  int unblock = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  writer.join();
  if (unblock >= 0) ::close(unblock);
  EXPECT_TRUE(returnedInTime) << "the file was read on the main thread";
}

}  // namespace
