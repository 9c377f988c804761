#include "platform/foundation/NSNotificationCenter.h"

#include <atomic>

#include "platform/foundation/NSOperationQueue.h"

struct NSNotificationCenter::Registration {
  // An object remembered without being kept alive. It is compared by address and by
  // ownership, so once it is gone a new object at the same address never matches it.
  struct WeakIdentity {
    const NSObject* address = nullptr;
    std::weak_ptr<NSObject> owner;

    WeakIdentity() = default;
    explicit WeakIdentity(const id& object) : address(object.get()), owner(object) {}

    bool isEmpty() const { return address == nullptr; }
    bool matches(const id& object) const {
      return object && object.get() == address && !owner.owner_before(object) && !object.owner_before(owner);
    }
  };

  std::uint64_t number = 0;
  std::string name;      // empty: every name
  WeakIdentity sender;   // empty: every sender
  WeakIdentity observer; // empty: registered with a token
  std::shared_ptr<NSOperationQueue> queue;
  Block block;
  std::atomic<bool> removed{false};

  bool matches(const NSNotification& notification) const {
    if (!name.empty() && name != notification.name()) return false;
    return sender.isEmpty() || sender.matches(notification.object());
  }
};

class NSNotificationCenter::Token : public NSObject {
 public:
  Token(std::weak_ptr<NSNotificationCenter> center, std::uint64_t number)
      : center_(std::move(center)), number_(number) {}
  ~Token() override { remove(); }

  void remove() const {
    if (auto center = center_.lock()) {
      auto number = number_;
      center->removeWhere([number](const Registration& registration) { return registration.number == number; });
    }
  }
  bool belongsTo(const NSNotificationCenter* center) const { return center_.lock().get() == center; }
  std::uint64_t number() const { return number_; }
  std::string className() const override { return "NSNotificationObserverToken"; }

 private:
  std::weak_ptr<NSNotificationCenter> center_;
  std::uint64_t number_;
};

std::shared_ptr<NSNotificationCenter> NSNotificationCenter::defaultCenter() {
  // Never destroyed: any thread may post (ProcessShutdown.h).
  static const std::shared_ptr<NSNotificationCenter>& center = *new std::shared_ptr<NSNotificationCenter>(make());
  return center;
}

std::shared_ptr<NSNotificationCenter> NSNotificationCenter::make() {
  return std::shared_ptr<NSNotificationCenter>(new NSNotificationCenter());
}

void NSNotificationCenter::add(std::shared_ptr<Registration> registration) {
  std::lock_guard lock(mutex_);
  registration->number = nextNumber_++;
  registrations_.push_back(std::move(registration));
}

id NSNotificationCenter::addObserverForName(std::string_view name, const id& object,
                                            const std::shared_ptr<NSOperationQueue>& queue, Block block) {
  if (!block) return nullptr;
  auto registration = std::make_shared<Registration>();
  registration->name = name;
  registration->sender = Registration::WeakIdentity(object);
  registration->queue = queue;
  registration->block = std::move(block);
  add(registration);
  return std::make_shared<Token>(sharedAs<NSNotificationCenter>(), registration->number);
}

void NSNotificationCenter::addObserver(const std::shared_ptr<NSObject>& observer, Block handler,
                                       std::string_view name, const id& object) {
  if (!observer || !handler) return;
  auto registration = std::make_shared<Registration>();
  registration->name = name;
  registration->sender = Registration::WeakIdentity(object);
  registration->observer = Registration::WeakIdentity(observer);
  registration->block = std::move(handler);
  add(std::move(registration));
}

void NSNotificationCenter::removeWhere(const std::function<bool(const Registration&)>& matches) {
  // Removed registrations are let go after the lock: their blocks may own tokens whose
  // destruction comes back here.
  std::vector<std::shared_ptr<Registration>> removed;
  std::lock_guard lock(mutex_);
  std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& registration) {
    if (!matches(*registration)) return false;
    registration->removed.store(true);
    removed.push_back(registration);
    return true;
  });
}

void NSNotificationCenter::removeObserver(const id& observer) {
  if (!observer) return;
  if (auto token = asA<Token>(observer)) {
    if (token->belongsTo(this)) token->remove();
    return;
  }
  removeWhere([&](const Registration& registration) { return registration.observer.matches(observer); });
}

void NSNotificationCenter::removeObserver(const id& observer, std::string_view name, const id& object) {
  if (!observer) return;
  auto narrowed = [&](const Registration& registration) {
    if (!name.empty() && registration.name != name) return false;
    return !object || registration.sender.matches(object);
  };
  if (auto token = asA<Token>(observer)) {
    if (!token->belongsTo(this)) return;
    auto number = token->number();
    removeWhere([&](const Registration& registration) { return registration.number == number && narrowed(registration); });
    return;
  }
  removeWhere([&](const Registration& registration) {
    return registration.observer.matches(observer) && narrowed(registration);
  });
}

void NSNotificationCenter::postNotification(const std::shared_ptr<NSNotification>& notification) {
  if (!notification) return;
  std::vector<std::shared_ptr<Registration>> matched;
  std::vector<std::shared_ptr<Registration>> gone;  // observers that are gone, let go after the lock
  {
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& registration) {
      if (!registration->observer.isEmpty() && registration->observer.owner.expired()) {
        registration->removed.store(true);
        gone.push_back(registration);
        return true;
      }
      if (registration->matches(*notification)) matched.push_back(registration);
      return false;
    });
  }
  for (const auto& registration : matched) {
    // Removed by an earlier observer of this very post: not called.
    if (registration->removed.load()) continue;
    if (registration->queue) {
      registration->queue->addOperationWithBlock([registration, notification] {
        if (!registration->removed.load()) registration->block(notification);
      });
      continue;
    }
    std::shared_ptr<NSObject> observer;
    if (!registration->observer.isEmpty()) {
      observer = registration->observer.owner.lock();
      if (!observer) continue;
    }
    registration->block(notification);
  }
}

void NSNotificationCenter::postNotificationName(std::string name, const id& object,
                                                std::shared_ptr<NSDictionary> userInfo) {
  postNotification(NSNotification::notificationWithName(std::move(name), object, std::move(userInfo)));
}
