// A display link: a timer that ticks at the display's refresh rate (60 Hz)
// on the current platform Clock and runs its callback where it was added
// (a run loop, given as the function that queues work there).
//
// Ticks fall on the 1/60 s grid of the clock's monotonic time. A tick whose
// callback has not run yet when the next falls due makes that next one be
// skipped, as a display would drop a frame, so a slow consumer never piles
// up work.
//
// Thread safety: every member may be called from any thread; the callback
// runs wherever the run loop's function puts it.
// Ownership: the link holds its callback until invalidate(); pending clock
// wakeups and queued ticks hold the link only weakly.
#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

class DisplayLink final : public std::enable_shared_from_this<DisplayLink> {
 public:
  static constexpr double kRefreshRate = 60.0;
  using Callback = std::function<void(DisplayLink& link)>;
  // Queues one task on the run loop the link was added to.
  using RunLoopPerformer = std::function<void(Task task)>;

  // Made paused and on no run loop.
  static std::shared_ptr<DisplayLink> create(Callback callback);
  ~DisplayLink();
  DisplayLink(const DisplayLink&) = delete;
  DisplayLink& operator=(const DisplayLink&) = delete;

  void addToRunLoop(RunLoopPerformer performer);
  bool isPaused() const;
  void setPaused(bool paused);
  // Ticks between callbacks (1: every refresh); values below 1 count as 1.
  void setFrameInterval(int interval);
  // Stops the link for good and releases the callback.
  void invalidate();
  // Monotonic seconds of the tick whose callback is running (or ran last).
  double timestamp() const;

 private:
  explicit DisplayLink(Callback callback);
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace plexora::platform
