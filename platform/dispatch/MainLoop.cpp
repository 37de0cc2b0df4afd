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
#include "platform/dispatch/MainLoopGLib.h"
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

// The flag, not the descriptor, says whether to stop; a stale signal from an
// earlier quit() only costs one extra pass.
void drainQuitSignal(int quitFd) {
  std::uint64_t count = 0;
  [[maybe_unused]] ssize_t drained = ::read(quitFd, &count, sizeof count);
}

}  // namespace

struct MainLoop::Impl {
  std::atomic<bool> quitRequested{false};
  // Set once by the web engine on the main thread; read there too, but
  // atomic so hostsGLibContext() may be asked anywhere.
  std::atomic<bool> hostsGLib{false};
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
  const bool wait = ran == 0 && maxWaitSeconds > 0;
  if (impl_->hostsGLib) {
    detail::iterateGLibContext(detail::deadlineAfter(wait ? maxWaitSeconds : 0.0), {tasks.wakeupFd()});
    if (ran == 0) {
      ran = tasks.runQueued();
    }
  } else if (wait) {
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
    const bool ranTasks = tasks.runQueued() > 0;
    auto slice = detail::deadlineAfter(ranTasks ? 0.0 : kRunUntilPollSeconds);
    const detail::SteadyDeadline waitUntil = deadline ? std::min(*slice, *deadline) : slice;
    if (impl_->hostsGLib) {
      detail::iterateGLibContext(waitUntil, {tasks.wakeupFd()});
    } else if (!ranTasks) {
      tasks.waitForTask(waitUntil);
    }
  }
}

void MainLoop::run() {
  requireMainThread();
  auto& tasks = detail::MainTaskQueue::instance();
  while (!impl_->quitRequested.exchange(false)) {
    const bool ranTasks = tasks.runQueued() > 0;
    if (impl_->hostsGLib) {
      const detail::SteadyDeadline waitUntil =
          ranTasks ? detail::deadlineAfter(0.0) : detail::SteadyDeadline(std::nullopt);
      detail::iterateGLibContext(waitUntil, {tasks.wakeupFd(), impl_->quitFd});
      drainQuitSignal(impl_->quitFd);
    } else if (!ranTasks) {
      tasks.waitForTask(std::nullopt, impl_->quitFd);
      drainQuitSignal(impl_->quitFd);
    }
  }
}

void MainLoop::quit() {
  impl_->quitRequested = true;
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(impl_->quitFd, &one, sizeof one);
}

int MainLoop::wakeupFd() const { return detail::MainTaskQueue::instance().wakeupFd(); }

void MainLoop::hostGLibContext() {
  requireMainThread();
  impl_->hostsGLib = true;
}

bool MainLoop::hostsGLibContext() const { return impl_->hostsGLib; }

}  // namespace plexora::platform
