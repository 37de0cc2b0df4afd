// A per-owner notification centre: block observers registered through an
// owner's centre are removed together, explicitly or when the owner goes.
//
// Each owner (any object managed by a std::shared_ptr) has at most one
// centre, found by the owner's address. A process-wide registry keeps the
// centre alive and watches the owner through a weak reference: once the owner
// is released its observers never run again, and the registry drops the
// centre (removing the observers from the default centre) at the next
// registry use or the next notification that reaches one of them. An owner
// that wants its observers gone at a precise moment (in its destructor, say)
// calls removeAllObserversForObject(this).
//
// Thread safety: meant for the main thread, but every member may be called
// from any thread. Observer blocks run on the queue given at registration
// (the main queue unless another is given; a null queue means the posting
// thread).
// Ownership: the registry owns each attached centre until it is detached or
// its owner is gone; a centre never owns its owner. Releasing a centre
// removes its observers.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"

namespace plexora {

class OVAdNotificationCenter final : public std::enable_shared_from_this<OVAdNotificationCenter> {
 public:
  using Block = platform::NotificationCenter::Block;

  // A centre attached to no owner; its observers live until it is released.
  static std::shared_ptr<OVAdNotificationCenter> create();
  ~OVAdNotificationCenter();
  OVAdNotificationCenter(const OVAdNotificationCenter&) = delete;
  OVAdNotificationCenter& operator=(const OVAdNotificationCenter&) = delete;

  // The process's default centre, where the observers are registered.
  static platform::NotificationCenter& notificationCenter();

  // Any sender, on the main queue.
  void addNotificationWithName(std::string name, Block block);
  // On the main queue; `object` null means any sender.
  void addNotificationWithName(std::string name, const void* object, Block block);
  void addNotificationWithName(std::string name, const void* object, platform::DispatchQueuePtr queue, Block block);

  // Removes every observer of this centre, then detaches the centre from its
  // owner (a later notificationCenterForObject makes a new one).
  void removeAllObservers();

  // The owner's centre, made and attached when it has none and `update` is
  // true. Null for a null owner, or when it has none and `update` is false.
  static std::shared_ptr<OVAdNotificationCenter> notificationCenterForObject(
      const std::shared_ptr<const void>& owner, bool update = true);
  // Attaches `centre` to `owner` in place of any centre it had.
  static void setNotificationCenter(const std::shared_ptr<OVAdNotificationCenter>& centre,
                                    const std::shared_ptr<const void>& owner);
  // removeAllObservers of the centre of the owner at that address, if it has
  // one; none is made. Callable from the owner's destructor.
  static void removeAllObserversForObject(const void* owner);

 private:
  OVAdNotificationCenter() = default;

  // Whether the owner this centre was attached to is still alive (always
  // true for a centre never attached).
  bool ownerIsAlive() const;
  // Removes the tokens from the default centre without touching the registry.
  void removeObserverTokens();

  mutable std::mutex mutex_;
  std::vector<platform::NotificationCenter::ObserverToken> notifications_;
  // The owner, watched weakly, and its address, which keys the registry
  // even after the owner is gone.
  std::weak_ptr<const void> object_;
  const void* objectAddress_ = nullptr;
};

}  // namespace plexora
