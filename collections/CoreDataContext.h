#pragma once
// The collections store's stack: the model "FrequencyStoreModel" with its one entity
// "Collection", the coordinator of "zg.sqlite" in the application-support folder and the
// main-queue context every collection operation uses. Each is made once, on first use (from
// any thread); the setters replace them (a relaunch, in tests).
//
// Saves never wait for the store: when another program holds it (the sqlite3 tool with a
// transaction open, a backup writing) the changes stay pending and are saved again shortly,
// until they land. Nor does the launch: a store held then is opened again as saves are tried
// again, and the collections live in memory meanwhile. Once saves have gone quiet the store's log is folded into its file, and
// closing at the end of the process does it for good, so that zg.sqlite alone holds the
// collections.

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
    static constexpr std::string_view heldUpLine =
        "Saving is held up: another program is using the collections store. Changes are kept and saved once it lets go.";
    static constexpr std::string_view resumedLine = "Saving has resumed: every change is in the collections store.";
    static constexpr std::string_view unsavedAtCloseLine =
        "Changes could not be saved before the end: another program kept the collections store.";
    // Posted on the main thread, with the main context, when the store opens after another
    // program held it: what the store holds meets what changed in memory meanwhile, and is
    // merged before the changes are saved.
    static constexpr std::string_view storeDidOpenNotification = "CoreDataContextStoreDidOpenNotification";
  };
  // A save that finds the store busy is tried again after this long, then after twice as
  // long each time, up to the longest wait (seconds).
  static constexpr double retryFirstDelay = 0.5;
  static constexpr double retryLongestDelay = 8.0;
  // Saves quiet for this long, the store's log is folded into its file (seconds).
  static constexpr double checkpointDelay = 5.0;
  // How long the last save, at the end of the process, waits for another program to let go
  // of the store (seconds): nothing is on screen any more to wait.
  static constexpr double closingWait = 5.0;
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
  // Saves the context (main thread). A store that another program holds is no failure: the
  // changes stay pending and are tried again shortly until they land, and one line says that
  // saving is held up (one more once it has resumed). Other failures are the caller's to tell.
  static NSManagedObjectContext::Result saveContext(const std::shared_ptr<NSManagedObjectContext>& context);
  // Closes the store at the end of the process (main thread): changes still pending get a
  // last, short wait for the store (also one held since the launch), and SQLite folds the
  // log into the file. The stack stays
  // as it is, without a store: later saves reach nothing and nothing opens it again.
  static void close();
  // Whether saves reach a store: false when the store was left alone at opening (a newer
  // schema, or a file that could not be used then), which was said once at the time, and
  // while another program has held it since the launch.
  static bool storeIsAvailable();

  GLIMDECK_OBJECT(CoreDataContext)
};
