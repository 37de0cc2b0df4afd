#include "platform/dispatch/PendingWork.h"

namespace plexora::platform::detail {

PendingWork& PendingWork::instance() {
  // Deliberately leaked: detached pool threads may report completions while
  // static destructors run at exit.
  static PendingWork* const work = new PendingWork;
  return *work;
}

void PendingWork::taskQueued() {
  std::lock_guard lock(mutex_);
  ++backgroundTasks_;
}

void PendingWork::taskDone() {
  std::lock_guard lock(mutex_);
  if (--backgroundTasks_ == 0) {
    changed_.notify_all();
  }
}

void PendingWork::mainTaskPosted() {
  std::lock_guard lock(mutex_);
  ++mainPosts_;
  changed_.notify_all();
}

std::uint64_t PendingWork::mainPostCount() const {
  std::lock_guard lock(mutex_);
  return mainPosts_;
}

bool PendingWork::backgroundIdle() const {
  std::lock_guard lock(mutex_);
  return backgroundTasks_ == 0;
}

bool PendingWork::waitForBackgroundIdle(const SteadyDeadline& deadline) {
  std::unique_lock lock(mutex_);
  return waitUntil(changed_, lock, deadline, [this] { return backgroundTasks_ == 0; });
}

bool PendingWork::waitForIdleOrMainPost(std::uint64_t seenMainPosts, const SteadyDeadline& deadline) {
  std::unique_lock lock(mutex_);
  return waitUntil(changed_, lock, deadline,
                   [&] { return backgroundTasks_ == 0 || mainPosts_ != seenMainPosts; });
}

}  // namespace plexora::platform::detail
