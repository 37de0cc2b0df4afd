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
// The ad the bundled server answers: a video with an end card, which
// shows once the video has played and closes the ad with its own link.
constexpr const char* kAnswer =
    R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"request_timeout":15000},)"
    R"("ads":[{"adapter":"PX","data":{"request_id":"req-rewarded-demo","ct":"ct-rewarded-demo",)"
    R"("title":"Castle Siege","call_to_action":"Install Now","skippable_seconds":5,"context_switch":"resume",)"
    R"("video_url":"{{BASE_URL}}media/rewarded-demo.mp4",)"
    R"("end_card_markup":"<!DOCTYPE html><html><head><meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"></head>)"
    R"(<body style=\"margin:0;background:#000;color:#fff;text-align:center;font-family:sans-serif\">)"
    R"(<h1>Castle Siege</h1><a href=\"ovad://store?store_id=100200500&amp;store_url_web_fallback=https%3A%2F%2Fapps.plexora.test%2Fapp%2F100200500\" style=\"color:#4f82f7\">Install Now</a>)"
    R"(<a href=\"ovad://close\" style=\"position:absolute;left:0;right:0;top:45%;padding:16px 0;color:#fff\">Close</a>)"
    R"(</body></html>"},"trackers":[]}]}]})";
// The card's close link: a band across the screen from 45% of its height,
// 16 points of padding around its text.
constexpr double kCloseLinkTop = 0.45;
constexpr double kCloseLinkMiddle = 24;
// A band of the card's plain background, clear of the close link and of
// the video's progress bar at the bottom.
constexpr double kPlainTop = 0.6;
constexpr double kPlainHeight = 0.2;
// How long the card's picture stays the same before it counts as drawn.
constexpr double kStillSeconds = 1.0;
constexpr const char* kEndCardPictureName = "rewarded-end-card.png";

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
  // The video's view is emptied at its end and the card is presented over
  // it. A display of its own from here, which draws the window afresh on its
  // first look: the one above may still hold a frame of the video. The card
  // is in once the screen stays the same, its title is drawn in the middle
  // of the top and the black below its close link is plain (a frame of the
  // video is not).
  DemoScreen card(state.window);
  const platform::Rect title{screen.width() / 4, 0, screen.width() / 2, screen.height() / 4};
  const platform::Rect belowClose{0, screen.height() * kPlainTop, screen.width(), screen.height() * kPlainHeight};
  if (!step("rewarded end card",
            [&] { return card.still(kStillSeconds) && card.drawn(title) && !card.drawn(belowClose); },
            "the ad's page in the web engine, after the video")) {
    return false;
  }
  if (!card.write(screen, outputDirectory / kEndCardPictureName, "picture")) return false;
  // The page's own close link, tapped through the host's pointer; nothing
  // under that point closes the ad but the card.
  if (!card.tap({screen.width() / 2, screen.height() * kCloseLinkTop + kCloseLinkMiddle})) {
    std::printf("           %-22s FAILED: the tap reached no view\n", "end card close");
    return false;
  }
  if (!step("rewarded closed", [&] { return state.host->closes > 0; }, "the card's close link closed the ad")) {
    return false;
  }
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
