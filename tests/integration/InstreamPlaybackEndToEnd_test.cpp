// The fixture in-stream ad with the library's own content view, its video
// played by the system player from the loopback server on the manual clock:
// loaded, started with its widgets over the video, seen, skipped with a tap
// on the skip button once the skip time has passed, and its impression and
// video events acknowledged by the logging endpoint.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "InstreamTestSupport.h"
#include "adapters/views/video/OVDefaultInstreamAdContentView.h"
#include "adapters/views/video/OVInstreamLearnMoreView.h"
#include "adapters/views/video/OVInstreamSkipButtonView.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/Application.h"
#include "testserver/RangeFile.h"

namespace plexora::testing {
namespace {

constexpr const char* kFixturePlacement = "instream";
constexpr const char* kFixtureToken = "ct-instream-1";
// The fixture's videos, the standard one and the one for Wi-Fi.
constexpr const char* kVideoPaths[] = {"/media/instream-30s.mp4", "/media/instream-30s-hd.mp4"};
constexpr const char* kClip = "twelve_seconds.mp4";
// GStreamer works on its own threads; a loaded machine may take long.
constexpr double kPlayerWaitSeconds = 60.0;

class InstreamPlaybackEndToEndTest : public ::testing::Test {
 protected:
  InstreamPlaybackEndToEndTest() {
    platform::setCachesDirectory(caches_.path().string());
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
    events_ = world_.makeEventManager(caches_.path() / "events.sqlite");
  }
  ~InstreamPlaybackEndToEndTest() override {
    ad_.reset();
    platform::Application::shared()->reset();
    DisplayAdTestWorld::settle();
  }

  bool serveClip() {
    std::ifstream file(std::string(PLEXORA_TEST_MEDIA_DIR) + "/" + kClip, std::ios::binary);
    const auto clip =
        std::make_shared<const std::string>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    for (const char* path : kVideoPaths) world_.server().server().on(path, testserver::serveRangeFile(clip));
    return !clip->empty();
  }
  static bool waitFor(const std::function<bool()>& done) {
    return platform::MainLoop::instance().runUntil(done, kPlayerWaitSeconds);
  }
  // Moves the clock on in small steps until `done`: the player's time
  // follows the clock only as far as its pipeline has been fed.
  bool advanceUntil(const std::function<bool()>& done) {
    for (int step = 0; step < 3000 && !done(); ++step) {
      world_.clock().advance(0.01);
      platform::MainLoop::instance().runUntil(done, 0.02);
    }
    return done();
  }
  std::shared_ptr<OVDefaultInstreamAdContentView> contentView() const {
    return std::dynamic_pointer_cast<OVDefaultInstreamAdContentView>(ad_->instreamVideoAdView());
  }
  bool acknowledged(const std::string& type) {
    for (const auto& event : world_.server().logging().events()) {
      if (event.type == type && event.token == kFixtureToken && event.code == "1") return true;
    }
    return false;
  }

  DisplayAdTestWorld world_;
  TempDir caches_;
  std::shared_ptr<OVAdEventManager> events_;
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingInstreamAdViewDelegate> delegate_ = std::make_shared<RecordingInstreamAdViewDelegate>();
  std::shared_ptr<OVInstreamAdView> ad_;
};

TEST_F(InstreamPlaybackEndToEndTest, TheFixtureAdPlaysIsSeenAndIsSkippedWithATapOnceItMayBe) {
  ASSERT_TRUE(serveClip());
  ad_ = OVInstreamAdView::initWithPlacementID(kFixturePlacement);
  ad_->setDelegate(delegate_);
  ad_->setFrame(platform::Rect(0, 100, 320, 180));
  window_->addSubview(ad_);
  ad_->loadAd();
  ASSERT_TRUE(waitFor([&] { return !delegate_->messages.empty(); }));
  ASSERT_EQ(delegate_->messages, std::vector<std::string>{"loaded"});
  const auto adapter = std::dynamic_pointer_cast<OVPXInstreamAdAdapter>(ad_->adController()->currentAdapter());
  ASSERT_TRUE(adapter);
  adapter->setEventManager(events_);

  ASSERT_TRUE(ad_->showAdFromRootViewController(root_));
  DisplayAdTestWorld::settle();
  const auto content = contentView();
  ASSERT_TRUE(content);
  ASSERT_TRUE(content->skipButtonView());
  ASSERT_TRUE(content->learnMoreView());
  EXPECT_EQ(content->skipButtonView()->superview(), content);
  EXPECT_EQ(content->learnMoreView()->superview(), content);

  ASSERT_TRUE(advanceUntil([&] { return delegate_->count("impression") > 0; }));
  // A tap before the skip time does nothing.
  const auto centreOf = [](const std::shared_ptr<platform::View>& view) {
    const platform::Rect bounds = view->bounds();
    return view->convertPointToView({bounds.midX(), bounds.midY()}, nullptr);
  };
  platform::Application::shared()->sendTap(centreOf(content->skipButtonView()));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->count("ended"), 0u);

  ASSERT_TRUE(advanceUntil([&] {
    const platform::MediaTime left = content->skipRemainingTime();
    return left.isValid() && left <= platform::MediaTime::zero();
  }));
  platform::Application::shared()->sendTap(centreOf(content->skipButtonView()));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression", "ended"}));
  EXPECT_TRUE(ad_->subviews().empty());
  EXPECT_GT(content->currentTime().seconds(), 4.9);
  EXPECT_LT(content->currentTime().seconds(), 6.0) << "skipped, not played to the end";

  const auto videoActions = [&] {
    std::vector<std::string> actions;
    for (const auto& event : world_.loggedEvents("video", kFixtureToken)) {
      const platform::Value* data = event.find("data");
      const platform::Value* action = data ? data->find("action") : nullptr;
      actions.push_back(action ? action->text().value_or("") : "");
    }
    return actions;
  };
  // The batches need not arrive in the order the events were logged.
  const auto skipLogged = [&] {
    const auto actions = videoActions();
    return std::find(actions.begin(), actions.end(), "1") != actions.end();
  };
  world_.clock().advance(0.5);
  EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return acknowledged("impression") && skipLogged(); }));
  const auto actions = videoActions();
  EXPECT_EQ(std::count(actions.begin(), actions.end(), "1"), 1) << "the skip";
  EXPECT_EQ(std::count(actions.begin(), actions.end(), "16"), 1) << "the first progress";
}

}  // namespace
}  // namespace plexora::testing
