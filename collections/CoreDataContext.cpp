#include "collections/CoreDataContext.h"

#include <mutex>

#include "collections/Collection.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Paths.h"

namespace {

struct Stack {
  std::recursive_mutex mutex;
  std::shared_ptr<NSURL> directory;
  std::shared_ptr<NSManagedObjectModel> model;
  std::shared_ptr<NSPersistentStoreCoordinator> coordinator;
  std::shared_ptr<NSManagedObjectContext> context;
  std::shared_ptr<NSManagedObjectContext> disposable;
};

Stack& stack() {
  static auto* shared = new Stack();
  return *shared;
}

void logUnresolved(const std::shared_ptr<NSError>& error) {
  OutputSink::print(std::string(CoreDataContext::Constants::unresolvedError) + error->description() + ", " +
                    (error->userInfo() ? error->userInfo()->description() : std::string("{}")));
}

}  // namespace

std::shared_ptr<NSURL> CoreDataContext::sharedApplicationDirectory() {
  auto& s = stack();
  std::lock_guard lock(s.mutex);
  if (!s.directory) s.directory = NSURL::fileURLWithPath(Paths::applicationSupport().string(), true);
  return s.directory;
}

std::shared_ptr<NSManagedObjectModel> CoreDataContext::managedObjectModel() {
  auto& s = stack();
  std::lock_guard lock(s.mutex);
  if (!s.model) {
    using T = NSAttributeType;
    auto entity = NSEntityDescription::make(std::string(Constants::entityName),
                                            {{"autoPublish", T::integer64},
                                             {"dateCreated", T::date},
                                             {"identifier", T::integer64},
                                             {"name", T::string},
                                             {"permissions", T::integer64},
                                             {"previewURL", T::URI},
                                             {"vorns", T::orderedArchives},
                                             {"specialCollectionType", T::integer64},
                                             {"url", T::URI},
                                             {"isSubscription", T::boolean},
                                             {"creator", T::transformable},
                                             {"anonymousToken", T::string},
                                             {"interruptedUploadContent", T::transformable},
                                             {"dateModified", T::date},
                                             {"pendingRemovals", T::transformable},
                                             {"anonymousVorns", T::transformable},
                                             {"awaitingHandOver", T::boolean}},
                                            [] { return Collection::make(); });
    // Subscriptions kept from before version 2 that the service never listed (it gives its
    // own a page address) were made without an account and still wait to be handed over.
    std::vector<NSMigrationStep> migrations{
        {2,
         {R"(ALTER TABLE "Collection" ADD COLUMN "pendingRemovals" BLOB)",
          R"(ALTER TABLE "Collection" ADD COLUMN "anonymousVorns" BLOB)",
          R"(ALTER TABLE "Collection" ADD COLUMN "awaitingHandOver" INTEGER)",
          R"(UPDATE "Collection" SET "awaitingHandOver" = 1 WHERE "isSubscription" = 1 AND "url" IS NULL)"}}};
    s.model = NSManagedObjectModel::make(std::string(Constants::modelName), modelVersion, {entity}, std::move(migrations));
  }
  return s.model;
}

std::shared_ptr<NSPersistentStoreCoordinator> CoreDataContext::persistentStoreCoordinator() {
  auto& s = stack();
  std::lock_guard lock(s.mutex);
  if (!s.coordinator) {
    auto model = managedObjectModel();
    if (!model) return nullptr;
    s.coordinator = NSPersistentStoreCoordinator::make(model);
    auto url = sharedApplicationDirectory()->URLByAppendingPathComponent(Constants::storeFileName, false);
    if (auto added = s.coordinator->addPersistentStoreWithURL(url); !added) logUnresolved(added.error());
  }
  return s.coordinator;
}

std::shared_ptr<NSManagedObjectContext> CoreDataContext::managedObjectContext() {
  auto& s = stack();
  std::lock_guard lock(s.mutex);
  if (!s.context) {
    auto coordinator = persistentStoreCoordinator();
    if (!coordinator) return nullptr;
    s.context = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
    s.context->persistentStoreCoordinator = coordinator;
    s.context->mergePolicy = 2;
  }
  return s.context;
}

std::shared_ptr<NSManagedObjectContext> CoreDataContext::disposableObjectContext() {
  auto& s = stack();
  std::lock_guard lock(s.mutex);
  if (!s.disposable) {
    s.disposable = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::privateQueue);
    s.disposable->parentContext = managedObjectContext();
  }
  return s.disposable;
}

void CoreDataContext::setSharedApplicationDirectory(std::shared_ptr<NSURL> value) {
  std::lock_guard lock(stack().mutex);
  stack().directory = std::move(value);
}
void CoreDataContext::setManagedObjectModel(std::shared_ptr<NSManagedObjectModel> value) {
  std::lock_guard lock(stack().mutex);
  stack().model = std::move(value);
}
void CoreDataContext::setPersistentStoreCoordinator(std::shared_ptr<NSPersistentStoreCoordinator> value) {
  std::lock_guard lock(stack().mutex);
  stack().coordinator = std::move(value);
}
void CoreDataContext::setManagedObjectContext(std::shared_ptr<NSManagedObjectContext> value) {
  std::lock_guard lock(stack().mutex);
  stack().context = std::move(value);
}
void CoreDataContext::setDisposableObjectContext(std::shared_ptr<NSManagedObjectContext> value) {
  std::lock_guard lock(stack().mutex);
  stack().disposable = std::move(value);
}

void CoreDataContext::reset() {
  auto& s = stack();
  std::lock_guard lock(s.mutex);
  s.disposable.reset();
  s.context.reset();
  s.coordinator.reset();
  s.model.reset();
  s.directory.reset();
}

bool CoreDataContext::storeIsAvailable() {
  auto coordinator = persistentStoreCoordinator();
  return coordinator && coordinator->storeState() == NSPersistentStoreCoordinator::StoreState::open;
}

void CoreDataContext::save() {
  auto context = managedObjectContext();
  if (!context || !context->hasChanges() || !storeIsAvailable()) return;
  if (auto saved = context->save(); !saved) logUnresolved(saved.error());
}
