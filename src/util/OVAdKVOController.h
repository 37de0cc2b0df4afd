// Watches key paths of observable objects on behalf of an observer, with a
// block, an action or a plain context, without the observer registering
// itself: one process-wide shared controller is the only observer the
// observed objects see, and it routes each change to the observation it
// belongs to. Observations end when their controller is released, and an
// observer that is gone is never called.
//
// Within one observed object a controller keeps at most one observation per
// key path: observing it again keeps the first.
//
// Thread safety: every member may be called from any thread. Registration,
// removal and every callback run outside the controllers' locks, so a
// callback may observe or unobserve again. Callbacks run on the thread that
// announces the change.
// Ownership: a controller holds its observer weakly and the observed objects
// strongly (or weakly when made not retaining); observations hold their
// controller weakly.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "util/OVAdKeyValueObserving.h"

namespace plexora {

class OVAdKVOController;

// The extra entry of a block's change dictionary.
inline constexpr const char* kOVAdKVONotificationKeyPathKey = "OVAdKVONotificationKeyPathKey";

using OVAdKVOBlock = std::function<void(const std::shared_ptr<OVAdKeyValueObserver>& observer,
                                        OVAdKeyValueObservable* object, const platform::Dictionary& change)>;

// An action sent to the observer with the change and the object; the name
// shows in descriptions.
struct OVAdKVOAction {
  std::string name;
  std::function<void(OVAdKeyValueObserver& observer, const platform::Dictionary& change,
                     OVAdKeyValueObservable* object)>
      send;
};

// The names of the set option bits from the lowest up, joined by "|".
std::string OVAdKVOOptionDescription(uint64_t options);

// One observation.
class OVAdKVOInfo {
 public:
  enum State : uint8_t { kInitial = 0, kObserving = 1, kNotObserving = 2 };

  OVAdKVOInfo(std::weak_ptr<OVAdKVOController> controller, std::string keyPath, uint64_t options, OVAdKVOBlock block,
              std::optional<OVAdKVOAction> action, void* context);
  // Made of a key path alone, to find the observation of that key path.
  OVAdKVOInfo(std::weak_ptr<OVAdKVOController> controller, std::string keyPath);

  // Equal when their key paths are.
  bool operator==(const OVAdKVOInfo& other) const { return keyPath == other.keyPath; }
  std::string debugDescription() const;

  const std::weak_ptr<OVAdKVOController> controller;
  const std::string keyPath;
  const uint64_t options = 0;
  const OVAdKVOBlock block;
  const std::optional<OVAdKVOAction> action;
  void* const context = nullptr;
  std::atomic<uint8_t> state{kInitial};
};

class OVAdKVOController final : public std::enable_shared_from_this<OVAdKVOController> {
 public:
  // Retains what it observes.
  static std::shared_ptr<OVAdKVOController> controllerWithObserver(
      const std::shared_ptr<OVAdKeyValueObserver>& observer);
  static std::shared_ptr<OVAdKVOController> initWithObserver(const std::shared_ptr<OVAdKeyValueObserver>& observer,
                                                             bool retainObserved = true);
  ~OVAdKVOController();
  OVAdKVOController(const OVAdKVOController&) = delete;
  OVAdKVOController& operator=(const OVAdKVOController&) = delete;

  // Null once the observer is gone.
  std::shared_ptr<OVAdKeyValueObserver> observer() const { return observer_.lock(); }
  std::string debugDescription() const;

  // Nothing for a null object, an empty key path, or a missing block or
  // action.
  void observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::string& keyPath, uint64_t options,
               OVAdKVOBlock block);
  void observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::string& keyPath, uint64_t options,
               OVAdKVOAction action);
  void observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::string& keyPath, uint64_t options,
               void* context);
  // Each key path as above; nothing for an empty list.
  void observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::vector<std::string>& keyPaths,
               uint64_t options, const OVAdKVOBlock& block);
  void observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::vector<std::string>& keyPaths,
               uint64_t options, const OVAdKVOAction& action);
  void observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::vector<std::string>& keyPaths,
               uint64_t options, void* context);

  void unobserve(const OVAdKeyValueObservable* object, const std::string& keyPath);
  // Every observation of the object.
  void unobserve(const OVAdKeyValueObservable* object);
  void unobserveAll();

 private:
  struct ObservedObject {
    std::shared_ptr<OVAdKeyValueObservable> strong;
    std::weak_ptr<OVAdKeyValueObservable> weak;
    std::vector<std::shared_ptr<OVAdKVOInfo>> infos;
  };

  OVAdKVOController(const std::shared_ptr<OVAdKeyValueObserver>& observer, bool retainObserved)
      : observer_(observer), retainObserved_(retainObserved) {}

  void observeWithInfo(const std::shared_ptr<OVAdKeyValueObservable>& object, std::shared_ptr<OVAdKVOInfo> info);

  const std::weak_ptr<OVAdKeyValueObserver> observer_;
  const bool retainObserved_;
  mutable std::mutex mutex_;
  std::map<const OVAdKeyValueObservable*, ObservedObject> objectInfosMap_;
};

}  // namespace plexora
