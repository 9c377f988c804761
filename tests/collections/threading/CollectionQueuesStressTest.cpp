// Both synchronisation queues busy while the main thread keeps changing the collections.
#include "tests/collections/CollectionsFixture.h"

namespace {

using CollectionQueuesStress = CollectionsTest;

TEST_F(CollectionQueuesStress, BothQueuesRunWhileTheMainThreadChangesTheStore) {
  auto amy = signIn("amy", "tok-amy");
  auto& state = standin().state();
  for (std::size_t n = 0; n < 4; ++n) {
    auto served = state.createCollection("pack" + std::to_string(n), amy.userid);
    for (std::size_t i = 0; i < 5; ++i) state.addToCollection(served, itemId(20 + n * 5 + i));
  }
  for (std::size_t n = 0; n < 6; ++n) state.setLiked(amy.userid, itemId(40 + n), true);
  manager()->synchronizeLocalAndServerAPI(state.collectionObjects(amy.userid, standin().baseURL()), true);
  // Unsent GIFs as a signed-out user would have left them.
  signOut();
  for (std::size_t n = 0; n < 12; ++n) manager()->getFavoritesCollection()->append(item(n));
  for (std::size_t n = 0; n < 4; ++n) manager()->getSavedCollection()->append(localGif());
  storeUser(amy, "tok-amy");

  for (int round = 0; round < 3; ++round) {
    manager()->queueItemsForSynchronization(round > 0);
    manager()->synchronizeAllCollections();
    for (std::size_t n = 0; n < 10; ++n) {
      manager()->addVornToRecents(item(60 + (n + round) % 7));
      manager()->isVornInFavoritesWithVorn(item(n));
      drainMainQueue();
    }
  }
  settle();
  EXPECT_TRUE(runUntil([&] {
    drainMainQueue();
    return state.liked(amy.userid).size() == 18 && state.saved(amy.userid).size() == 4 &&
           !manager()->getFavoritesCollection()->interruptedUploadContent() &&
           !manager()->getSavedCollection()->interruptedUploadContent();
  }, 120.0));
  settle();
  EXPECT_EQ(manager()->getRecentsCollection()->vorns().size(), 7u);
  EXPECT_EQ(manager()->getCollection("pack2")->vorns().size(), 5u);
  auto favorites = manager()->getFavoritesCollection()->vorns();
  EXPECT_EQ(favorites.size(), 18u);
  relaunch();
  EXPECT_EQ(manager()->getFavoritesCollection()->vorns().size(), 18u);
  EXPECT_EQ(manager()->getSavedCollection()->vorns().size(), 4u);
}

}  // namespace
