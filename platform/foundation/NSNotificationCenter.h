#pragma once
// Delivers notifications to the observers registered for them: synchronously, on the
// poster's thread, unless an observer asked for an operation queue. Observers are matched
// by name (empty: every name) and by sender (empty: every sender; otherwise that very
// object). Thread-safe; observers may remove themselves or others while a post runs, and
// a removed observer is not called again.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSNotification.h"

class NSOperationQueue;

class NSNotificationCenter : public NSObject {
 public:
  using Block = std::function<void(const std::shared_ptr<NSNotification>&)>;

  static std::shared_ptr<NSNotificationCenter> defaultCenter();
  // A centre of its own, apart from the default one.
  static std::shared_ptr<NSNotificationCenter> make();

  // Registers a block and answers the observer token. Destroying the token (or passing it
  // to removeObserver) ends the observation; the centre does not keep the token alive.
  [[nodiscard]] id addObserverForName(std::string_view name, const id& object,
                                      const std::shared_ptr<NSOperationQueue>& queue, Block block);

  // Registers on behalf of an observer object, held weakly: the handler is called while
  // the observer lives, and removeObserver(observer) ends all of its observations.
  void addObserver(const std::shared_ptr<NSObject>& observer, Block handler, std::string_view name,
                   const id& object);
  // The same with a member function of the observer, which is not kept alive by it.
  template <typename T>
  void addObserver(const std::shared_ptr<T>& observer, void (T::*method)(const std::shared_ptr<NSNotification>&),
                   std::string_view name, const id& object) {
    std::weak_ptr<T> weak = observer;
    addObserver(std::static_pointer_cast<NSObject>(observer),
                [weak, method](const std::shared_ptr<NSNotification>& notification) {
                  if (auto strong = weak.lock()) ((*strong).*method)(notification);
                },
                name, object);
  }

  // Ends the observations of an observer object, or the one of a token.
  void removeObserver(const id& observer);
  // Ends only those of the observer that match the name (empty: any) and sender (empty: any).
  void removeObserver(const id& observer, std::string_view name, const id& object);

  void postNotification(const std::shared_ptr<NSNotification>& notification);
  void postNotificationName(std::string name, const id& object, std::shared_ptr<NSDictionary> userInfo = nullptr);

  GLIMDECK_OBJECT(NSNotificationCenter)

 private:
  struct Registration;
  class Token;
  NSNotificationCenter() = default;
  void add(std::shared_ptr<Registration> registration);
  void removeWhere(const std::function<bool(const Registration&)>& matches);

  std::mutex mutex_;
  std::vector<std::shared_ptr<Registration>> registrations_;
  std::uint64_t nextNumber_ = 1;
};
