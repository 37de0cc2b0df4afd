// The in-stream content view: the skip and countdown arithmetic on a
// scripted system player's times, the widgets the ad's data calls for and
// where they stand, taps, application state, and how the end, a skip and a
// failure take the playing state down; then one ad played through
// GStreamer from the loopback server.
#include "adapters/views/video/OVDefaultInstreamAdContentView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/OVInstreamAdDataModel.h"
#include "adapters/views/video/OVInstreamLearnMoreView.h"
#include "adapters/views/video/OVInstreamSkipButtonView.h"
#include "adapters/views/video/OVVideoAdLabel.h"
#include "adapters/views/video/ScriptedSystemPlayer.h"
#include "platform/device/NetworkReachability.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/media/GStreamerPlayerKit.h"
#include "platform/ui/Application.h"
#include "platform/ui/UITest.h"
#include "plexora/OVAdImage.h"
#include "testserver/RangeFile.h"
#include "testserver/TestServer.h"
#include "util/FakeDeviceProvider.h"

namespace plexora {
namespace {

using platform::MediaTime;

constexpr const char* kVideoURL = "https://cdn.plexora.test/ad.mp4";
constexpr const char* kVideoHDURL = "https://cdn.plexora.test/ad-hd.mp4";

MediaTime at(double seconds) { return MediaTime::make(std::llround(seconds * 1000), 1000); }

struct AdData {
  std::optional<platform::Value> skippableSeconds = std::nullopt;
  std::optional<std::string> countdownFormat = std::nullopt;
  bool countdown = false;
  bool destination = false;
  bool hd = false;
  bool video = true;
};

std::shared_ptr<OVInstreamAdDataModel> adWith(const AdData& ad) {
  platform::Dictionary video;
  if (ad.video) video.set("videoURL", kVideoURL);
  if (ad.hd) video.set("videoHDURL", kVideoHDURL);
  if (ad.destination) video.set("destinationURL", "https://shop.plexora.test/");
  platform::Dictionary capabilities;
  if (ad.skippableSeconds)
    capabilities.set("skipButton", platform::Dictionary{{"skippableSeconds", *ad.skippableSeconds}});
  if (ad.countdown) {
    platform::Dictionary countdown;
    if (ad.countdownFormat) countdown.set("format", *ad.countdownFormat);
    capabilities.set("countdown", std::move(countdown));
  }
  platform::Dictionary data{{"ct", "token-1"}, {"video", std::move(video)}, {"capabilities", std::move(capabilities)}};
  return OVInstreamAdDataModel::initWithMetadata(platform::Value(std::move(data)));
}

class RecordingDelegate final : public OVVideoAdContentViewDelegate {
 public:
  void contentViewDidLoad(const std::shared_ptr<OVVideoAdContentView>&) override { messages.push_back("load"); }
  void contentViewDidProgress(const std::shared_ptr<OVVideoAdContentView>&) override { ++progress; }
  void contentViewDidPause(const std::shared_ptr<OVVideoAdContentView>&) override { messages.push_back("pause"); }
  void contentViewDidResume(const std::shared_ptr<OVVideoAdContentView>&) override { messages.push_back("resume"); }
  void contentViewDidSkip(const std::shared_ptr<OVVideoAdContentView>&) override { messages.push_back("skip"); }
  void contentViewDidClickthrough(const std::shared_ptr<OVVideoAdContentView>&) override {
    messages.push_back("clickthrough");
  }
  void contentViewDidEnd(const std::shared_ptr<OVVideoAdContentView>&) override { messages.push_back("end"); }
  void contentViewDidUnload(const std::shared_ptr<OVVideoAdContentView>&) override { messages.push_back("unload"); }
  void contentView(const std::shared_ptr<OVVideoAdContentView>&, const platform::Error& error) override {
    messages.push_back("error " + std::to_string(error.code()));
  }

  std::vector<std::string> messages;
  int progress = 0;
};

class OVDefaultInstreamAdContentViewTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    view_->setFrame({0, 0, 320, 180});
    window_->addSubview(view_);
    view_->setDelegate(delegate_);
  }
  void TearDown() override {
    view_.reset();
    window_.reset();
    UITest::TearDown();
  }

  void setReachability(std::optional<std::uint32_t> flags) {
    device_->updateProfile([&](platform::DeviceProfile& profile) { profile.reachabilityFlags = flags; });
  }

  // Loads the ad, lets the scripted video load, and starts it.
  void loadAndStart(const AdData& ad) {
    view_->loadAdFromDataModel(adWith(ad));
    kit_->item->keepsUp(true);
    view_->startFromRootViewController(nullptr);
    view_->layoutIfNeeded();
  }

  // One progress tick of the video at `seconds`.
  void tickAt(double seconds) {
    kit_->item->time = at(seconds);
    view_->videoViewDidProgress(view_->videoView());
  }

  bool shows(const std::shared_ptr<platform::View>& widget) const { return widget && widget->superview() == view_; }

  std::shared_ptr<testing::FakeDeviceProvider> device_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedDevice_{device_};
  std::shared_ptr<testing::ScriptedSystemPlayerKit> kit_ = std::make_shared<testing::ScriptedSystemPlayerKit>();
  testing::ScopedSystemPlayerKit scopedKit_{kit_};
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<OVDefaultInstreamAdContentView> view_ = OVDefaultInstreamAdContentView::create();
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(OVDefaultInstreamAdContentViewTest, TheSkipButtonCountsUpwardsSoSkipAdShowsOnlyOnceATapSkips) {
  struct Case {
    const char* name;
    platform::Value skippableSeconds;
    double at;
    MediaTime remaining;
    std::uint64_t seconds;
    const char* text;
    bool skips;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"at the start", platform::Value(5.0), 0.0, at(5), 5, "Skip Ad in 5", false},
      {"half a second before", platform::Value(5.0), 4.5, at(0.5), 1, "Skip Ad in 1", false},
      {"a quarter before", platform::Value(5.0), 4.75, at(0.25), 1, "Skip Ad in 1", false},
      {"at the skip time", platform::Value(5.0), 5.0, at(0), 0, "Skip Ad", true},
      {"after it", platform::Value(5.0), 9.0, at(0), 0, "Skip Ad", true},
      {"a fraction rounds up", platform::Value(4.5), 0.0, at(4.5), 5, "Skip Ad in 5", false},
      {"milliseconds are kept", platform::Value("2.0009"), 0.0, at(2.0), 2, "Skip Ad in 2", false},
      {"text seconds", platform::Value("3"), 1.0, at(2), 2, "Skip Ad in 2", false},
      {"no wait", platform::Value(0.0), 0.0, at(0), 0, "Skip Ad", true},
      {"not a number", platform::Value(nan), 0.0, at(0), 0, "Skip Ad", true},
      {"a negative wait", platform::Value(-3.0), 0.0, at(0), 0, "Skip Ad", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view_ = OVDefaultInstreamAdContentView::create();
    view_->setDelegate(delegate_);
    delegate_->messages.clear();
    loadAndStart({.skippableSeconds = c.skippableSeconds});
    ASSERT_TRUE(view_->skippable());
    tickAt(c.at);
    EXPECT_EQ(view_->skipRemainingTime(), c.remaining);
    EXPECT_EQ(view_->skipRemainingSeconds(), c.seconds);
    ASSERT_TRUE(view_->skipButtonView());
    EXPECT_EQ(view_->skipButtonView()->text(), c.text);
    view_->skipButtonViewTapped();
    const std::vector<std::string> expected =
        c.skips ? std::vector<std::string>{"load", "skip"} : std::vector<std::string>{"load"};
    EXPECT_EQ(delegate_->messages, expected);
    EXPECT_EQ(shows(view_->videoView()), !c.skips);
  }
}

TEST_F(OVDefaultInstreamAdContentViewTest, TheSkipButtonTurnsAtTheSkipTimeNotAtTheVideosNextSecond) {
  // A 30.2 s video: its whole seconds left change at .2, the skip time at 5.
  kit_->item->itemDuration = at(30.2);
  loadAndStart({.skippableSeconds = platform::Value(5.0)});
  kit_->item->tell(platform::kSystemPlayerItemDurationKey);
  EXPECT_EQ(view_->skipButtonView()->text(), "Skip Ad in 5") << "made with the time at the start";
  tickAt(4.75);
  EXPECT_EQ(view_->skipButtonView()->text(), "Skip Ad in 1");
  tickAt(5.0);
  EXPECT_EQ(view_->skipButtonView()->text(), "Skip Ad");
  EXPECT_EQ(view_->lastRemainingTimeSeconds(), 26u) << "ceil(30.2 - 5.0)";
}

TEST_F(OVDefaultInstreamAdContentViewTest, TheCountdownShowsTheWholeSecondsLeftRoundedUp) {
  struct Case {
    const char* name;
    MediaTime duration;
    double at;
    std::optional<std::string> format;
    const char* text;
  };
  const Case cases[] = {
      {"duration not known yet", MediaTime::zero(), 0.0, std::nullopt, "0:01"},
      {"duration invalid", MediaTime::invalid(), 0.0, std::nullopt, "0:01"},
      {"a 30.2 s video at the start", at(30.2), 0.0, std::nullopt, "0:31"},
      {"the last second", at(30.2), 29.3, std::nullopt, "0:01"},
      {"past the end", at(30.2), 31.0, std::nullopt, "0:01"},
      {"ten minutes and more", at(700), 0.0, std::nullopt, "11:40"},
      {"an hour", at(3600), 0.0, std::nullopt, "1:00:00"},
      {"the ad's own format", at(125), 0.0, "Ad ends in {{REMAINING_TIME}} s", "Ad ends in 2:05 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view_ = OVDefaultInstreamAdContentView::create();
    kit_->item->itemDuration = c.duration;
    kit_->item->tell(platform::kSystemPlayerItemDurationKey);
    loadAndStart({.countdownFormat = c.format, .countdown = true});
    kit_->item->tell(platform::kSystemPlayerItemDurationKey);
    tickAt(c.at);
    ASSERT_TRUE(view_->countdownView());
    EXPECT_EQ(view_->countdownView()->text(), c.text);
  }
}

TEST_F(OVDefaultInstreamAdContentViewTest, TheCountdownIsFittedOnceAndChangesOnlyWithTheWholeSeconds) {
  kit_->item->itemDuration = at(30.2);
  loadAndStart({.countdown = true});
  kit_->item->tell(platform::kSystemPlayerItemDurationKey);
  const auto label = view_->countdownView();
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), "0:00") << "the text of 0 seconds at the start";
  const platform::Size fitted = label->frame().size;
  EXPECT_DOUBLE_EQ(fitted.width, label->sizeThatFits({0, 0}).width + 7.5);
  EXPECT_EQ(label->textColor(), platform::Color::white());
  EXPECT_EQ(label->backgroundColor(), platform::Color::clear());
  EXPECT_EQ(label->textAlignment(), platform::TextAlignment::Left);
  EXPECT_EQ(label->numberOfLines(), 1);

  tickAt(0.0);
  EXPECT_EQ(label->text(), "0:31");
  EXPECT_EQ(view_->lastRemainingTimeSeconds(), 31u);
  label->setText("unchanged");
  tickAt(0.1);
  EXPECT_EQ(label->text(), "unchanged") << "still 31 seconds left: no new text";
  tickAt(0.25);
  EXPECT_EQ(label->text(), "0:30");
  EXPECT_EQ(label->frame().size, fitted) << "not refitted";
  EXPECT_EQ(delegate_->progress, 3);
}

TEST_F(OVDefaultInstreamAdContentViewTest, TheAdsDataDecidesTheWidgetsAndTheirPlaces) {
  loadAndStart({.skippableSeconds = platform::Value(5.0), .countdown = true, .destination = true});
  const auto skip = view_->skipButtonView();
  const auto learnMore = view_->learnMoreView();
  const auto countdown = view_->countdownView();
  ASSERT_TRUE(shows(skip));
  ASSERT_TRUE(shows(learnMore));
  ASSERT_TRUE(shows(countdown));
  ASSERT_TRUE(shows(view_->adChoicesView()));
  EXPECT_EQ(learnMore->text(), "Learn More");
  EXPECT_EQ(learnMore->frame().origin, (platform::Point{320 - learnMore->frame().width(), 0}));
  EXPECT_EQ(skip->frame().origin, (platform::Point{320 - skip->frame().width(), 180 - 30 - 15}));
  EXPECT_EQ(countdown->frame().origin, (platform::Point{7.5, 180 - countdown->frame().height() - 5}));
  EXPECT_EQ(view_->videoView()->frame(), (platform::Rect{0, 0, 320, 180}));
  EXPECT_EQ(view_->adChoicesView()->corner(), platform::kRectCornerTopLeft);
  EXPECT_EQ(view_->adChoicesView()->frame().origin, (platform::Point{0, 0}));
  EXPECT_EQ(view_->adChoicesView()->inlineClientToken(), "token-1");
  EXPECT_EQ(view_->adChoicesView()->adChoicesLinkURL()->path(), "/ads/ad_choices");
  EXPECT_EQ(view_->adChoicesIcon()->width(), 16);

  platform::Application::shared()->sendTap({learnMore->frame().midX(), learnMore->frame().midY()});
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"load", "clickthrough"}));

  // Without skip seconds, countdown or destination: only the video and the
  // badge.
  view_ = OVDefaultInstreamAdContentView::create();
  loadAndStart({});
  EXPECT_FALSE(view_->skippable());
  EXPECT_FALSE(view_->skipRemainingTime().isValid());
  EXPECT_EQ(view_->skipButtonView(), nullptr);
  EXPECT_EQ(view_->countdownView(), nullptr);
  EXPECT_EQ(view_->learnMoreView(), nullptr);
  EXPECT_TRUE(view_->adChoicesView());
  EXPECT_EQ(view_->subviews().size(), 2u);
  view_->skipButtonViewTapped();
  EXPECT_EQ(view_->videoView()->superview(), view_) << "no skip without a skip time";
}

TEST_F(OVDefaultInstreamAdContentViewTest, WiFiPlaysTheHDVideoOtherNetworksTheStandardOne) {
  struct Case {
    const char* name;
    std::optional<std::uint32_t> flags;
    bool hd;
    const char* url;
  };
  const Case cases[] = {
      {"Wi-Fi", platform::kReachabilityFlagReachable, true, kVideoHDURL},
      {"cellular", platform::kReachabilityFlagReachable | platform::kReachabilityFlagIsWWAN, true, kVideoURL},
      {"offline", std::nullopt, true, kVideoURL},
      {"Wi-Fi without an HD video", platform::kReachabilityFlagReachable, false, kVideoURL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setReachability(c.flags);
    kit_->urls.clear();
    OVDefaultInstreamAdContentView::create()->loadAdFromDataModel(adWith({.hd = c.hd}));
    EXPECT_EQ(kit_->urls, std::vector<std::string>{c.url});
  }
}

TEST_F(OVDefaultInstreamAdContentViewTest, TapsPauseAndResumeAndTheUsersPauseOutlastsTheApplicationLeaving) {
  loadAndStart({});
  auto& app = *platform::Application::shared();
  app.sendTap({160, 90});
  EXPECT_TRUE(view_->isPaused());
  EXPECT_FALSE(view_->videoView()->isPlaying());
  app.transitionTo(platform::ApplicationState::Background);
  app.transitionTo(platform::ApplicationState::Active);
  runMainQueue();
  EXPECT_FALSE(view_->videoView()->isPlaying()) << "the user's pause holds";
  app.sendTap({160, 90});
  EXPECT_TRUE(view_->videoView()->isPlaying());
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"load", "pause", "resume"}));

  // Leaving while it plays stops it without a report, and returning plays
  // it again; so do the ad-choices page and its dismissal.
  app.transitionTo(platform::ApplicationState::Inactive);
  runMainQueue();
  EXPECT_FALSE(view_->videoView()->isPlaying());
  app.transitionTo(platform::ApplicationState::Active);
  runMainQueue();
  EXPECT_TRUE(view_->videoView()->isPlaying());
  view_->adChoicesViewWillPresentViewController(view_->adChoicesView(), nullptr);
  EXPECT_FALSE(view_->videoView()->isPlaying());
  view_->adChoicesViewViewControllerDismissed(view_->adChoicesView(), nullptr);
  EXPECT_TRUE(view_->videoView()->isPlaying());
  EXPECT_EQ(delegate_->messages.size(), 3u);
}

TEST_F(OVDefaultInstreamAdContentViewTest, TheEndASkipOrAFailureTakeThePlayingStateDownButTheCountdownStays) {
  struct Case {
    const char* name;
    std::function<void(OVDefaultInstreamAdContentView&)> happen;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"end",
       [](OVDefaultInstreamAdContentView& view) { view.videoViewDidEnd(view.videoView()); },
       {"load", "end", "unload"}},
      {"skip", [](OVDefaultInstreamAdContentView& view) { view.skipButtonViewTapped(); }, {"load", "skip"}},
      {"failure",
       [](OVDefaultInstreamAdContentView& view) { view.videoView(view.videoView(), platform::Error("gst", 3)); },
       {"load", "error 1000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view_->removeFromSuperview();
    view_ = OVDefaultInstreamAdContentView::create();
    window_->addSubview(view_);
    view_->setDelegate(delegate_);
    delegate_->messages.clear();
    loadAndStart({.skippableSeconds = platform::Value(0.0), .countdown = true, .destination = true});
    // A stall under way when the ad ends must not fail it afterwards.
    kit_->item->stalls();
    runMainQueue();
    c.happen(*view_);
    EXPECT_EQ(delegate_->messages, c.messages);
    EXPECT_FALSE(shows(view_->videoView()));
    EXPECT_FALSE(shows(view_->skipButtonView()));
    EXPECT_FALSE(shows(view_->learnMoreView()));
    EXPECT_FALSE(shows(view_->adChoicesView()));
    EXPECT_TRUE(shows(view_->countdownView()));
    EXPECT_FALSE(view_->videoView()->isPlaying());
    clock_->advance(15.0);
    runMainQueue();
    EXPECT_EQ(delegate_->messages, c.messages) << "no stall timeout after the ad is over";
    // The application's comings and goings no longer reach it.
    platform::Application::shared()->transitionTo(platform::ApplicationState::Inactive);
    platform::Application::shared()->transitionTo(platform::ApplicationState::Active);
    runMainQueue();
    EXPECT_FALSE(view_->videoView()->isPlaying());
  }
}

TEST_F(OVDefaultInstreamAdContentViewTest, ItIsTheViewTheInterfaceMakesAndPlaysTheSystemsVideo) {
  EXPECT_NE(std::dynamic_pointer_cast<OVDefaultInstreamAdContentView>(OVInstreamAdContentView::create()), nullptr);
  EXPECT_EQ(view_->backgroundColor(), platform::Color::black());
  EXPECT_FALSE(view_->isAutoplay());
  EXPECT_EQ(view_->volume(), 1.0F) << "no video yet";
  EXPECT_EQ(view_->currentTime(), MediaTime::zero());
  loadAndStart({});
  EXPECT_EQ(view_->volume(), 0.75F);
  kit_->item->time = at(3);
  EXPECT_EQ(view_->currentTime(), at(3));
}

// ---- Through GStreamer

class OVDefaultInstreamAdContentViewPlaybackTest : public platform::testing::UITest {
 protected:
  // The system's own player, whatever an earlier test left installed.
  testing::ScopedSystemPlayerKit systemPlayer_{std::make_shared<platform::GStreamerPlayerKit>()};

  // Moves the clock on in small steps until `done`: GStreamer's time
  // follows the clock only once its pipeline plays and as far as its sinks
  // have been fed.
  bool advanceUntil(const std::function<bool()>& done) {
    for (int step = 0; step < 2000 && !done(); ++step) {
      clock_->advance(0.01);
      platform::MainLoop::instance().runUntil(done, 0.02);
    }
    return done();
  }
};

TEST_F(OVDefaultInstreamAdContentViewPlaybackTest, AClipFromTheServerPlaysWithItsWidgetsToTheEnd) {
  testserver::TestServer server;
  server.start();
  std::ifstream file(std::string(PLEXORA_TEST_MEDIA_DIR) + "/baseline_aac_moov_first.mp4", std::ios::binary);
  const auto clip =
      std::make_shared<const std::string>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  ASSERT_FALSE(clip->empty());
  server.on("/ad.mp4", testserver::serveRangeFile(clip));

  const auto window = makeKeyWindow();
  const auto view = OVDefaultInstreamAdContentView::create();
  view->setFrame({0, 0, 320, 180});
  window->addSubview(view);
  const auto delegate = std::make_shared<RecordingDelegate>();
  view->setDelegate(delegate);
  platform::Dictionary data{
      {"ct", "token-1"},
      {"video", platform::Dictionary{{"videoURL", server.url("ad.mp4")}}},
      {"capabilities", platform::Dictionary{{"skipButton", platform::Dictionary{{"skippableSeconds", "0.5"}}},
                                            {"countdown", platform::Dictionary{}}}},
  };
  view->loadAdFromDataModel(OVInstreamAdDataModel::initWithMetadata(platform::Value(std::move(data))));
  ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return !delegate->messages.empty(); }, 60.0));
  ASSERT_EQ(delegate->messages, std::vector<std::string>{"load"});

  view->startFromRootViewController(nullptr);
  view->layoutIfNeeded();
  ASSERT_TRUE(view->skipButtonView());
  EXPECT_EQ(view->skipButtonView()->text(), "Skip Ad in 1");
  view->skipButtonViewTapped();
  EXPECT_EQ(delegate->messages.size(), 1u) << "too early to skip";

  ASSERT_TRUE(advanceUntil([&] { return view->currentTime().seconds() >= 0.5 && delegate->progress >= 2; }));
  EXPECT_EQ(view->skipButtonView()->text(), "Skip Ad");
  EXPECT_EQ(view->countdownView()->text(), "0:01");
  ASSERT_TRUE(advanceUntil([&] { return delegate->messages.size() >= 3; }));
  EXPECT_EQ(delegate->messages, (std::vector<std::string>{"load", "end", "unload"}));
  EXPECT_EQ(view->subviews().size(), 1u) << "only the countdown stays";
}

}  // namespace
}  // namespace plexora
