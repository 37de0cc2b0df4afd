// The video logger's cost per playback progress tick (goal: at most 5 us):
//   BM_ProgressTick        one registerProgress of a video playing in a
//                          media view on a feed screen: the progress rule,
//                          the device volume, the visible-area measurement,
//                          the statistics and both quality rules, and every
//                          twentieth tick a time report built into its
//                          parameters (the reports are handed to a sink that
//                          keeps the last, not stored)
//   BM_ViewableRatio       the visible-area measurement of the same view
//                          alone, the bulk of a tick
// The screen: a key window with a navigation bar, a clipping feed of ten
// cells and a toolbar; the video view sits in a media view in the fourth
// cell.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/device/DeviceProvider.h"
#include "platform/device/LinuxDeviceProvider.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/OVAdQualityViewabilityMeasurement.h"

namespace {

using plexora::platform::Color;
using plexora::platform::Rect;
using plexora::platform::View;
using plexora::platform::Window;

std::shared_ptr<View> addView(const std::shared_ptr<View>& parent, Rect frame, bool opaque) {
  auto view = std::make_shared<View>(frame);
  if (opaque) view->setBackgroundColor(Color::white());
  parent->addSubview(view);
  return view;
}

class Feed {
 public:
  Feed() {
    plexora::platform::DeviceProfile profile;
    profile.screen.bounds = plexora::platform::ScreenSize{375.0, 667.0};
    profile.screen.scale = 2.0;
    device_.emplace(std::make_shared<plexora::platform::LinuxDeviceProvider>(profile));

    window_ = std::make_shared<Window>(Rect(0, 0, 375, 667));
    window_->makeKeyAndVisible();
    auto feed = addView(window_, Rect(0, 64, 375, 553), false);
    feed->setClipsToBounds(true);
    std::shared_ptr<View> mediaView;
    for (int cell = 0; cell < 10; ++cell) {
      auto row = addView(feed, Rect(0, cell * 200.0 - 500.0, 375, 196), true);
      addView(row, Rect(8, 8, 40, 40), true);   // icon
      addView(row, Rect(56, 8, 300, 20), false);  // title
      if (cell == 3) mediaView = addView(row, Rect(0, 56, 375, 140), false);
    }
    auto renderer = addView(mediaView, Rect(0, 0, 375, 140), true);
    videoView_ = addView(renderer, Rect(0, 0, 375, 140), false);
    addView(renderer, Rect(335, 100, 32, 32), false);  // mute button
    addView(window_, Rect(0, 0, 375, 64), true);        // navigation bar
    addView(window_, Rect(0, 617, 375, 50), true);      // toolbar
  }

  const std::shared_ptr<View>& videoView() const { return videoView_; }

 private:
  std::optional<plexora::platform::ScopedDeviceProvider> device_;
  std::shared_ptr<Window> window_;
  std::shared_ptr<View> videoView_;
};

Feed& feed() {
  static Feed instance;
  return instance;
}

void BM_ProgressTick(benchmark::State& state) {
  auto logger = plexora::OVAdVideoLogger::initWithTargetView(feed().videoView(), std::string("ct-bench"),
                                                             [] { return 1.0F; }, true);
  std::size_t reports = 0;
  plexora::platform::Dictionary last;
  logger->setEventLog([&](const std::string&, const plexora::platform::Dictionary& params) {
    last = params;
    ++reports;
  });
  std::int64_t quarter = 0;
  for (auto _ : state) {
    logger->registerProgress(plexora::platform::MediaTime::make(++quarter * 250, 1000));
  }
  state.counters["reports"] = static_cast<double>(reports);
}
BENCHMARK(BM_ProgressTick);

void BM_ViewableRatio(benchmark::State& state) {
  const plexora::OVAdQualityViewabilityMeasurement measurement(feed().videoView());
  float ratio = 0.0F;
  for (auto _ : state) {
    ratio = measurement.viewableRatio();
    benchmark::DoNotOptimize(ratio);
  }
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_ViewableRatio);

}  // namespace

BENCHMARK_MAIN();
