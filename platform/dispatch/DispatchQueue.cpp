#include "platform/dispatch/DispatchQueue.h"

#include <sys/types.h>
#include <unistd.h>

#include <array>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/MainTaskQueue.h"
#include "platform/dispatch/PendingWork.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/TimeValues.h"

namespace plexora::platform {

namespace {

constexpr const char* kGlobalQueueLabels[] = {
    "plexora.global.background",
    "plexora.global.low",
    "plexora.global.default",
    "plexora.global.high",
};

// Runs main-queue tasks while background work drains; answers whether both
// the main queue and the background became idle before the deadline.
bool settleOnMainThread(const detail::SteadyDeadline& deadline) {
  auto& work = detail::PendingWork::instance();
  auto& mainTasks = detail::MainTaskQueue::instance();
  for (;;) {
    std::uint64_t seenMainPosts = work.mainPostCount();
    bool ranAny = mainTasks.runQueued() > 0;
    if (!ranAny && mainTasks.pending() == 0 && work.backgroundIdle()) {
      return true;
    }
    if (deadline && std::chrono::steady_clock::now() >= *deadline) {
      return false;
    }
    if (!ranAny) {
      work.waitForIdleOrMainPost(seenMainPosts, deadline);
    }
  }
}

}  // namespace

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
  // Deliberately leaked, like every process-lifetime queue: pool threads may
  // still use it while static destructors run at exit.
  static const auto* const queue = new std::shared_ptr<DispatchQueue>(std::make_shared<detail::MainQueue>());
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(QueuePriority priority) {
  static const auto* const queues = [] {
    auto* made = new std::array<std::shared_ptr<DispatchQueue>, std::size(kGlobalQueueLabels)>;
    for (std::size_t i = 0; i < made->size(); ++i) {
      (*made)[i] = std::make_shared<detail::ConcurrentQueue>(kGlobalQueueLabels[i]);
    }
    return made;
  }();
  return (*queues)[static_cast<std::size_t>(priority)];
}

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label) {
  return std::make_shared<detail::SerialQueue>(std::move(label));
}

std::shared_ptr<DispatchQueue> DispatchQueue::current() {
  const DispatchQueue* innermost = detail::innermostCurrentQueue();
  if (innermost == nullptr) {
    return isMainThread() ? main() : nullptr;
  }
  return std::const_pointer_cast<DispatchQueue>(innermost->shared_from_this());
}

bool DispatchQueue::isMainThread() {
  static thread_local const bool isMain = ::gettid() == ::getpid();
  return isMain;
}

bool DispatchQueue::settle(double timeoutSeconds) {
  auto deadline = detail::deadlineAfter(timeoutSeconds);
  if (isMainThread()) {
    return settleOnMainThread(deadline);
  }
  return detail::PendingWork::instance().waitForBackgroundIdle(deadline);
}

void DispatchQueue::after(double seconds, Task task) {
  auto clock = Clock::current();
  double deadline = clock->monotonicTime() + detail::boundedDelay(seconds);
  clock->scheduleWakeup(deadline, [queue = shared_from_this(), task = std::move(task)]() mutable {
    queue->async(std::move(task));
  });
}

}  // namespace plexora::platform
