// The renderer that tells a delegate of its playback: each hook reaches the
// delegate's operation of the same event with the view, and a delegate
// that only hears of the load is told of nothing else.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapters/views/nativead/video/VideoRendererTestSupport.h"
#include "adapters/views/video/OVAdVideoView.h"

namespace plexora::testing {
namespace {

struct RecordingVideoViewDelegate final : OVAdVideoViewDelegate {
  void videoViewDidLoad(const std::shared_ptr<OVAdVideoView>& view) override { note("load", view); }
  void videoViewDidChangeVolume(const std::shared_ptr<OVAdVideoView>& view) override { note("volume", view); }
  void videoViewDidPause(const std::shared_ptr<OVAdVideoView>& view) override { note("pause", view); }
  void videoViewDidPlay(const std::shared_ptr<OVAdVideoView>& view) override { note("play", view); }
  void videoViewDidEngageSeek(const std::shared_ptr<OVAdVideoView>& view) override { note("engage", view); }
  void videoViewDidSeek(const std::shared_ptr<OVAdVideoView>& view) override { note("seek", view); }
  void videoViewDidDisengageSeek(const std::shared_ptr<OVAdVideoView>& view) override { note("disengage", view); }
  void videoViewDidEnd(const std::shared_ptr<OVAdVideoView>& view) override { note("end", view); }
  void videoView(const std::shared_ptr<OVAdVideoView>& view, const platform::Error& error) override {
    note("fail " + std::to_string(error.code()), view);
  }
  void note(const std::string& event, const std::shared_ptr<OVAdVideoView>& view) {
    events.push_back(event);
    views.push_back(view);
  }
  std::vector<std::string> events;
  std::vector<std::shared_ptr<OVAdVideoView>> views;
};

struct LoadOnlyDelegate final : OVAdVideoViewDelegate {
  void videoViewDidLoad(const std::shared_ptr<OVAdVideoView>&) override { ++loads; }
  int loads = 0;
};

class AdVideoViewTest : public VideoRendererTest {};

TEST_F(AdVideoViewTest, EveryHookReachesTheDelegateWithTheView) {
  useSystemPlayer();
  const auto view = makeRenderer<OVAdVideoView>();
  EXPECT_EQ(view->backgroundColor(), platform::Color::black());
  const auto delegate = std::make_shared<RecordingVideoViewDelegate>();
  view->setDelegate(delegate);
  view->loadVideoURL(urlOf("clip.mp4"), "ct-video-view", true);
  ASSERT_TRUE(runClockUntil([&] { return !delegate->events.empty(); }, 0.5));
  view->setVolume(0.5F);
  view->playVideo();
  view->engageVideoSeek();
  view->seekVideoToTime(platform::MediaTime::make(3, 1));
  view->disengageVideoSeek();
  view->pauseVideo();
  view->playVideo();
  kit_->item->reachEnd();
  ASSERT_TRUE(runClockUntil([&] { return delegate->events.back() == "end"; }));
  kit_->item->fail(std::nullopt);
  ASSERT_TRUE(runClockUntil([&] { return delegate->events.back() == "fail 0"; }));
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"load", "volume", "play", "engage", "seek", "disengage",
                                                        "pause", "play", "end", "fail 0"}));
  for (const auto& told : delegate->views) EXPECT_EQ(told, view);
}

TEST_F(AdVideoViewTest, ADelegateOfTheLoadAloneHearsNothingElse) {
  useSystemPlayer();
  const auto view = makeRenderer<OVAdVideoView>();
  const auto delegate = std::make_shared<LoadOnlyDelegate>();
  view->setDelegate(delegate);
  view->loadVideoURL(urlOf("clip.mp4"), "ct-video-view", true);
  ASSERT_TRUE(runClockUntil([&] { return delegate->loads > 0; }, 0.5));
  view->setVolume(0.0F);
  view->playVideo();
  view->pauseVideo();
  kit_->item->fail(std::nullopt);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate->loads, 1);
}

}  // namespace
}  // namespace plexora::testing
