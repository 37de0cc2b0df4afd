// A media view's world for tests: the native ad world (loopback server,
// caches, manual clock), a key window with a root view controller, native
// ads made straight from candidate data served by that server, and a
// delegate that records what reaches it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "NativeAdTestSupport.h"
#include "adapters/OVNativeAdDataModel.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVMediaView.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {

class RecordingMediaViewDelegate final : public OVMediaViewDelegate {
 public:
  void mediaViewDidLoad(const std::shared_ptr<OVMediaView>&) override { messages.push_back("loaded"); }
  void mediaViewWillEnterFullscreen(const std::shared_ptr<OVMediaView>&) override { messages.push_back("enter"); }
  void mediaViewDidExitFullscreen(const std::shared_ptr<OVMediaView>&) override { messages.push_back("exit"); }
  void mediaView(const std::shared_ptr<OVMediaView>&, float volume) override {
    messages.push_back("volume " + std::to_string(volume));
  }
  void mediaViewVideoDidPause(const std::shared_ptr<OVMediaView>&) override { messages.push_back("pause"); }
  void mediaViewVideoDidPlay(const std::shared_ptr<OVMediaView>&) override { messages.push_back("play"); }
  void mediaViewVideoDidComplete(const std::shared_ptr<OVMediaView>&) override { messages.push_back("complete"); }

  std::size_t count(const std::string& message) const {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
  }

  std::vector<std::string> messages;
};

// Keeps the log lines written while it lives, at every level.
class MediaViewLogLines {
 public:
  MediaViewLogLines() {
    OVAdSettings::setLogLevel(6);
    platform::setLogSink([this](std::string_view line) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~MediaViewLogLines() { platform::setLogSink(nullptr); }
  MediaViewLogLines(const MediaViewLogLines&) = delete;
  MediaViewLogLines& operator=(const MediaViewLogLines&) = delete;

  std::size_t count(std::string_view text) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    }));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

class MediaViewTest : public NativeAdTest {
 protected:
  MediaViewTest() {
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~MediaViewTest() override {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(platform::Dictionary{}));
    platform::Application::shared()->reset();
  }

  // A loaded native ad of the data (JSON text of an object) whose
  // "{{BASE_URL}}" stands for the loopback server.
  std::shared_ptr<OVNativeAd> adFrom(std::string json) const {
    const std::string placeholder = "{{BASE_URL}}";
    for (auto at = json.find(placeholder); at != std::string::npos; at = json.find(placeholder)) {
      json.replace(at, placeholder.size(), world_.server().baseURL());
    }
    const auto data = OVAdUtility::getObjectFromJSONString(json);
    EXPECT_TRUE(data.has_value()) << json;
    auto ad = OVNativeAd::init();
    ad->populateFromDataModel(OVNativeAdDataModel::initWithMetadata(data.value_or(platform::Value())), nullptr, {}, {},
                              {});
    ad->setDelegate(delegate_);
    return ad;
  }

  // A media view of the ad in the window.
  std::shared_ptr<OVMediaView> mediaViewFor(const std::shared_ptr<OVNativeAd>& ad, platform::Rect frame) {
    auto view = OVMediaView::init();
    view->setDelegate(mediaDelegate_);
    window_->addSubview(view);
    view->setFrame(frame);
    view->setNativeAd(ad);
    return view;
  }

  // Waits (in real time, for the server) until the media view reported its
  // load.
  bool waitForLoad() {
    return DisplayAdTestWorld::waitFor([&] { return mediaDelegate_->count("loaded") > 0; });
  }

  // Waits for `count` events of the type at the logging endpoint, moving
  // the clock on meanwhile: the store, the logging delay and the session's
  // start of queued requests each wait on it.
  bool waitForLogged(const std::string& type, std::size_t count) {
    return DisplayAdTestWorld::waitFor([&] {
      world_.clock().advance(0.1);
      return world_.loggedEvents(type).size() >= count;
    });
  }

  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingMediaViewDelegate> mediaDelegate_ = std::make_shared<RecordingMediaViewDelegate>();
};

// Candidate data: a cover (12 x 6 from the server), and optionally a video
// and two cards of 300 x 300.
inline std::string mediaAdData(bool video, bool cards, const std::string& videoName = "clip.mp4") {
  std::string json = R"({"ct":"ct-media","title":"Media","call_to_action":"Install",)"
                     R"("image":{"url":"{{BASE_URL}}media/media-cover.png","width":12,"height":6},)"
                     R"("icon":{"url":"{{BASE_URL}}media/media-icon.png"},"ovad_command":"ovad://close")";
  if (video) json += R"(,"video_url":"{{BASE_URL}}media/)" + videoName + R"(")";
  if (cards) {
    json += R"(,"carousel":[)"
            R"({"title":"One","image":{"url":"{{BASE_URL}}media/card-1.png","width":300,"height":300},)"
            R"("ovad_command":"ovad://open_link?link=https%3A%2F%2Fshop.plexora.test%2Fone"},)"
            R"({"title":"Two","image":{"url":"{{BASE_URL}}media/card-2.png","width":300,"height":300},)"
            R"("ovad_command":"ovad://open_link?link=https%3A%2F%2Fshop.plexora.test%2Ftwo"}])";
  }
  return json + "}";
}

}  // namespace plexora::testing
