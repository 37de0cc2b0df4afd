#include "util/OVAdKeyValueObserving.h"

#include <algorithm>

namespace plexora {

void OVAdKeyValueObservable::addObserver(const std::shared_ptr<OVAdKeyValueObserver>& observer,
                                         const std::string& keyPath, uint64_t options, void* context) {
  if (!observer) return;
  {
    std::lock_guard lock(mutex_);
    registrations_.push_back({observer, observer.get(), keyPath, options, context});
  }
  if ((options & kOVAdKeyValueObservingOptionInitial) == 0) return;
  platform::Dictionary change{{kOVAdKeyValueChangeKindKey, kOVAdKeyValueChangeSetting}};
  if ((options & kOVAdKeyValueObservingOptionNew) != 0) change.set(kOVAdKeyValueChangeNewKey, valueForKey(keyPath));
  observer->observeValueForKeyPath(keyPath, this, change, context);
}

void OVAdKeyValueObservable::removeObserver(const OVAdKeyValueObserver* observer, const std::string& keyPath,
                                            void* context) {
  std::lock_guard lock(mutex_);
  const auto found = std::find_if(registrations_.begin(), registrations_.end(), [&](const Registration& entry) {
    return entry.identity == observer && entry.keyPath == keyPath && entry.context == context;
  });
  if (found != registrations_.end()) registrations_.erase(found);
}

bool OVAdKeyValueObservable::hasObservers(const std::string& keyPath) const {
  std::lock_guard lock(mutex_);
  return std::any_of(registrations_.begin(), registrations_.end(),
                     [&](const Registration& entry) { return entry.keyPath == keyPath; });
}

std::vector<OVAdKeyValueObservable::Registration> OVAdKeyValueObservable::registrationsForKey(
    const std::string& key) const {
  std::lock_guard lock(mutex_);
  std::vector<Registration> matching;
  for (const auto& entry : registrations_) {
    if (entry.keyPath == key) matching.push_back(entry);
  }
  return matching;
}

void OVAdKeyValueObservable::willChangeValueForKey(const std::string& key) {
  const auto registrations = registrationsForKey(key);
  const platform::Value old = valueForKey(key);
  {
    std::lock_guard lock(mutex_);
    oldValues_[key] = old;
  }
  std::vector<Delivery> deliveries;
  for (const auto& entry : registrations) {
    if ((entry.options & kOVAdKeyValueObservingOptionPrior) == 0) continue;
    platform::Dictionary change{{kOVAdKeyValueChangeKindKey, kOVAdKeyValueChangeSetting},
                                {kOVAdKeyValueChangeNotificationIsPriorKey, true}};
    if ((entry.options & kOVAdKeyValueObservingOptionOld) != 0) change.set(kOVAdKeyValueChangeOldKey, old);
    if (auto observer = entry.observer.lock()) deliveries.push_back({observer, entry.context, std::move(change)});
  }
  deliver(key, std::move(deliveries));
}

void OVAdKeyValueObservable::didChangeValueForKey(const std::string& key) {
  const auto registrations = registrationsForKey(key);
  platform::Value old;
  {
    std::lock_guard lock(mutex_);
    const auto found = oldValues_.find(key);
    if (found != oldValues_.end()) {
      old = std::move(found->second);
      oldValues_.erase(found);
    }
  }
  const platform::Value current = valueForKey(key);
  std::vector<Delivery> deliveries;
  for (const auto& entry : registrations) {
    platform::Dictionary change{{kOVAdKeyValueChangeKindKey, kOVAdKeyValueChangeSetting}};
    if ((entry.options & kOVAdKeyValueObservingOptionNew) != 0) change.set(kOVAdKeyValueChangeNewKey, current);
    if ((entry.options & kOVAdKeyValueObservingOptionOld) != 0) change.set(kOVAdKeyValueChangeOldKey, old);
    if (auto observer = entry.observer.lock()) deliveries.push_back({observer, entry.context, std::move(change)});
  }
  deliver(key, std::move(deliveries));
}

void OVAdKeyValueObservable::deliver(const std::string& key, std::vector<Delivery> deliveries) {
  for (auto& delivery : deliveries)
    delivery.observer->observeValueForKeyPath(key, this, delivery.change, delivery.context);
}

}  // namespace plexora
