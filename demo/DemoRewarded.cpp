#include "DemoRewarded.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "DemoScreen.h"
#include "DemoStep.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVRewardedVideoAd.h"
#include "testserver/RangeFile.h"

namespace plexora::demo {

namespace {

constexpr const char* kUserID = "demo-user";
constexpr const char* kCurrency = "coins";
constexpr std::int64_t kAmount = 10;
constexpr const char* kClientToken = "ct-rewarded-demo";
// Four seconds of picture and sound, header first.
constexpr const char* kClipName = "remote_moov_first.mp4";
constexpr const char* kVideoPath = "/media/rewarded-demo.mp4";
constexpr const char* kPictureName = "rewarded.png";
constexpr const char* kImpressionType = "impression";
// The ad the bundled server answers: a video without an end card, so the
// ad closes once the video has played.
constexpr const char* kAnswer =
    R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"request_timeout":15000},)"
    R"("ads":[{"adapter":"PX","data":{"request_id":"req-rewarded-demo","ct":"ct-rewarded-demo",)"
    R"("title":"Castle Siege","call_to_action":"Install Now","skippable_seconds":5,"context_switch":"resume",)"
    R"("video_url":"{{BASE_URL}}media/rewarded-demo.mp4"},"trackers":[]}]}]})";

using Clock = std::chrono::steady_clock;

// What the host hears.
class HostDelegate final : public OVRewardedVideoAdDelegate {
 public:
  void rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAd>&) override { ++loads; }
  void rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAd>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }
  void rewardedVideoAdWillLogImpression(const std::shared_ptr<OVRewardedVideoAd>&) override { ++impressions; }
  void rewardedVideoAdComplete(const std::shared_ptr<OVRewardedVideoAd>&) override { ++completions; }
  void rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAd>&) override { ++closes; }
  void rewardedVideoAdServerRewardDidSucceed(const std::shared_ptr<OVRewardedVideoAd>&) override { ++rewards; }
  void rewardedVideoAdServerRewardDidFail(const std::shared_ptr<OVRewardedVideoAd>&) override {
    errors.emplace_back("the server refused the reward");
  }

  int loads = 0;
  int impressions = 0;
  int completions = 0;
  int closes = 0;
  int rewards = 0;
  std::vector<std::string> errors;
};

}  // namespace

struct DemoRewarded::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<HostDelegate> host = std::make_shared<HostDelegate>();
  DemoScreen screen{window};
  std::shared_ptr<OVRewardedVideoAd> ad;
};

DemoRewarded::DemoRewarded(testserver::AdServer* bundledServer, std::filesystem::path mediaDirectory)
    : bundledServer_(bundledServer), mediaDirectory_(std::move(mediaDirectory)), state_(std::make_unique<State>()) {}

DemoRewarded::~DemoRewarded() = default;

bool DemoRewarded::step(const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  return runDemoStep(state_->start, state_->host->errors, name, done, detail);
}

bool DemoRewarded::serveAd() {
  std::ifstream file(mediaDirectory_ / kClipName, std::ios::binary);
  auto clip = std::make_shared<std::string>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) clip->clear();
  if (clip->empty()) {
    std::printf("           %-22s FAILED: no clip at %s\n", "rewarded video", (mediaDirectory_ / kClipName).c_str());
    return false;
  }
  const testserver::AnswerFunction serveClip = testserver::serveRangeFile(std::move(clip));
  // Each answer closes its connection, as the ad server's own do.
  bundledServer_->server().on(kVideoPath, [serveClip](const testserver::RecordedRequest& request) {
    testserver::Response response = serveClip(request);
    response.headers.emplace_back("Connection", "close");
    return response;
  });
  bundledServer_->setAnswer(kRewardedPlacement, testserver::AdAnswer::document(kAnswer));
  return true;
}

bool DemoRewarded::run(const std::filesystem::path& outputDirectory) {
  State& state = *state_;
  if (bundledServer_ != nullptr && !serveAd()) return false;
  state.start = Clock::now();
  state.window->setRootViewController(state.root);
  state.window->makeKeyAndVisible();
  state.ad = OVRewardedVideoAd::initWithPlacementID(kRewardedPlacement, kUserID, kCurrency, kAmount);
  state.ad->setDelegate(state.host);
  state.ad->loadAd();
  if (!step("rewarded load", [&] { return state.host->loads > 0; }, "the video is cached, the ad is ready")) {
    return false;
  }
  if (!state.ad->showAdFromRootViewController(state.root)) {
    std::printf("           %-22s FAILED: the ad was not shown\n", "rewarded show");
    return false;
  }
  if (!step("rewarded impression", [&] { return state.host->impressions > 0; }, "full screen, the video plays")) {
    return false;
  }
  // The clip's picture fills the middle of the screen once its first
  // frames are drawn; a video that ends first leaves no picture to take.
  const platform::Rect screen = state.window->bounds();
  const platform::Rect middle{screen.width() / 3, screen.height() / 3, screen.width() / 3, screen.height() / 3};
  const auto frameDrawn = [&] {
    state.screen.refresh();
    return state.screen.drawn(middle);
  };
  if (!step("rewarded picture", [&] { return frameDrawn() || state.host->completions > 0; },
            "the clip in the host display")) {
    return false;
  }
  if (frameDrawn()) {
    if (!state.screen.write(screen, outputDirectory / kPictureName, "picture")) return false;
  } else {
    std::printf("           %-22s none: the video ended before a frame was drawn\n", "picture");
  }
  if (!step("rewarded complete", [&] { return state.host->completions > 0; }, "the video played to its end")) {
    return false;
  }
  if (!step("rewarded closed", [&] { return state.host->closes > 0; }, "the ad was dismissed")) return false;
  if (!step("reward confirmed", [&] { return state.host->rewards > 0; },
            std::string(kUserID) + " gets " + kCurrency + std::to_string(kAmount))) {
    return false;
  }
  if (bundledServer_ == nullptr) return true;
  const auto acknowledged = [&] {
    const auto events = bundledServer_->logging().events();
    return std::any_of(events.begin(), events.end(), [](const testserver::AcknowledgedEvent& event) {
      return event.type == kImpressionType && event.token == kClientToken;
    });
  };
  return step("rewarded acknowledged", acknowledged, "the server took the impression");
}

}  // namespace plexora::demo
