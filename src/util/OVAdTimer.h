// The library's only timer: a dispatch timer source on a given queue (the
// main queue by default), one-shot, repeating, or repeating until a
// condition answers true. The first tick comes one interval after creation,
// never at once; ticks run with 100 ms of leeway.
//
// Thread safety: create, invalidate and fire the timer on its queue (the
// main queue unless the caller's contract says otherwise). The members are
// nevertheless safe to call from any thread, so that releasing the last
// reference elsewhere is harmless.
// Ownership: the caller owns the timer through the std::shared_ptr that the
// factories answer; the running source holds the timer and the caller's
// block only weakly, so dropping the last reference invalidates the timer
// and a timer never keeps itself or its owner alive. Blocks that need their
// owner should capture it weakly too. Invalidation releases the block, the
// condition, the user info and the queue at once.
#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/value/Value.h"

namespace plexora::platform {
class DispatchTimerSource;
}

namespace plexora {

class OVAdTimer final : public std::enable_shared_from_this<OVAdTimer> {
 public:
  using Block = std::function<void(const std::shared_ptr<OVAdTimer>&)>;
  // Answers true to stop the timer after the block's call.
  using Condition = std::function<bool(const std::shared_ptr<OVAdTimer>&)>;

  // On the main queue.
  template <std::same_as<bool> Repeats>
  static std::shared_ptr<OVAdTimer> scheduledTimerWithTimeInterval(double interval, Repeats repeats, Block block) {
    return scheduledTimerWithTimeInterval(interval, repeats, nullptr, std::move(block));
  }
  // A one-shot timer invalidates itself after its first call; a repeating one
  // runs until invalidated. A null queue means the main queue.
  template <std::same_as<bool> Repeats>
  static std::shared_ptr<OVAdTimer> scheduledTimerWithTimeInterval(double interval, Repeats repeats,
                                                                   platform::DispatchQueuePtr queue, Block block) {
    return scheduledTimerWithTimeInterval(interval, repeatsCondition(repeats), std::move(queue), std::move(block));
  }
  // After each call of the block, `repeatsUntilCondition` (when set) decides
  // whether the timer stops. A null queue means the main queue.
  static std::shared_ptr<OVAdTimer> scheduledTimerWithTimeInterval(double interval, Condition repeatsUntilCondition,
                                                                   platform::DispatchQueuePtr queue, Block block);

  ~OVAdTimer();
  OVAdTimer(const OVAdTimer&) = delete;
  OVAdTimer& operator=(const OVAdTimer&) = delete;

  // Stops the source for good; a tick already queued does nothing. Safe to
  // call more than once, and from the timer's own block or condition.
  void invalidate();
  bool isValid() const;
  // Queues one tick now on the timer's queue: the block runs and the
  // condition is asked, as on a regular tick. Does nothing on an invalidated
  // timer.
  void fire();

  double timeInterval() const { return timeInterval_; }
  // Null once invalidated.
  platform::DispatchQueuePtr queue() const;
  // Free data of the creator; null once invalidated.
  platform::Value userInfo() const;
  void setUserInfo(platform::Value userInfo);

 private:
  explicit OVAdTimer(double interval);
  static Condition repeatsCondition(bool repeats);
  void start(Condition condition, platform::DispatchQueuePtr queue, Block block);

  const double timeInterval_;
  mutable std::mutex mutex_;
  platform::DispatchQueuePtr queue_;
  platform::Value userInfo_;
  std::shared_ptr<platform::DispatchTimerSource> timer_;
  // The handler installed on the source; fire() queues a copy of it.
  std::function<void()> handler_;
  // The caller's block; the handler reaches it only weakly, so releasing it
  // here is what silences a tick already queued.
  std::shared_ptr<Block> innerBlock_;
};

}  // namespace plexora
