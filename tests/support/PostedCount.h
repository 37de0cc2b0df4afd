// Counts the notifications of one name posted for one object, from any
// thread, for as long as it lives.
#pragma once

#include <atomic>

#include "platform/foundation/NotificationCenter.h"

namespace plexora::testing {

class Posted {
 public:
  Posted(const char* name, const void* object) {
    token_ = platform::NotificationCenter::defaultCenter().addObserver(
        name, object, nullptr, [this](const platform::Notification&) { count.fetch_add(1); });
  }
  ~Posted() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
  Posted(const Posted&) = delete;
  Posted& operator=(const Posted&) = delete;
  std::atomic<int> count{0};

 private:
  platform::NotificationCenter::ObserverToken token_ = 0;
};

}  // namespace plexora::testing
