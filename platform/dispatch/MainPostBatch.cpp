#include "platform/dispatch/MainPostBatch.h"

#include <utility>

#include "platform/dispatch/MainTaskQueue.h"

namespace plexora::platform {

namespace {

// The outermost batch open on this thread: the one that holds its posts.
thread_local MainPostBatch* openBatch = nullptr;

}  // namespace

MainPostBatch::MainPostBatch() : outer_(openBatch) {
  if (!outer_) {
    openBatch = this;
  }
}

MainPostBatch::~MainPostBatch() {
  if (outer_) {
    return;
  }
  postHeld();
  openBatch = nullptr;
}

bool MainPostBatch::hold(Task& task) {
  if (!openBatch) {
    return false;
  }
  openBatch->held_.push_back(std::move(task));
  return true;
}

void MainPostBatch::postHeld() {
  if (!openBatch || openBatch->held_.empty()) {
    return;
  }
  std::vector<Task> held = std::move(openBatch->held_);
  openBatch->held_.clear();
  detail::MainTaskQueue::instance().postAll(std::move(held));
}

}  // namespace plexora::platform
