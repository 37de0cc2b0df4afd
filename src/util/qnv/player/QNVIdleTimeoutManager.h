// Keeps the screen from dimming while any video plays: one process-wide set
// of playing clients; the application's idle timer is disabled while the
// set holds one and enabled again when it empties.
//
// Thread safety: add and remove may be called from any thread; the set and
// the application are touched only on the main queue, in call order.
// Ownership: the set holds its clients weakly (a client that dies without
// removing itself leaves no strong trace); each queued change holds the
// manager and its client until it has run. The application is held strongly.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plexora {

class OVSetIdleTimerApplicationProtocol {
 public:
  virtual ~OVSetIdleTimerApplicationProtocol() = default;
  virtual void setIdleTimerDisabled(bool disabled) = 0;
};

class QNVIdleTimeoutManager final : public std::enable_shared_from_this<QNVIdleTimeoutManager> {
 public:
  static std::shared_ptr<QNVIdleTimeoutManager> sharedInstance();

  void addNonIdlingClient(std::shared_ptr<const void> client);
  void removeNonIdlingClient(std::shared_ptr<const void> client);
  // Replaces the object told about the idle timer (tests).
  void _setApplication(std::shared_ptr<OVSetIdleTimerApplicationProtocol> application);

  std::string description() const;

 private:
  QNVIdleTimeoutManager();
  // Main queue only.
  bool containsLocked(const std::shared_ptr<const void>& client);

  std::mutex mutex_;  // guards application_ against _setApplication
  std::shared_ptr<OVSetIdleTimerApplicationProtocol> application_;
  std::vector<std::weak_ptr<const void>> clients_;  // main queue only
};

}  // namespace plexora
