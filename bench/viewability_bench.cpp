// One viewability check of a banner in a busy screen, side by side with the
// bare rectangle arithmetic of the same answer:
//   BM_VisibleAreaCheck   the validator's whole check with the visible-area
//                         measurement switched on (application state, view
//                         tests, tree walk, union, tick rule)
//   BM_ViewableRatio      the measurement alone: the walk over the tree that
//                         collects the opaque rectangles in front, and their
//                         union with and without the target
//   BM_BareUnion          the two union areas of the same rectangles, already
//                         collected
// The screen: 50 views in 10 overlapping windows; the banner's window is the
// back-most, with later siblings of the banner and of its ancestors in front
// of it, and each window in front carries a clear backdrop with opaque
// panels, some over the banner.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "internal/OVAdViewabilityValidator.h"
#include "platform/device/DeviceProvider.h"
#include "platform/device/LinuxDeviceProvider.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "platform/value/Value.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdQualityViewabilityMeasurement.h"

namespace {

using plexora::OVAdQualityViewabilityMeasurement;
using plexora::OVAdRects;
using plexora::platform::Color;
using plexora::platform::Rect;
using plexora::platform::View;
using plexora::platform::Window;

constexpr int kWindows = 10;
constexpr int kViews = 50;

std::shared_ptr<View> addView(const std::shared_ptr<View>& parent, Rect frame, bool opaque) {
  auto view = std::make_shared<View>(frame);
  if (opaque) {
    view->setBackgroundColor(Color::white());
  }
  parent->addSubview(view);
  return view;
}

class Screen {
 public:
  Screen() {
    plexora::platform::DeviceProfile profile;
    profile.screen.bounds = plexora::platform::ScreenSize{375.0, 667.0};
    profile.screen.scale = 2.0;
    device_.emplace(std::make_shared<plexora::platform::LinuxDeviceProvider>(profile));

    // The banner's window: a navigation-like stack three deep, the banner,
    // a close button and a badge over it, and a toolbar in front of the
    // content.
    auto main = makeWindow(Rect(0, 0, 375, 667));
    auto content = addView(main, Rect(0, 64, 375, 603), true);
    auto scroll = addView(content, Rect(0, 0, 375, 603), false);
    scroll->setClipsToBounds(true);
    auto cell = addView(scroll, Rect(0, 380, 375, 120), false);
    banner_ = addView(cell, Rect(27, 10, 320, 100), true);
    addView(banner_, Rect(0, 0, 320, 100), false);       // the page
    addView(cell, Rect(317, 10, 30, 30), true);          // close button
    addView(cell, Rect(27, 90, 40, 20), true);           // badge
    addView(scroll, Rect(0, 520, 375, 200), true);       // the next cell
    addView(content, Rect(0, 470, 375, 50), true);       // toolbar
    addView(main, Rect(0, 0, 375, 64), true);            // navigation bar
    for (int i = 0; i < 4; ++i) {
      addView(scroll, Rect(0, i * 90.0, 375, 88), true);  // cells above
    }

    // Nine windows in front, each a clear backdrop with opaque panels,
    // staggered so that they overlap the banner and each other.
    for (int w = 1; w < kWindows; ++w) {
      const double top = 300.0 + w * 12.0;
      auto window = makeWindow(Rect(w * 8.0, top, 200, 180));
      auto backdrop = addView(window, Rect(0, 0, 200, 180), false);
      addView(backdrop, Rect(w * 3.0, 80, 24, 24), true);
      addView(backdrop, Rect(150, w * 4.0, 30, 30), true);
      if (w % 3 == 0) {
        addView(backdrop, Rect(60, 150, 40, 20), true);
      }
    }
    while (viewCount_ < kViews) {
      addView(windows_.back(), Rect(190, 0, 10, 10), false);
      ++viewCount_;
    }

    const std::string caches = (std::filesystem::temp_directory_path() / "plexora-viewability-bench").string();
    std::filesystem::create_directories(caches);
    plexora::platform::setCachesDirectory(caches);
    plexora::OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(plexora::platform::Value(
        plexora::platform::Dictionary{{"visible_area_check_enabled", true}, {"visible_area_percentage", 1}}));
  }

  const std::shared_ptr<View>& banner() const { return banner_; }

 private:
  std::shared_ptr<Window> makeWindow(Rect frame) {
    auto window = std::make_shared<Window>(frame);
    window->makeKeyAndVisible();
    windows_.push_back(window);
    return window;
  }

  std::shared_ptr<View> addView(const std::shared_ptr<View>& parent, Rect frame, bool opaque) {
    ++viewCount_;
    return ::addView(parent, frame, opaque);
  }

  std::optional<plexora::platform::ScopedDeviceProvider> device_;
  std::vector<std::shared_ptr<Window>> windows_;
  std::shared_ptr<View> banner_;
  int viewCount_ = 0;
};

Screen& screen() {
  static Screen instance;
  return instance;
}

void BM_VisibleAreaCheck(benchmark::State& state) {
  auto validator = plexora::OVAdViewabilityValidator::initWithView(screen().banner(), 50, false);
  plexora::OVAdViewabilityStatus last{};
  for (auto _ : state) {
    validator->isViewOnScreenWithBlock([&last](plexora::OVAdViewabilityStatus status) { last = status; });
    benchmark::DoNotOptimize(last);
  }
  if (last != plexora::OVAdViewabilityStatus::Viewable) {
    state.SkipWithError("the banner should pass");
  }
}
BENCHMARK(BM_VisibleAreaCheck);

void BM_ViewableRatio(benchmark::State& state) {
  const OVAdQualityViewabilityMeasurement measurement(screen().banner());
  float ratio = 0.0f;
  for (auto _ : state) {
    ratio = measurement.viewableRatio();
    benchmark::DoNotOptimize(ratio);
  }
  state.counters["ratio"] = ratio;
  const Rect target = plexora::measurement::clippedScreenRect(*screen().banner());
  state.counters["blockers"] =
      static_cast<double>(OVAdQualityViewabilityMeasurement::overlappingRectsInView(*screen().banner(), target, true)
                              .size());
}
BENCHMARK(BM_ViewableRatio);

void BM_BareUnion(benchmark::State& state) {
  const View& banner = *screen().banner();
  const Rect target = plexora::measurement::clippedScreenRect(banner);
  const OVAdRects blockers = OVAdQualityViewabilityMeasurement::overlappingRectsInView(banner, target, true);
  OVAdRects withTarget = blockers;
  withTarget.push_back(target);
  const double frameArea = banner.frame().width() * banner.frame().height();
  float ratio = 0.0f;
  for (auto _ : state) {
    const double covered = OVAdQualityViewabilityMeasurement::unionAreaOfRects(blockers);
    const double coveredOrTarget = OVAdQualityViewabilityMeasurement::unionAreaOfRects(withTarget);
    ratio = static_cast<float>((coveredOrTarget - covered) / frameArea);
    benchmark::DoNotOptimize(ratio);
  }
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_BareUnion);

}  // namespace

BENCHMARK_MAIN();
