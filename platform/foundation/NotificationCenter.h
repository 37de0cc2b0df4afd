// A process-wide notification centre with block observers.
//
// Thread safety: every member may be called from any thread. An observer
// registered with a queue runs on that queue: inline when the poster already
// runs on it, else queued asynchronously. Without a queue it runs on the
// posting thread, synchronously.
// Ownership: the centre holds each observer's block until removeObserver();
// the returned token is only a key.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/value/Value.h"

namespace plexora::platform {

struct Notification {
  std::string name;
  // The poster's identity, compared by address only; may be null.
  const void* object = nullptr;
  Value userInfo;
};

// Names of the application's life-cycle notifications.
inline constexpr const char* kApplicationDidFinishLaunchingNotification = "ApplicationDidFinishLaunchingNotification";
inline constexpr const char* kApplicationDidEnterBackgroundNotification = "ApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification = "ApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationDidBecomeActiveNotification = "ApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillResignActiveNotification = "ApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationWillTerminateNotification = "ApplicationWillTerminateNotification";
inline constexpr const char* kApplicationDidReceiveMemoryWarningNotification =
    "ApplicationDidReceiveMemoryWarningNotification";

class NotificationCenter final {
 public:
  using ObserverToken = std::uint64_t;
  using Block = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();
  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // `name` empty: every name; `object` null: every poster; `queue` null: the
  // posting thread.
  ObserverToken addObserver(std::string name, const void* object, DispatchQueuePtr queue, Block block);
  // After it returns, the block is not started again (a call already queued
  // on the observer's queue is dropped when it comes up).
  void removeObserver(ObserverToken token);
  void post(const std::string& name, const void* object = nullptr, Value userInfo = {});

 private:
  struct Observer;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Observer>> observers_;
  ObserverToken nextToken_ = 1;
};

}  // namespace plexora::platform
