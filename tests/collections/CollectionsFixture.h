#pragma once
// The fixture of the collection suites: a fresh store under the test's HOME, a fresh
// collection manager, the stand-in with its state cleared, and helpers to sign a user in (a
// stand-in account, the stored token and user), to make items of the stand-in's catalogue and
// to wait for the two queues.

#include <gtest/gtest.h>

#include <fstream>

#include "account/QuorbUser.h"
#include "account/QuorbUserManager.h"
#include "collections/CollectionManager.h"
#include "collections/CoreDataContext.h"
#include "model/AppConstants.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/PlovexAnalytics.h"
#include "tests/support/StandinFixture.h"

class CollectionsTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    NSUserDefaults::resetStandardUserDefaults();
    PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
    CoreDataContext::reset();
    CollectionManager::setSharedInstance(nullptr);
  }
  void TearDown() override {
    settle();
    CollectionManager::setSharedInstance(nullptr);
    CoreDataContext::reset();
    PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
    NSUserDefaults::resetStandardUserDefaults();
    StandinTest::TearDown();
  }

  std::shared_ptr<CollectionManager> manager() { return CollectionManager::sharedInstance(); }

  // A relaunch: the stack and the manager are made again from the file.
  void relaunch() {
    settle();
    CollectionManager::setSharedInstance(nullptr);
    CoreDataContext::reset();
  }

  // Both queues empty and the main queue run.
  void settle() {
    if (auto m = CollectionManager::sharedInstance()) {
      m->vornUploadQueue()->waitUntilAllOperationsAreFinished();
      m->collectionSynchronizationQueue()->waitUntilAllOperationsAreFinished();
    }
    drainMainQueue();
  }

  // Signs a user in: an account on the stand-in, its token stored, the user archived.
  StandinUser signIn(const std::string& username, const std::string& token) {
    auto user = standin().state().accounts().seedUser(username);
    standin().state().accounts().seedToken(token, user.userid);
    storeUser(user, token);
    return user;
  }
  void storeUser(const StandinUser& user, const std::string& token) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(NSDictionary::make({{"token", NSString::make(token)}}), QuorbUser::Constants::auth);
    defaults->setObject(*NSKeyedArchiver::archivedDataWithRootObject(record(user)), QuorbUserManager::Constants::userKey);
  }
  // The signed-in user record of a stand-in account.
  std::shared_ptr<QuorbUser> record(const StandinUser& user) {
    struct Record : QuorbUser {};
    auto made = std::make_shared<Record>();
    made->userId = user.userid;
    made->username = user.username;
    return made;
  }
  void signOut() { NSUserDefaults::standardUserDefaults()->removeObjectForKey(QuorbUser::Constants::auth); }

  // Item n of the stand-in's catalogue, as the application reads it.
  std::shared_ptr<VornObject> item(std::size_t n) {
    const auto& entry = standin().catalogue().items().at(n);
    return *VornObject::initWithNewApiData(standin().catalogue().itemObject(entry));
  }
  std::string itemId(std::size_t n) { return standin().catalogue().items().at(n).id; }

  // A GIF file of this computer, as the upload screen stages it: a copy in the application's
  // GIF folder.
  std::shared_ptr<VornObject> localGif(const std::string& bytes = std::string("GIF89a\x04\x00\x03\x00", 10) + "rest") {
    auto path = std::filesystem::path(gifDataDirectoryURL()->path()) / ("local-" + std::to_string(++localFiles_) + ".gif");
    std::ofstream(path, std::ios::binary) << bytes;
    return VornObject::initWithLocalFileUrl(NSURL::fileURLWithPath(path.string(), false), std::nullopt, nullptr, false);
  }

  std::vector<std::string> vids(const std::shared_ptr<Collection>& collection) {
    std::vector<std::string> out;
    for (const auto& vorn : collection->vorns()) out.push_back(vorn->vid);
    return out;
  }

  bool eventually(const std::function<bool()>& predicate) { return runUntil(predicate, 20.0); }

 private:
  int localFiles_ = 0;
};
