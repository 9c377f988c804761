#pragma once
// The collections store's stack: the model "FrequencyStoreModel" with its one entity
// "Collection", the coordinator of "zg.sqlite" in the application-support folder and the
// main-queue context every collection operation uses. Each is made once, on first use (from
// any thread); the setters replace them (a relaunch, in tests).

#include <memory>
#include <string_view>

#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/foundation/NSURL.h"

class CoreDataContext : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view modelName = "FrequencyStoreModel";
    static constexpr std::string_view storeFileName = "zg.sqlite";
    static constexpr std::string_view entityName = "Collection";
    static constexpr std::string_view unresolvedError = "Unresolved error ";
  };
  // The schema version of the model; a store of a later one is left alone. Version 2 added
  // what waits for the service (removals, subscriptions) and what no account owns yet.
  static constexpr int modelVersion = 2;

  static std::shared_ptr<NSURL> sharedApplicationDirectory();
  static std::shared_ptr<NSManagedObjectModel> managedObjectModel();
  // Opening failures print one "Unresolved error " line; see NSPersistentStoreCoordinator.
  static std::shared_ptr<NSPersistentStoreCoordinator> persistentStoreCoordinator();
  static std::shared_ptr<NSManagedObjectContext> managedObjectContext();
  static std::shared_ptr<NSManagedObjectContext> disposableObjectContext();
  static void setSharedApplicationDirectory(std::shared_ptr<NSURL> value);
  static void setManagedObjectModel(std::shared_ptr<NSManagedObjectModel> value);
  static void setPersistentStoreCoordinator(std::shared_ptr<NSPersistentStoreCoordinator> value);
  static void setManagedObjectContext(std::shared_ptr<NSManagedObjectContext> value);
  static void setDisposableObjectContext(std::shared_ptr<NSManagedObjectContext> value);
  // Forgets all five, so the next use opens the store again.
  static void reset();

  // Saves the main context when it has changes; a failure prints an "Unresolved error " line.
  static void save();
  // Whether saves reach a store: false when the store was left alone at opening (a newer
  // schema, or a file that could not be used then), which was said once at the time.
  static bool storeIsAvailable();

  GLIMDECK_OBJECT(CoreDataContext)
};
