#pragma once
// Binds shortcuts kept in the user defaults to actions: the stored shortcut is held
// system-wide, and whenever the stored value changes (a recorder wrote another, or it was
// removed) the old one is let go and the new one held.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/services/MASShortcut.h"

inline constexpr std::string_view NSValueTransformerBindingOption = "NSValueTransformer";
inline constexpr std::string_view MASDictionaryTransformerName = "MASDictionaryTransformer";

class MASShortcutBinder : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view failurePrefix = "Global shortcut ";
  };

  static std::shared_ptr<MASShortcutBinder> sharedBinder();
  // Drops every binding (between tests).
  static void resetSharedBinder();

  void bindShortcutWithDefaultsKey(std::string_view defaultsKey, std::function<void()> action);
  void breakBindingWithDefaultsKey(std::string_view defaultsKey);
  // The options the bindings were asked to use; stored values are keyed archives whichever is given.
  std::shared_ptr<NSDictionary> bindingOptions() const { return bindingOptions_; }
  void setBindingOptions(const std::shared_ptr<NSDictionary>& options) { bindingOptions_ = options; }
  // The shortcut now bound under the key, if any.
  std::shared_ptr<MASShortcut> shortcutForDefaultsKey(std::string_view defaultsKey) const;

  // The shortcut a stored value holds: a keyed archive of one; anything else holds none.
  static std::shared_ptr<MASShortcut> shortcutFromStoredValue(const id& value);

  GLIMDECK_OBJECT(MASShortcutBinder)

 private:
  struct Binding {
    std::shared_ptr<std::function<void()>> action;
    std::shared_ptr<MASShortcut> shortcut;
    std::unique_ptr<NSUserDefaultsObservation> observation;
  };
  MASShortcutBinder() = default;
  void apply(const std::string& key, const id& value);

  std::map<std::string, Binding, std::less<>> bindings_;
  std::shared_ptr<NSDictionary> bindingOptions_;
};
