// The engine's rendering thread: one thread of the process with a run loop
// of its own, on which player layers do their GL work, their frame-ring
// bookkeeping and their display-link ticks.
//
// Unless inactive playback is allowed, the loop stops while the application
// is not active (blocks and ticks wait) and runs again when it becomes
// active. The hand-off between the application-state handlers (main
// thread) and the thread is one mutex/condition state machine:
//   created -> has run loop -> may run <-> stopped
// A stop asked for before the loop first runs is kept, so the loop stops as
// soon as it would start; a second resign while stopped changes nothing,
// and an activation without a preceding resign does nothing.
//
// Thread safety: every member may be called from any thread.
// Ownership: the shared thread lives for the process. Instances made with
// create() (tests) end their thread when released, which must happen off
// the thread itself: blocks hold the thread weakly.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/foundation/NotificationCenter.h"
#include "platform/media/DisplayLink.h"

namespace plexora {

inline constexpr const char* kQNVRenderingThreadName = "qnv player thread";

class QNVRenderingThread final : public std::enable_shared_from_this<QNVRenderingThread> {
 public:
  // The process's thread, made by the first call; its flag decides for good.
  static std::shared_ptr<QNVRenderingThread> renderingThreadAllowingAppInactivePlayback(bool allow);
  // A thread of its own, started and running (tests).
  static std::shared_ptr<QNVRenderingThread> create(bool allowAppInactivePlayback);
  ~QNVRenderingThread();
  QNVRenderingThread(const QNVRenderingThread&) = delete;
  QNVRenderingThread& operator=(const QNVRenderingThread&) = delete;

  // Queues the block on the run loop; blocks queued while the loop is
  // stopped run, in order, when it runs again.
  void performBlock(std::function<void()> block);
  // Runs the block on the thread and waits for it, at most 1 second of the
  // platform clock; answers whether it ran in that time (it still runs
  // later otherwise).
  bool dispatchSync(std::function<void()> block);
  // Adds the link to this thread's run loop (without waiting).
  void addDisplayLink(const std::shared_ptr<platform::DisplayLink>& displayLink);
  void setPriority(double priority);
  double priority() const;
  bool allowsAppInactivePlayback() const { return allowAppInactivePlayback_; }
  // Whether the calling code runs on this thread.
  bool isCurrent() const;

  // The application-state handlers (called by the notifications).
  void _applicationWillResignActive();
  void _applicationDidBecomeActive();

 private:
  enum class Condition { kCreated, kHasRunLoop, kMayRun, kStopped };

  explicit QNVRenderingThread(bool allowAppInactivePlayback);
  void start();
  void main();
  void addDisplayLinkInternal(const std::shared_ptr<platform::DisplayLink>& displayLink);

  const bool allowAppInactivePlayback_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Condition condition_ = Condition::kCreated;
  bool stopRequested_ = false;
  bool resignedActive_ = false;  // main-thread side: a resign holds the loop stopped
  bool ending_ = false;
  std::deque<std::function<void()>> blocks_;
  double priority_ = 0.5;
  std::thread thread_;
  std::thread::id threadId_;
  std::vector<platform::NotificationCenter::ObserverToken> observers_;
};

}  // namespace plexora
