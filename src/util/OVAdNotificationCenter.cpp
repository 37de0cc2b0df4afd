#include "util/OVAdNotificationCenter.h"

#include <unordered_map>
#include <utility>

namespace plexora {

namespace {

// What an owner carries: its centre, and the owner itself watched weakly so
// that a new object at a dead owner's address is not handed the old centre.
struct Association {
  std::weak_ptr<const void> owner;
  std::shared_ptr<OVAdNotificationCenter> centre;
};

using Released = std::vector<std::shared_ptr<OVAdNotificationCenter>>;

class Registry {
 public:
  static Registry& instance() {
    static Registry* registry = new Registry();  // lives for the process
    return *registry;
  }

  // Every method answers the centres it let go of; the caller drops them
  // outside the registry lock, because a centre's destructor talks to the
  // default notification centre.
  std::shared_ptr<OVAdNotificationCenter> find(const std::shared_ptr<const void>& owner, Released& released) {
    std::lock_guard lock(mutex_);
    purgeLocked(released);
    const auto found = associations_.find(owner.get());
    if (found == associations_.end() || !sameObject(found->second.owner, owner)) {
      return nullptr;
    }
    return found->second.centre;
  }

  void attach(const std::shared_ptr<const void>& owner, std::shared_ptr<OVAdNotificationCenter> centre,
              Released& released) {
    std::lock_guard lock(mutex_);
    purgeLocked(released);
    Association& association = associations_[owner.get()];
    released.push_back(std::move(association.centre));
    association.owner = owner;
    association.centre = std::move(centre);
    if (!association.centre) {
      associations_.erase(owner.get());
    }
  }

  // Detaches the centre at `address`; only `centre` when one is given.
  void detach(const void* address, const OVAdNotificationCenter* centre, Released& released) {
    std::lock_guard lock(mutex_);
    purgeLocked(released);
    const auto found = associations_.find(address);
    if (found != associations_.end() && (centre == nullptr || found->second.centre.get() == centre)) {
      released.push_back(std::move(found->second.centre));
      associations_.erase(found);
    }
  }

  void purge(Released& released) {
    std::lock_guard lock(mutex_);
    purgeLocked(released);
  }

 private:
  Registry() = default;

  static bool sameObject(const std::weak_ptr<const void>& watched, const std::shared_ptr<const void>& owner) {
    return !watched.expired() && !watched.owner_before(owner) && !owner.owner_before(watched);
  }

  void purgeLocked(Released& released) {
    std::erase_if(associations_, [&released](auto& entry) {
      if (!entry.second.owner.expired()) {
        return false;
      }
      released.push_back(std::move(entry.second.centre));
      return true;
    });
  }

  std::mutex mutex_;
  std::unordered_map<const void*, Association> associations_;
};

}  // namespace

std::shared_ptr<OVAdNotificationCenter> OVAdNotificationCenter::create() {
  return std::shared_ptr<OVAdNotificationCenter>(new OVAdNotificationCenter());
}

OVAdNotificationCenter::~OVAdNotificationCenter() { removeObserverTokens(); }

platform::NotificationCenter& OVAdNotificationCenter::notificationCenter() {
  return platform::NotificationCenter::defaultCenter();
}

void OVAdNotificationCenter::addNotificationWithName(std::string name, Block block) {
  addNotificationWithName(std::move(name), nullptr, std::move(block));
}

void OVAdNotificationCenter::addNotificationWithName(std::string name, const void* object, Block block) {
  addNotificationWithName(std::move(name), object, platform::DispatchQueue::main(), std::move(block));
}

void OVAdNotificationCenter::addNotificationWithName(std::string name, const void* object,
                                                     platform::DispatchQueuePtr queue, Block block) {
  auto observer = [weakCentre = weak_from_this(), block = std::move(block)](const platform::Notification& note) {
    const auto centre = weakCentre.lock();
    if (!centre) {
      return;
    }
    if (!centre->ownerIsAlive()) {
      // The owner is gone: stay silent and let the registry release the
      // centre, which removes this observer.
      platform::DispatchQueue::global()->async([] {
        Released released;
        Registry::instance().purge(released);
      });
      return;
    }
    if (block) {
      block(note);
    }
  };
  const auto token = notificationCenter().addObserver(std::move(name), object, std::move(queue), std::move(observer));
  std::lock_guard lock(mutex_);
  notifications_.push_back(token);
}

void OVAdNotificationCenter::removeAllObservers() {
  const auto keepAlive = weak_from_this().lock();
  removeObserverTokens();
  const void* address = nullptr;
  {
    std::lock_guard lock(mutex_);
    address = objectAddress_;
  }
  if (address != nullptr) {
    Released released;
    Registry::instance().detach(address, this, released);
  }
}

std::shared_ptr<OVAdNotificationCenter> OVAdNotificationCenter::notificationCenterForObject(
    const std::shared_ptr<const void>& owner, bool update) {
  if (!owner) {
    return nullptr;
  }
  Released released;
  if (auto centre = Registry::instance().find(owner, released)) {
    return centre;
  }
  if (!update) {
    return nullptr;
  }
  auto centre = create();
  setNotificationCenter(centre, owner);
  return centre;
}

void OVAdNotificationCenter::setNotificationCenter(const std::shared_ptr<OVAdNotificationCenter>& centre,
                                                   const std::shared_ptr<const void>& owner) {
  if (!owner) {
    return;
  }
  if (centre) {
    std::lock_guard lock(centre->mutex_);
    centre->object_ = owner;
    centre->objectAddress_ = owner.get();
  }
  Released released;
  Registry::instance().attach(owner, centre, released);
}

void OVAdNotificationCenter::removeAllObserversForObject(const void* owner) {
  if (owner == nullptr) {
    return;
  }
  // Detach first, then remove the observers of the centre that was attached.
  Released released;
  Registry::instance().detach(owner, nullptr, released);
  for (const auto& centre : released) {
    if (centre) {
      centre->removeObserverTokens();
    }
  }
}

bool OVAdNotificationCenter::ownerIsAlive() const {
  std::lock_guard lock(mutex_);
  return objectAddress_ == nullptr || !object_.expired();
}

void OVAdNotificationCenter::removeObserverTokens() {
  std::vector<platform::NotificationCenter::ObserverToken> tokens;
  {
    std::lock_guard lock(mutex_);
    tokens.swap(notifications_);
  }
  for (const auto token : tokens) {
    notificationCenter().removeObserver(token);
  }
}

}  // namespace plexora
