#pragma once
// The user's settings. Reads look in the application's own domain, then in the read-only
// global domain, then in the registration domain. The application domain is a binary
// property list at Paths::preferences()/"<bundle identifier>.plist", rewritten atomically
// on every change so that the next process sees it; the global domain is read from
// Paths::preferences()/".GlobalPreferences.plist". Safe to use from any thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"

class NSUserDefaults;

// Keeps an observer registered while it lives.
class NSUserDefaultsObservation {
 public:
  ~NSUserDefaultsObservation();
  NSUserDefaultsObservation(const NSUserDefaultsObservation&) = delete;
  NSUserDefaultsObservation& operator=(const NSUserDefaultsObservation&) = delete;

 private:
  friend class NSUserDefaults;
  NSUserDefaultsObservation(std::weak_ptr<NSUserDefaults> defaults, std::uint64_t token)
      : defaults_(std::move(defaults)), token_(token) {}
  std::weak_ptr<NSUserDefaults> defaults_;
  std::uint64_t token_;
};

class NSUserDefaults : public NSObject {
 public:
  // Told the value a key read as before a change and after it (either may be empty).
  using Observer = std::function<void(const id& oldValue, const id& newValue)>;

  static std::shared_ptr<NSUserDefaults> standardUserDefaults();
  // Forgets the standard instance; the next call reads the files again (from the current HOME).
  static void resetStandardUserDefaults();

  id objectForKey(std::string_view key) const;
  id valueForKey(std::string_view key) const { return objectForKey(key); }
  // Texts, and numbers as their text.
  std::shared_ptr<NSString> stringForKey(std::string_view key) const;
  // Numbers, and texts by the platform's text rules; anything else reads as false or zero.
  bool boolForKey(std::string_view key) const;
  std::int64_t integerForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  std::shared_ptr<NSData> dataForKey(std::string_view key) const;
  std::shared_ptr<NSArray> arrayForKey(std::string_view key) const;
  std::shared_ptr<NSDictionary> dictionaryForKey(std::string_view key) const;

  // Stores a property-list value (an empty one removes the key). Other values are refused
  // with a diagnostic.
  void setObject(const id& value, std::string_view key);
  void setValue(const id& value, std::string_view key) { setObject(value, key); }
  void setBool(bool value, std::string_view key);
  void setInteger(std::int64_t value, std::string_view key);
  void setDouble(double value, std::string_view key);
  void removeObjectForKey(std::string_view key);

  // Values used when neither the application nor the global domain has the key; never stored.
  void registerDefaults(const std::shared_ptr<NSDictionary>& registrationDictionary);

  // Writes what is not yet on disk and reads the global domain again; false when the
  // application domain could not be written.
  bool synchronize();

  // Every key with the value it reads as.
  std::shared_ptr<NSDictionary> dictionaryRepresentation() const;

  [[nodiscard]] std::unique_ptr<NSUserDefaultsObservation> observeValueForKey(std::string key, Observer observer);

  const std::filesystem::path& path() const { return path_; }
  GLIMDECK_OBJECT(NSUserDefaults)

 private:
  friend class NSUserDefaultsObservation;
  NSUserDefaults(std::filesystem::path path, std::filesystem::path globalPath);
  void load();
  std::shared_ptr<NSDictionary> readGlobalDomain() const;
  bool writeLocked();
  id effectiveLocked(std::string_view key) const;
  // Runs a change under the lock, then tells the observers of the keys whose value changed.
  void change(const std::function<void()>& mutation, const std::vector<std::string>& keys);
  void removeObserver(std::uint64_t token);

  const std::filesystem::path path_;
  const std::filesystem::path globalPath_;
  mutable std::mutex mutex_;
  std::shared_ptr<NSDictionary> application_;
  std::shared_ptr<NSDictionary> global_;
  std::shared_ptr<NSDictionary> registration_;
  bool dirty_ = false;

  // One observer. A call holds `calling`, and unregistering takes it too, so once a token
  // is gone its observer is neither running nor called again (it may drop its own token).
  struct Registration {
    std::string key;
    Observer observer;
    std::recursive_mutex calling;
    bool active = true;
  };
  std::mutex observersMutex_;
  std::map<std::uint64_t, std::shared_ptr<Registration>> observers_;
  std::uint64_t nextToken_ = 1;
};
