#include "collections/CoreDataContext.h"

#include <algorithm>
#include <mutex>

#include "collections/Collection.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
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

bool isBusy(const std::shared_ptr<NSError>& error) {
  return error && error->code() == NSPersistentStoreCoordinator::NSPersistentStoreTimeoutError;
}

bool isHeld(const std::shared_ptr<NSPersistentStoreCoordinator>& coordinator) {
  return coordinator && coordinator->storeState() == NSPersistentStoreCoordinator::StoreState::busy;
}

// Saves held up by another program (or the store's opening), and the log's next checkpoint.
// Main thread only.
struct Saving {
  bool heldUp = false;
  bool retryPlanned = false;
  double retryDelay = CoreDataContext::retryFirstDelay;
  std::shared_ptr<RunLoopTimerToken> retry;
  std::shared_ptr<RunLoopTimerToken> checkpoint;
  // A checkpoint a reader held off is tried again after this long, growing as saves' do.
  double checkpointRetryDelay = CoreDataContext::retryFirstDelay;
  double lastSave = 0;
};

Saving& saving() {
  static auto* shared = new Saving();
  return *shared;
}

void forgetSaving() {
  auto& s = saving();
  if (s.retry) s.retry->cancel();
  if (s.checkpoint) s.checkpoint->cancel();
  s = Saving{};
}

void resumed() {
  auto& s = saving();
  if (!s.heldUp) return;
  s.heldUp = false;
  s.retryDelay = CoreDataContext::retryFirstDelay;
  OutputSink::print(CoreDataContext::Constants::resumedLine);
}

// Folds the log into the file once no save has come for a while: one timer for a run of
// saves, moved on by each.
void scheduleCheckpoint(const std::weak_ptr<NSPersistentStoreCoordinator>& weak, double delay) {
  saving().checkpoint = DispatchQueue::main()->asyncAfter(delay, [weak] {
    auto& s = saving();
    s.checkpoint.reset();
    auto coordinator = weak.lock();
    if (!coordinator) return;
    if (coordinator->storeState() != NSPersistentStoreCoordinator::StoreState::open) return;
    const double quiet = Clock::current().now() - s.lastSave;
    if (quiet < CoreDataContext::checkpointDelay) return scheduleCheckpoint(weak, CoreDataContext::checkpointDelay - quiet);
    if (coordinator->checkpoint()) {
      s.checkpointRetryDelay = CoreDataContext::retryFirstDelay;
      return;
    }
    // Partly, or not at all, while another program reads: the rest goes once it has let go,
    // not only after the next save, which may be days away.
    const double delay = s.checkpointRetryDelay;
    s.checkpointRetryDelay = std::min(delay * 2, CoreDataContext::retryLongestDelay);
    scheduleCheckpoint(weak, delay);
  });
}

void noteSaved(const std::shared_ptr<NSPersistentStoreCoordinator>& coordinator) {
  auto& s = saving();
  s.lastSave = Clock::current().now();
  s.checkpointRetryDelay = CoreDataContext::retryFirstDelay;
  if (!s.checkpoint && coordinator) scheduleCheckpoint(coordinator, CoreDataContext::checkpointDelay);
}

std::shared_ptr<NSURL> storeURL() {
  return CoreDataContext::sharedApplicationDirectory()->URLByAppendingPathComponent(CoreDataContext::Constants::storeFileName,
                                                                                     false);
}

// Opens the store another program held until now. What the store holds then meets what
// changed in memory meanwhile: the owner of the collections merges them, told before the
// next save. False while the store is still held.
bool openHeldStore(const std::shared_ptr<NSManagedObjectContext>& context) {
  auto coordinator = context->persistentStoreCoordinator;
  if (auto added = coordinator->addPersistentStoreWithURL(storeURL()); !added) {
    if (isHeld(coordinator)) return false;
    // Damaged (and started afresh), newer, or unusable: said as at a launch.
    logUnresolved(added.error());
  }
  if (coordinator->storeState() == NSPersistentStoreCoordinator::StoreState::open) {
    NSNotificationCenter::defaultCenter()->postNotificationName(std::string(CoreDataContext::Constants::storeDidOpenNotification),
                                                                context);
  }
  return true;
}

void holdUp(const std::shared_ptr<NSManagedObjectContext>& context) {
  auto& s = saving();
  if (!s.heldUp) {
    s.heldUp = true;
    OutputSink::print(CoreDataContext::Constants::heldUpLine);
  }
  if (s.retryPlanned) return;
  s.retryPlanned = true;
  const double delay = s.retryDelay;
  s.retryDelay = std::min(delay * 2, CoreDataContext::retryLongestDelay);
  std::weak_ptr<NSManagedObjectContext> weak = context;
  s.retry = DispatchQueue::main()->asyncAfter(delay, [weak] {
    saving().retryPlanned = false;
    auto context = weak.lock();
    if (!context || !context->persistentStoreCoordinator) return;
    if (isHeld(context->persistentStoreCoordinator) && !openHeldStore(context)) return holdUp(context);
    if (context->persistentStoreCoordinator->storeState() != NSPersistentStoreCoordinator::StoreState::open) return;
    // Saved meanwhile by another save: nothing is held up any more.
    if (!context->hasChanges()) return resumed();
    if (auto saved = CoreDataContext::saveContext(context); !saved) logUnresolved(saved.error());
  });
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
    // One another program holds is opened again later (see managedObjectContext), and said
    // to hold saves up rather than to have failed.
    if (auto added = s.coordinator->addPersistentStoreWithURL(storeURL()); !added && !isHeld(s.coordinator)) {
      logUnresolved(added.error());
    }
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
    if (isHeld(coordinator)) {
      // Nothing waits for the store at launch: the collections start in memory, and the store
      // is opened again as held saves are tried again.
      std::weak_ptr<NSManagedObjectContext> weak = s.context;
      auto hold = [weak] {
        if (auto context = weak.lock()) holdUp(context);
      };
      if (NSRunLoop::isMainThread()) hold();
      else DispatchQueue::main()->async(hold);
    }
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
  forgetSaving();
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
  if (auto saved = saveContext(context); !saved) logUnresolved(saved.error());
}

NSManagedObjectContext::Result CoreDataContext::saveContext(const std::shared_ptr<NSManagedObjectContext>& context) {
  if (!context) return {};
  const bool changes = context->hasChanges();
  auto saved = context->save();
  if (!saved) {
    if (!isBusy(saved.error())) return saved;
    holdUp(context);
    return {};
  }
  resumed();
  if (changes) noteSaved(context->persistentStoreCoordinator);
  return {};
}

void CoreDataContext::close() {
  std::shared_ptr<NSManagedObjectContext> context;
  std::shared_ptr<NSPersistentStoreCoordinator> coordinator;
  {
    auto& s = stack();
    std::lock_guard lock(s.mutex);
    context = s.context;
    coordinator = s.coordinator;
  }
  forgetSaving();
  // A store never opened stays so.
  if (!coordinator) return;
  if (context && context->hasChanges() && isHeld(coordinator)) {
    // Held since the launch: it gets the same last, short wait as a held save.
    coordinator->setBusyTimeout(closingWait);
    if (!openHeldStore(context)) OutputSink::print(Constants::unsavedAtCloseLine);
  }
  if (context && context->hasChanges() && coordinator->storeState() == NSPersistentStoreCoordinator::StoreState::open) {
    coordinator->setBusyTimeout(closingWait);
    if (auto saved = context->save(); !saved) {
      if (isBusy(saved.error())) OutputSink::print(Constants::unsavedAtCloseLine);
      else logUnresolved(saved.error());
    }
  }
  coordinator->removePersistentStore();
}
