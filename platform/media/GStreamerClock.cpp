#include "platform/media/GStreamerClock.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/thread/HandOver.h"

namespace plexora::platform {

namespace {

constexpr double kNanosecondsPerSecond = 1e9;
// The platform clock counts in double seconds: a wakeup that lands within
// this much of its target counts as on time, so rounding never leaves a
// waiter asleep after its deadline has passed.
constexpr GstClockTime kRoundingSlack = 1000;

constexpr Clock::WakeupId kNoWakeup = 0;

struct Waits {
  std::shared_ptr<Clock> clock;
  std::mutex mutex;
  std::condition_variable changed;
  // Asynchronous entries and the wakeup that will call them.
  std::map<GstClockEntry*, Clock::WakeupId> pending;
};

}  // namespace

}  // namespace plexora::platform

extern "C" {

typedef struct {
  GstClock parent;
  // Shared with the wakeups in flight, which may outlive the clock.
  std::shared_ptr<plexora::platform::Waits>* waits;
} PlexoraPlatformClock;

typedef struct {
  GstClockClass parentClass;
} PlexoraPlatformClockClass;

GType plexora_platform_clock_get_type(void);

}  // extern "C"

G_DEFINE_TYPE(PlexoraPlatformClock, plexora_platform_clock, GST_TYPE_CLOCK)

namespace plexora::platform {

namespace {

const std::shared_ptr<Waits>& sharedWaitsOf(GstClock* clock) {
  // Set up on the thread that made the clock, used on GStreamer's.
  markReceived(clock);
  return *reinterpret_cast<PlexoraPlatformClock*>(clock)->waits;
}

Waits& waitsOf(GstClock* clock) { return *sharedWaitsOf(clock); }

GstClockTime nowOf(const Waits& waits) {
  return static_cast<GstClockTime>(std::llround(waits.clock->monotonicTime() * kNanosecondsPerSecond));
}

double secondsOf(GstClockTime time) { return static_cast<double>(time) / kNanosecondsPerSecond; }

bool isUnscheduled(GstClockEntry* entry) {
  // GStreamer reads and writes the status atomically from its own threads.
  return std::atomic_ref<GstClockReturn>(GST_CLOCK_ENTRY_STATUS(entry)).load() == GST_CLOCK_UNSCHEDULED;
}

GstClockTime internalTime(GstClock* clock) { return nowOf(waitsOf(clock)); }

GstClockReturn waitFor(GstClock* clock, GstClockEntry* entry, GstClockTimeDiff* jitter) {
  Waits& waits = waitsOf(clock);
  const GstClockTime target = GST_CLOCK_ENTRY_TIME(entry);
  const GstClockTime now = nowOf(waits);
  if (jitter != nullptr) *jitter = GST_CLOCK_DIFF(target, now);
  if (isUnscheduled(entry)) return GST_CLOCK_UNSCHEDULED;
  if (now + kRoundingSlack >= target) return GST_CLOCK_EARLY;

  const std::shared_ptr<Clock> platformClock = waits.clock;
  const std::shared_ptr<Waits> shared = sharedWaitsOf(clock);
  const Clock::WakeupId wakeup = platformClock->scheduleWakeup(secondsOf(target), [shared] {
    std::lock_guard lock(shared->mutex);
    shared->changed.notify_all();
  });
  GstClockReturn result = GST_CLOCK_OK;
  {
    std::unique_lock lock(waits.mutex);
    while (true) {
      if (isUnscheduled(entry)) {
        result = GST_CLOCK_UNSCHEDULED;
        break;
      }
      if (nowOf(waits) + kRoundingSlack >= target) break;
      waits.changed.wait(lock);
    }
  }
  platformClock->cancelWakeup(wakeup);
  return result;
}

void fireAsync(GstClock* clock, GstClockEntry* entry);

void scheduleAsync(GstClock* clock, GstClockEntry* entry, GstClockTime target) {
  Waits& waits = waitsOf(clock);
  gst_clock_id_ref(entry);
  gst_object_ref(clock);
  // Pending before the wakeup exists, as it may fire at once; its id is
  // kept only while the entry still waits for it.
  {
    std::lock_guard lock(waits.mutex);
    waits.pending[entry] = kNoWakeup;
  }
  const Clock::WakeupId wakeup =
      waits.clock->scheduleWakeup(secondsOf(target), [clock, entry] { fireAsync(clock, entry); });
  std::lock_guard lock(waits.mutex);
  if (const auto found = waits.pending.find(entry); found != waits.pending.end()) found->second = wakeup;
}

// On the platform clock's wakeup: calls the entry's function and sets a
// periodic entry up for its next period. An entry unscheduled meanwhile was
// taken out of the pending map, and its references let go, by unschedule.
void fireAsync(GstClock* clock, GstClockEntry* entry) {
  Waits& waits = waitsOf(clock);
  {
    std::lock_guard lock(waits.mutex);
    if (waits.pending.erase(entry) == 0) return;
  }
  const GstClockTime time = GST_CLOCK_ENTRY_TIME(entry);
  if (entry->func != nullptr) entry->func(clock, time, reinterpret_cast<GstClockID>(entry), entry->user_data);
  if (GST_CLOCK_ENTRY_TYPE(entry) == GST_CLOCK_ENTRY_PERIODIC && !isUnscheduled(entry)) {
    GST_CLOCK_ENTRY_TIME(entry) = time + GST_CLOCK_ENTRY_INTERVAL(entry);
    scheduleAsync(clock, entry, GST_CLOCK_ENTRY_TIME(entry));
  }
  gst_clock_id_unref(entry);
  gst_object_unref(clock);
}

GstClockReturn waitAsync(GstClock* clock, GstClockEntry* entry) {
  if (isUnscheduled(entry)) return GST_CLOCK_UNSCHEDULED;
  scheduleAsync(clock, entry, GST_CLOCK_ENTRY_TIME(entry));
  return GST_CLOCK_OK;
}

void unschedule(GstClock* clock, GstClockEntry* entry) {
  Waits& waits = waitsOf(clock);
  std::optional<Clock::WakeupId> pendingWakeup;
  {
    std::lock_guard lock(waits.mutex);
    std::atomic_ref<GstClockReturn>(GST_CLOCK_ENTRY_STATUS(entry)).store(GST_CLOCK_UNSCHEDULED);
    waits.changed.notify_all();
    if (const auto found = waits.pending.find(entry); found != waits.pending.end()) {
      pendingWakeup = found->second;
      waits.pending.erase(found);
    }
  }
  if (!pendingWakeup) return;
  if (*pendingWakeup != kNoWakeup) waits.clock->cancelWakeup(*pendingWakeup);
  gst_clock_id_unref(entry);
  // The caller holds the clock: this is never its last reference.
  gst_object_unref(clock);
}

}  // namespace

GstClock* makeGStreamerClock(std::shared_ptr<Clock> clock) {
  auto* made = static_cast<PlexoraPlatformClock*>(g_object_new(plexora_platform_clock_get_type(), nullptr));
  (*made->waits)->clock = std::move(clock);
  markHandedOver(made);
  // GStreamer objects start floating; the caller owns this one outright.
  gst_object_ref_sink(made);
  return GST_CLOCK(made);
}

}  // namespace plexora::platform

static void plexora_platform_clock_finalize(GObject* object) {
  delete reinterpret_cast<PlexoraPlatformClock*>(object)->waits;
  G_OBJECT_CLASS(plexora_platform_clock_parent_class)->finalize(object);
}

static void plexora_platform_clock_class_init(PlexoraPlatformClockClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = plexora_platform_clock_finalize;
  GstClockClass* clockClass = GST_CLOCK_CLASS(klass);
  clockClass->get_internal_time = plexora::platform::internalTime;
  clockClass->wait = plexora::platform::waitFor;
  clockClass->wait_async = plexora::platform::waitAsync;
  clockClass->unschedule = plexora::platform::unschedule;
}

static void plexora_platform_clock_init(PlexoraPlatformClock* clock) {
  clock->waits = new std::shared_ptr<plexora::platform::Waits>(std::make_shared<plexora::platform::Waits>());
  GST_OBJECT_FLAG_SET(clock, GST_CLOCK_FLAG_CAN_DO_SINGLE_SYNC | GST_CLOCK_FLAG_CAN_DO_SINGLE_ASYNC |
                                 GST_CLOCK_FLAG_CAN_DO_PERIODIC_SYNC | GST_CLOCK_FLAG_CAN_DO_PERIODIC_ASYNC);
}
