#include "collections/AccountCollections.h"

#include "account/UserCollections.h"
#include "collections/CollectionManager.h"
#include "platform/foundation/NSArray.h"

namespace {

class ManagerUserCollections : public UserCollections {
 public:
  void signedInUserDidChange(const std::shared_ptr<QuorbUser>& previous, const std::shared_ptr<QuorbUser>& current) override {
    CollectionManager::sharedInstance()->signedInUserDidChange(previous, current);
  }
  void handOverLocalCollections() override { CollectionManager::sharedInstance()->handOverLocalCollections(); }
  void purgeCollections() override { CollectionManager::sharedInstance()->purgeCollections(); }
  void mergeServerCollections(const std::vector<std::shared_ptr<NSDictionary>>& collections, bool deleteNotFound) override {
    auto list = NSArray::make();
    for (const auto& collection : collections) list->addObject(collection);
    CollectionManager::sharedInstance()->synchronizeLocalAndServerAPI(list, deleteNotFound);
  }
};

}  // namespace

bool AccountCollections::registerWithAccount() {
  UserCollections::registerHandler(std::make_shared<ManagerUserCollections>());
  return true;
}
