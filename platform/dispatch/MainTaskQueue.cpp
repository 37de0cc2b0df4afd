#include "platform/dispatch/MainTaskQueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/PendingWork.h"

namespace plexora::platform::detail {

MainTaskQueue& MainTaskQueue::instance() {
  // Deliberately leaked: see the header.
  static MainTaskQueue* const queue = new MainTaskQueue;
  return *queue;
}

MainTaskQueue::MainTaskQueue() : eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (eventFd_ < 0) {
    throw std::system_error(errno, std::generic_category(), "eventfd");
  }
}

void MainTaskQueue::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (tasks_.size() == 1) {
      std::uint64_t one = 1;
      [[maybe_unused]] ssize_t written = ::write(eventFd_, &one, sizeof one);
    }
  }
  PendingWork::instance().mainTaskPosted();
}

void MainTaskQueue::postAll(std::vector<Task> tasks) {
  if (tasks.empty()) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    const bool wasEmpty = tasks_.empty();
    for (Task& task : tasks) {
      tasks_.push_back(std::move(task));
    }
    if (wasEmpty) {
      std::uint64_t one = 1;
      [[maybe_unused]] ssize_t written = ::write(eventFd_, &one, sizeof one);
    }
  }
  auto& work = PendingWork::instance();
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    work.mainTaskPosted();
  }
}

std::size_t MainTaskQueue::pending() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

int MainTaskQueue::runQueued() {
  const DispatchQueue* mainQueue = DispatchQueue::main().get();
  std::size_t due = pending();
  int ran = 0;
  for (; static_cast<std::size_t>(ran) < due; ++ran) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) {
        break;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
      if (tasks_.empty()) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t read = ::read(eventFd_, &count, sizeof count);
      }
    }
    CurrentQueueScope scope(mainQueue);
    task();
  }
  return ran;
}

void MainTaskQueue::waitForTask(const SteadyDeadline& deadline, int interruptFd) const {
  pollfd fds[2] = {{eventFd_, POLLIN, 0}, {interruptFd, POLLIN, 0}};
  const nfds_t count = interruptFd >= 0 ? 2 : 1;
  for (;;) {
    int result = ::poll(fds, count, pollTimeoutUntil(deadline));
    if (result >= 0 || errno != EINTR) {
      return;
    }
  }
}

}  // namespace plexora::platform::detail
