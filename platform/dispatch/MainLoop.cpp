#include "platform/dispatch/MainLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <system_error>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainTaskQueue.h"

namespace plexora::platform {

namespace {

constexpr const char* kNotOnMainThreadMessage = "MainLoop may only be run on the main thread";
// runUntil() re-checks its condition at least this often, since work on
// other threads may satisfy it without posting to the main queue.
constexpr double kRunUntilPollSeconds = 0.005;

void requireMainThread() {
  if (!DispatchQueue::isMainThread()) {
    throw std::logic_error(kNotOnMainThreadMessage);
  }
}

}  // namespace

struct MainLoop::Impl {
  std::atomic<bool> quitRequested{false};
  // Readable after quit(), so run() wakes from its wait.
  int quitFd = -1;
};

MainLoop& MainLoop::instance() {
  // Deliberately leaked: the main queue lives for the process.
  static MainLoop* const loop = new MainLoop;
  return *loop;
}

MainLoop::MainLoop() : impl_(new Impl) {
  impl_->quitFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl_->quitFd < 0) {
    int error = errno;
    delete impl_;
    throw std::system_error(error, std::generic_category(), "eventfd");
  }
}

MainLoop::~MainLoop() {
  ::close(impl_->quitFd);
  delete impl_;
}

int MainLoop::runOnce(double maxWaitSeconds) {
  requireMainThread();
  auto& tasks = detail::MainTaskQueue::instance();
  int ran = tasks.runQueued();
  if (ran == 0 && maxWaitSeconds > 0) {
    tasks.waitForTask(detail::deadlineAfter(maxWaitSeconds));
    ran = tasks.runQueued();
  }
  return ran;
}

bool MainLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  requireMainThread();
  auto deadline = detail::deadlineAfter(timeoutSeconds);
  auto& tasks = detail::MainTaskQueue::instance();
  for (;;) {
    if (done()) {
      return true;
    }
    if (deadline && std::chrono::steady_clock::now() >= *deadline) {
      return false;
    }
    if (tasks.runQueued() == 0) {
      auto slice = detail::deadlineAfter(kRunUntilPollSeconds);
      tasks.waitForTask(deadline ? std::min(*slice, *deadline) : slice);
    }
  }
}

void MainLoop::run() {
  requireMainThread();
  auto& tasks = detail::MainTaskQueue::instance();
  while (!impl_->quitRequested.exchange(false)) {
    if (tasks.runQueued() == 0) {
      tasks.waitForTask(std::nullopt, impl_->quitFd);
      // The flag, not the descriptor, says whether to stop; a stale signal
      // from an earlier quit() only costs one extra pass.
      std::uint64_t count = 0;
      [[maybe_unused]] ssize_t drained = ::read(impl_->quitFd, &count, sizeof count);
    }
  }
}

void MainLoop::quit() {
  impl_->quitRequested = true;
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(impl_->quitFd, &one, sizeof one);
}

int MainLoop::wakeupFd() const { return detail::MainTaskQueue::instance().wakeupFd(); }

}  // namespace plexora::platform
