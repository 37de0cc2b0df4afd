#include "util/qnv/render/QNVRenderingThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>

#include "platform/dispatch/Clock.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr double kDispatchSyncTimeoutSeconds = 1.0;
constexpr const char* kAddDisplayLinkElsewhere = "Add displaylink to thread other than rendering thread";
// Priorities run from 0 to 1 around the default 0.5; each step of 0.05
// is one nice level (raising above the default needs the privilege to).
constexpr double kPriorityPerNiceLevel = 0.05;

}  // namespace

std::shared_ptr<QNVRenderingThread> QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(bool allow) {
  // Deliberately leaked, like the process-lifetime queues: a layer may drop
  // the last reference to it from one of its own blocks after static
  // destructors ran at exit, and a thread cannot join itself.
  static const auto* const shared = new std::shared_ptr<QNVRenderingThread>(create(allow));
  return *shared;
}

std::shared_ptr<QNVRenderingThread> QNVRenderingThread::create(bool allowAppInactivePlayback) {
  std::shared_ptr<QNVRenderingThread> thread(new QNVRenderingThread(allowAppInactivePlayback));
  thread->start();
  return thread;
}

QNVRenderingThread::QNVRenderingThread(bool allowAppInactivePlayback)
    : allowAppInactivePlayback_(allowAppInactivePlayback) {}

void QNVRenderingThread::start() {
  if (!allowAppInactivePlayback_) {
    auto& center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<QNVRenderingThread> weakSelf = weak_from_this();
    observers_.push_back(center.addObserver(platform::kApplicationWillResignActiveNotification, nullptr, nullptr,
                                            [weakSelf](const platform::Notification&) {
                                              if (auto self = weakSelf.lock()) self->_applicationWillResignActive();
                                            }));
    observers_.push_back(center.addObserver(platform::kApplicationDidBecomeActiveNotification, nullptr, nullptr,
                                            [weakSelf](const platform::Notification&) {
                                              if (auto self = weakSelf.lock()) self->_applicationDidBecomeActive();
                                            }));
  }
  thread_ = std::thread([this] { main(); });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return condition_ != Condition::kCreated; });
  if (condition_ == Condition::kHasRunLoop) condition_ = Condition::kMayRun;
  changed_.notify_all();
}

QNVRenderingThread::~QNVRenderingThread() {
  for (auto token : observers_) platform::NotificationCenter::defaultCenter().removeObserver(token);
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void QNVRenderingThread::main() {
  pthread_setname_np(pthread_self(), std::string(kQNVRenderingThreadName).substr(0, 15).c_str());
  std::unique_lock lock(mutex_);
  threadId_ = std::this_thread::get_id();
  condition_ = Condition::kHasRunLoop;
  changed_.notify_all();
  while (!ending_) {
    changed_.wait(lock, [this] { return condition_ == Condition::kMayRun || ending_; });
    // The run loop: blocks in order until a stop is asked for.
    while (!ending_ && !stopRequested_) {
      if (blocks_.empty()) {
        changed_.wait(lock, [this] { return !blocks_.empty() || stopRequested_ || ending_; });
        continue;
      }
      std::function<void()> block = std::move(blocks_.front());
      blocks_.pop_front();
      lock.unlock();
      block();
      block = nullptr;
      lock.lock();
    }
    stopRequested_ = false;
    condition_ = Condition::kStopped;
    changed_.notify_all();
  }
}

void QNVRenderingThread::_applicationWillResignActive() {
  std::unique_lock lock(mutex_);
  if (resignedActive_) return;
  resignedActive_ = true;
  // Kept until the loop sees it, even when the loop has not started yet.
  stopRequested_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return condition_ == Condition::kStopped || ending_; });
}

void QNVRenderingThread::_applicationDidBecomeActive() {
  std::lock_guard lock(mutex_);
  if (!resignedActive_) return;
  resignedActive_ = false;
  condition_ = Condition::kMayRun;
  changed_.notify_all();
}

void QNVRenderingThread::performBlock(std::function<void()> block) {
  if (!block) return;
  std::lock_guard lock(mutex_);
  blocks_.push_back(std::move(block));
  changed_.notify_all();
}

bool QNVRenderingThread::dispatchSync(std::function<void()> block) {
  struct Signal {
    std::mutex mutex;
    std::condition_variable signalled;
    bool ran = false;
    bool timedOut = false;
  };
  auto signal = std::make_shared<Signal>();
  performBlock([signal, block = std::move(block)] {
    if (block) block();
    std::lock_guard lock(signal->mutex);
    signal->ran = true;
    signal->signalled.notify_all();
  });
  // The timeout runs on the platform clock, so a test's manual clock
  // decides when a stopped loop gives up the caller.
  auto clock = platform::Clock::current();
  const auto wakeup = clock->scheduleWakeup(clock->monotonicTime() + kDispatchSyncTimeoutSeconds, [signal] {
    std::lock_guard lock(signal->mutex);
    signal->timedOut = true;
    signal->signalled.notify_all();
  });
  std::unique_lock lock(signal->mutex);
  signal->signalled.wait(lock, [&] { return signal->ran || signal->timedOut; });
  const bool ran = signal->ran;
  lock.unlock();
  clock->cancelWakeup(wakeup);
  return ran;
}

void QNVRenderingThread::addDisplayLink(const std::shared_ptr<platform::DisplayLink>& displayLink) {
  performBlock([weakSelf = weak_from_this(), displayLink] {
    if (auto self = weakSelf.lock()) self->addDisplayLinkInternal(displayLink);
  });
}

void QNVRenderingThread::addDisplayLinkInternal(const std::shared_ptr<platform::DisplayLink>& displayLink) {
  QNV_SOFT_ASSERT(isCurrent(), "%s", kAddDisplayLinkElsewhere);
  std::weak_ptr<QNVRenderingThread> weakSelf = weak_from_this();
  displayLink->addToRunLoop([weakSelf](platform::Task task) {
    if (auto self = weakSelf.lock()) self->performBlock(std::move(task));
  });
}

void QNVRenderingThread::setPriority(double priority) {
  {
    std::lock_guard lock(mutex_);
    if (priority == priority_) return;
    priority_ = priority;
  }
  performBlock([priority] {
    const int nice = static_cast<int>(std::lround((0.5 - priority) / kPriorityPerNiceLevel));
    // Best effort: an unprivileged process may only lower its priority.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), nice);
  });
}

double QNVRenderingThread::priority() const {
  std::lock_guard lock(mutex_);
  return priority_;
}

bool QNVRenderingThread::isCurrent() const {
  std::lock_guard lock(mutex_);
  return threadId_ == std::this_thread::get_id();
}

}  // namespace plexora
