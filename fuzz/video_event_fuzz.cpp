// Plays a native video ad's events through its video logger as the ad's
// data and its video file could drive them. The input is the ad's data
// (JSON text: its client token and autoplay flag); after a NUL byte, each
// further step is chosen by the bytes: a progress tick, pause, resume, seek
// start or end, skip, stop or end of the video at a media time of any value
// and time scale (the file's own timestamps) or at an invalid, indefinite
// or infinite time; a new volume; or a new frame for the video's view.
// Every step also goes to the remaining-time label the renderer shows, with
// the time as the remaining seconds and a duration from the input.
// It must never crash, and what it logs must be sound: every parameter of
// every "video" event is a finite decimal number, the first-progress, MRC
// and viewable-impression events go out at most once each, and the label
// is "m:ss", "mm:ss" or "h:mm:ss" with minutes and seconds below 60.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "adapters/OVNativeAdDataModel.h"
#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/OVAdUtility.h"

using plexora::OVAdVideoLogger;
using plexora::OVNativeAdDataModel;
using plexora::platform::MediaTime;
using plexora::platform::Rect;

namespace {

// The token a logger needs when the data has none of its own.
constexpr const char* kFallbackToken = "ct-fuzz";
constexpr const char* kActionKey = "action";
// Events that go out once for a video.
constexpr const char* kOnceActions[] = {"16", "3", "10"};
// Frames stay within what a screen could lay out: the view's geometry is
// the host's, not the server's.
constexpr double kLargestCoordinate = 1.0e6;

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "video_event_fuzz: %s\n", what);
  std::abort();
}

bool isFiniteDecimal(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

// "m:ss", "mm:ss" or "h:mm:ss": digits in groups split by colons, every
// group after the first two digits below 60.
bool isClockText(const std::string& text) {
  std::size_t start = 0;
  int groups = 0;
  while (true) {
    const std::size_t colon = text.find(':', start);
    const std::string group = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (group.empty() || group.find_first_not_of("0123456789") != std::string::npos) return false;
    if (groups > 0 && (group.size() != 2 || std::stoi(group) >= 60)) return false;
    ++groups;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return groups == 2 || groups == 3;
}

MediaTime timeOf(FuzzedDataProvider& steps) {
  switch (steps.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
      return MediaTime::invalid();
    case 1:
      return MediaTime::indefinite();
    case 2:
      return MediaTime::positiveInfinity();
    case 3:
      return MediaTime::negativeInfinity();
    default: {
      const auto timescale = steps.ConsumeIntegral<std::int32_t>();
      return MediaTime::make(steps.ConsumeIntegral<std::int64_t>(), timescale);
    }
  }
}

double coordinate(FuzzedDataProvider& steps) {
  return steps.ConsumeFloatingPointInRange<double>(-kLargestCoordinate, kLargestCoordinate);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const plexora::platform::ScopedClock scopedClock(std::make_shared<plexora::platform::ManualClock>());

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t end = input.find('\0');
  const std::optional<plexora::platform::Value> metadata =
      plexora::OVAdUtility::getObjectFromJSONString(input.substr(0, end));
  if (!metadata) return 0;
  const auto model = OVNativeAdDataModel::initWithMetadata(*metadata);
  require(model != nullptr, "no model");
  const auto& token = model->inlineClientToken();
  const bool autoplay = model->videoAutoplayEnabled().value_or(true);
  const std::string_view rest = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  FuzzedDataProvider steps(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());

  auto window = std::make_shared<plexora::platform::Window>(Rect(0, 0, 375, 667));
  window->makeKeyAndVisible();
  auto view = std::make_shared<plexora::platform::View>(Rect(0, 100, 320, 180));
  window->addSubview(view);
  float volume = 0.0F;
  const auto logger = OVAdVideoLogger::initWithTargetView(
      view, token && !token->empty() ? token : std::optional<std::string>(kFallbackToken), [&volume] { return volume; },
      autoplay);
  require(logger != nullptr, "no logger for a view and a token");
  std::map<std::string, int> actions;
  logger->setEventLog([&](const std::string&, const plexora::platform::Dictionary& params) {
    for (const auto& [key, value] : params) {
      const std::optional<std::string> text = value.text();
      require(text && isFiniteDecimal(*text), "a video event parameter that is not a finite number");
      if (key == kActionKey) ++actions[*text];
    }
  });

  const double duration = steps.ConsumeFloatingPoint<double>();
  while (steps.remaining_bytes() > 0) {
    const int step = steps.ConsumeIntegralInRange<int>(0, 9);
    if (step == 8) {
      volume = steps.ConsumeProbability<float>();
      continue;
    }
    if (step == 9) {
      view->setFrame(Rect(coordinate(steps), coordinate(steps), coordinate(steps), coordinate(steps)));
      continue;
    }
    const MediaTime time = timeOf(steps);
    switch (step) {
      case 0:
      case 1:
        logger->registerProgress(time);
        break;
      case 2:
        logger->registerPause(time);
        break;
      case 3:
        logger->registerResume(time);
        break;
      case 4:
        logger->registerSeekStart(time);
        break;
      case 5:
        logger->registerSeekEnd(time);
        break;
      case 6:
        logger->registerSkip(time);
        break;
      default:
        if (steps.ConsumeBool()) {
          logger->registerStop(time);
        } else {
          logger->registerComplete(time);
        }
        break;
    }
    const std::string label = plexora::OVMediaViewDefaultVideoRenderer::remainingTimeLabel(time.seconds(), duration);
    require(isClockText(label), "a remaining time that is not a clock's");
  }
  plexora::platform::DispatchQueue::settle();
  for (const char* action : kOnceActions) require(actions[action] <= 1, "a once-only video event went out again");
  return 0;
}
