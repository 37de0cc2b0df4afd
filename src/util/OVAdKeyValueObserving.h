// Key-value observing: an object announces changes of its keys
// (willChangeValueForKey, then didChangeValueForKey) and every observer
// registered for that key receives a change dictionary, with the new and old
// values when its options ask for them (the values come from valueForKey).
//
// Thread safety: registration may happen on any thread. Changes are
// delivered on the thread that announces them, outside every lock, so an
// observer may register or remove itself from its callback.
// Ownership: an observable holds its observers weakly; an observer that is
// gone is passed over.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/value/Value.h"

namespace plexora {

enum OVAdKeyValueObservingOptions : uint64_t {
  kOVAdKeyValueObservingOptionNew = 1,
  kOVAdKeyValueObservingOptionOld = 2,
  kOVAdKeyValueObservingOptionInitial = 4,
  kOVAdKeyValueObservingOptionPrior = 8,
};

// Keys of a change dictionary.
inline constexpr const char* kOVAdKeyValueChangeKindKey = "kind";
inline constexpr const char* kOVAdKeyValueChangeNewKey = "new";
inline constexpr const char* kOVAdKeyValueChangeOldKey = "old";
inline constexpr const char* kOVAdKeyValueChangeNotificationIsPriorKey = "notificationIsPrior";
// The kind of every change: a value was set.
inline constexpr int64_t kOVAdKeyValueChangeSetting = 1;

class OVAdKeyValueObservable;

class OVAdKeyValueObserver {
 public:
  virtual ~OVAdKeyValueObserver() = default;
  // Called for each change of a key path this observer registered for, with
  // the context given at registration.
  virtual void observeValueForKeyPath(const std::string& /*keyPath*/, OVAdKeyValueObservable* /*object*/,
                                      const platform::Dictionary& /*change*/, void* /*context*/) {}
};

class OVAdKeyValueObservable {
 public:
  virtual ~OVAdKeyValueObservable() = default;

  // The current value of a key, for the new and old entries of a change.
  virtual platform::Value valueForKey(const std::string& /*key*/) const { return {}; }

  // With the initial option the observer receives the current value at once.
  void addObserver(const std::shared_ptr<OVAdKeyValueObserver>& observer, const std::string& keyPath, uint64_t options,
                   void* context);
  // Removes one registration of the observer, key path and context.
  void removeObserver(const OVAdKeyValueObserver* observer, const std::string& keyPath, void* context);

  // Whether any observer is registered for the key path.
  bool hasObservers(const std::string& keyPath) const;

  void willChangeValueForKey(const std::string& key);
  void didChangeValueForKey(const std::string& key);

 private:
  struct Registration {
    std::weak_ptr<OVAdKeyValueObserver> observer;
    const OVAdKeyValueObserver* identity = nullptr;
    std::string keyPath;
    uint64_t options = 0;
    void* context = nullptr;
  };
  struct Delivery {
    std::shared_ptr<OVAdKeyValueObserver> observer;
    void* context = nullptr;
    platform::Dictionary change;
  };

  std::vector<Registration> registrationsForKey(const std::string& key) const;
  void deliver(const std::string& key, std::vector<Delivery> deliveries);

  mutable std::mutex mutex_;
  std::vector<Registration> registrations_;
  // The value of each key when its change was announced.
  std::map<std::string, platform::Value> oldValues_;
};

}  // namespace plexora
