#include "util/qnv/player/QNVIdleTimeoutManager.h"

#include <algorithm>
#include <cstdio>

#include "platform/dispatch/DispatchQueue.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kDisablingFormat = "%s setting idleTimerDisabled to YES";
constexpr const char* kEnablingFormat = "%s setting idleTimerDisabled to NO";

// The system idle timer of a headless host: there is no screen to dim, so
// the state is only kept.
class HeadlessApplicationIdleTimer final : public OVSetIdleTimerApplicationProtocol {
 public:
  void setIdleTimerDisabled(bool disabled) override { disabled_ = disabled; }

 private:
  bool disabled_ = false;
};

bool sameClient(const std::weak_ptr<const void>& kept, const std::shared_ptr<const void>& client) {
  return !kept.owner_before(client) && !client.owner_before(kept);
}

}  // namespace

QNVIdleTimeoutManager::QNVIdleTimeoutManager() : application_(std::make_shared<HeadlessApplicationIdleTimer>()) {}

std::shared_ptr<QNVIdleTimeoutManager> QNVIdleTimeoutManager::sharedInstance() {
  static const std::shared_ptr<QNVIdleTimeoutManager> shared(new QNVIdleTimeoutManager());
  return shared;
}

bool QNVIdleTimeoutManager::containsLocked(const std::shared_ptr<const void>& client) {
  // Clients that died without removing themselves are forgotten here.
  std::erase_if(clients_, [](const auto& kept) { return kept.expired(); });
  return std::any_of(clients_.begin(), clients_.end(), [&](const auto& kept) { return sameClient(kept, client); });
}

void QNVIdleTimeoutManager::addNonIdlingClient(std::shared_ptr<const void> client) {
  platform::DispatchQueue::main()->async([self = shared_from_this(), client = std::move(client)] {
    if (!client || self->containsLocked(client)) return;
    if (self->clients_.empty()) {
      OV_LOG(kOVAdLogLevelDebug, kDisablingFormat, self->description().c_str());
      std::lock_guard lock(self->mutex_);
      self->application_->setIdleTimerDisabled(true);
    }
    self->clients_.push_back(client);
  });
}

void QNVIdleTimeoutManager::removeNonIdlingClient(std::shared_ptr<const void> client) {
  platform::DispatchQueue::main()->async([self = shared_from_this(), client = std::move(client)] {
    if (!client || !self->containsLocked(client)) return;
    std::erase_if(self->clients_, [&](const auto& kept) { return sameClient(kept, client); });
    if (self->clients_.empty()) {
      OV_LOG(kOVAdLogLevelDebug, kEnablingFormat, self->description().c_str());
      std::lock_guard lock(self->mutex_);
      self->application_->setIdleTimerDisabled(false);
    }
  });
}

void QNVIdleTimeoutManager::_setApplication(std::shared_ptr<OVSetIdleTimerApplicationProtocol> application) {
  std::lock_guard lock(mutex_);
  application_ = std::move(application);
}

std::string QNVIdleTimeoutManager::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<QNVIdleTimeoutManager: %p>", static_cast<const void*>(this));
  return text;
}

}  // namespace plexora
