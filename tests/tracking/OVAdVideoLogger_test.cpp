// The video logger over a real view in a key window: which "video" events a
// playback's reports make, with which times and statistics, and the
// parameters of one event as the logging server reads them.
#include "tracking/OVAdVideoLogger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora {
namespace {

using platform::MediaTime;
using platform::Rect;

MediaTime at(double seconds) { return MediaTime::make(static_cast<std::int64_t>(seconds * 1000), 1000); }

struct Logged {
  std::string token;
  platform::Dictionary params;

  std::string operator[](const std::string& key) const {
    const platform::Value* value = params.find(key);
    return value ? value->text().value_or("<not text>") : "<absent>";
  }
};

class OVAdVideoLoggerTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    target_ = std::make_shared<platform::View>(Rect(10, 20, 160, 90));
    window_->addSubview(target_);
  }

  std::shared_ptr<OVAdVideoLogger> makeLogger(OVAdVideoLogger::ViewableImpressionBlock impression = nullptr) {
    auto logger = OVAdVideoLogger::initWithTargetView(target_, std::string("ct-video"), std::move(impression),
                                                      [this] { return volume_; }, true);
    logger->setEventLog([this](const std::string& token, const platform::Dictionary& params) {
      logged_.push_back({token, params});
    });
    return logger;
  }

  // "action@time" of each event, with "/ptime" for progress reports.
  std::vector<std::string> actions() const {
    std::vector<std::string> out;
    for (const Logged& event : logged_) {
      std::string text = event["action"] + "@" + event["time"].substr(0, event["time"].find('.'));
      if (event.params.contains("ptime")) text += "/" + event["ptime"].substr(0, event["ptime"].find('.'));
      out.push_back(text);
    }
    return out;
  }

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::View> target_;
  float volume_ = 0.5F;
  std::vector<Logged> logged_;
};

TEST_F(OVAdVideoLoggerTest, PlaybackAtOneSecondStepsReportsEveryFiveSeconds) {
  const auto logger = makeLogger();
  for (int second = 0; second <= 12; ++second) logger->registerProgress(at(second));
  // 16 once at the first progress, the viewable impression at the first
  // second played, the MRC rule after two, then a report each 5 s whose
  // "ptime" is the previous report's "time".
  EXPECT_EQ(actions(), (std::vector<std::string>{"16@0", "10@1", "3@2", "2@5/0", "2@10/5"}));
  ASSERT_EQ(logged_.size(), 5u);
  for (const Logged& event : logged_) EXPECT_EQ(event.token, "ct-video");

  const Logged& first = logged_[3];
  EXPECT_EQ(first["vtime_ms"], "5000");
  EXPECT_EQ(first["mcvt_ms"], "5000");
  EXPECT_EQ(first["vwa"], "1.000000");
  EXPECT_EQ(first["vla"], "0.500000") << "the device's full volume times the player's";
  EXPECT_EQ(first["atime_ms"], "5000");
  // Each report starts the statistics again, but the unbroken run goes on.
  const Logged& second = logged_[4];
  EXPECT_EQ(second["vtime_ms"], "5000");
  EXPECT_EQ(second["mcvt_ms"], "10000");
}

TEST_F(OVAdVideoLoggerTest, PauseResumeSeekAndEndCloseTheirStretches) {
  struct Step {
    const char* call;
    double time;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> actions;  // after the first progress's 16, 10 and 3
  };
  const Case cases[] = {
      {"a pause reports 5 to 7 s, then pauses; a resume restarts the count",
       {{"progress", 7}, {"pause", 7}, {"resume", 7}, {"progress", 8}, {"progress", 12}},
       {"2@5/0", "2@7/5", "4@7", "5@7", "2@12/7"}},
      {"a pause right after a report reports nothing more",
       {{"progress", 5}, {"pause", 5}},
       {"2@5/0", "4@5"}},
      {"progress while seeking changes nothing; counting restarts at the seek's end",
       {{"progress", 3}, {"seekStart", 3}, {"progress", 30}, {"seekEnd", 40}, {"progress", 44}, {"progress", 45}},
       {"2@3/0", "2@45/40"}},
      {"a skip closes the stretch", {{"progress", 4}, {"skip", 4}}, {"2@4/0", "1@4"}},
      {"a stop closes the stretch silently", {{"progress", 4}, {"stop", 4}}, {"2@4/0"}},
      {"the end closes the stretch and rewinds the bookkeeping",
       {{"progress", 9}, {"complete", 9}, {"progress", 2}, {"progress", 5}},
       {"2@5/0", "2@9/5", "2@5/0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logged_.clear();
    const auto logger = makeLogger();
    logger->registerProgress(at(0));
    logger->registerProgress(at(1));
    logger->registerProgress(at(2));
    logged_.clear();
    for (const Step& step : c.steps) {
      const std::string call = step.call;
      const MediaTime time = at(step.time);
      if (call == "progress") {
        // In steps of a second, as a player's ticks come.
        for (double t = logger->lastProgressCurrentTime() + 1; t < step.time; t += 1) logger->registerProgress(at(t));
        logger->registerProgress(time);
      } else if (call == "pause") {
        logger->registerPause(time);
      } else if (call == "resume") {
        logger->registerResume(time);
      } else if (call == "seekStart") {
        logger->registerSeekStart(time);
      } else if (call == "seekEnd") {
        logger->registerSeekEnd(time);
      } else if (call == "skip") {
        logger->registerSkip(time);
      } else if (call == "stop") {
        logger->registerStop(time);
      } else if (call == "complete") {
        logger->registerComplete(time);
      }
    }
    EXPECT_EQ(actions(), c.actions);
  }
}

TEST_F(OVAdVideoLoggerTest, APauseRestartsTheStatistics) {
  const auto logger = makeLogger();
  for (int second = 0; second <= 7; ++second) logger->registerProgress(at(second));
  logger->registerPause(at(7));
  logged_.clear();
  logger->registerResume(at(7));
  ASSERT_EQ(logged_.size(), 1u);
  EXPECT_EQ(logged_[0]["action"], "5");
  EXPECT_EQ(logged_[0]["vtime_ms"], "0");
  EXPECT_EQ(logged_[0]["vwmax"], "0.000000");
}

TEST_F(OVAdVideoLoggerTest, ProgressGoingBackwardsFeedsNothing) {
  const auto logger = makeLogger();
  logger->registerProgress(at(0));
  logger->registerProgress(at(3));
  logger->registerProgress(at(1));
  EXPECT_EQ(logger->adQualityManager().statistics().viewabilityStatistics().measurementCount(), 1);
  EXPECT_DOUBLE_EQ(logger->lastProgressCurrentTime(), 1.0);
  // Played on from the earlier time, the report still comes 5 s after the
  // last one.
  for (int second = 2; second <= 5; ++second) logger->registerProgress(at(second));
  EXPECT_EQ(actions().back(), "2@5/0");
}

TEST_F(OVAdVideoLoggerTest, TimesThatAreNotNumbersNeverEnterTheBookkeeping) {
  const auto logger = makeLogger();
  for (int second = 0; second <= 3; ++second) logger->registerProgress(at(second));
  logged_.clear();
  const MediaTime odd[] = {MediaTime::indefinite(), MediaTime::invalid(), MediaTime::positiveInfinity(),
                           MediaTime::make(1, 0)};
  for (const MediaTime& time : odd) {
    logger->registerProgress(time);
    logger->registerSeekStart(time);
    logger->registerSeekEnd(time);
    logger->registerStop(time);
  }
  EXPECT_TRUE(logged_.empty());
  logger->registerPause(MediaTime::indefinite());
  logger->registerResume(MediaTime::indefinite());
  EXPECT_EQ(actions(), (std::vector<std::string>{"4@3", "5@3"})) << "at the last time known";
  EXPECT_DOUBLE_EQ(logger->lastProgressCurrentTime(), 3.0);
  EXPECT_DOUBLE_EQ(logger->lastProgressBoundaryTime(), 0.0);
  EXPECT_FALSE(logger->seeking());
}

TEST_F(OVAdVideoLoggerTest, AnEventsParametersInTheServersOrder) {
  const auto logger = makeLogger();
  for (int second = 0; second <= 5; ++second) logger->registerProgress(at(second));
  const Logged& report = logged_.back();
  std::vector<std::string> keys;
  for (const auto& [key, value] : report.params) {
    keys.push_back(key);
    EXPECT_TRUE(value.isString()) << key;
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"action", "pt", "pl", "ph", "pw", "vph", "vpw", "autoplay", "time",
                                            "ptime", "vwa", "vwm", "vwmax", "vtime_ms", "mcvt_ms", "vla", "vlm",
                                            "vlmax", "atime_ms", "mcat_ms"}));
  EXPECT_EQ(report["pt"], "20.000000");
  EXPECT_EQ(report["pl"], "10.000000");
  EXPECT_EQ(report["ph"], "90.000000");
  EXPECT_EQ(report["pw"], "160.000000");
  EXPECT_EQ(report["vph"], "667.000000");
  EXPECT_EQ(report["vpw"], "375.000000");
  EXPECT_EQ(report["autoplay"], "1");
  EXPECT_EQ(report["time"], "5.000000");
}

TEST_F(OVAdVideoLoggerTest, AViewWithoutAWindowReportsNoWindowSize) {
  const auto logger = makeLogger();
  target_->removeFromSuperview();
  logger->registerProgress(at(0));
  ASSERT_EQ(logged_.size(), 1u);
  EXPECT_EQ(logged_[0]["vph"], "0.000000");
  EXPECT_EQ(logged_[0]["vpw"], "0.000000");
  EXPECT_EQ(logged_[0]["pw"], "160.000000") << "the frame is still the view's own";

  const auto event = OVAdVideoLoggingEvent::loggingEventWithAction(OVAdVideoAction::kNone, nullptr, false, 1.5);
  EXPECT_FALSE(event.loggingParams().contains("action"));
  EXPECT_EQ(event.loggingParams().find("pt")->text(), "0.000000");
  EXPECT_EQ(event.loggingParams().find("autoplay")->text(), "0");
  EXPECT_FALSE(event.loggingParams().contains("vwa"));
}

TEST_F(OVAdVideoLoggerTest, ALoggerNeedsAViewAndAClientToken) {
  EXPECT_FALSE(OVAdVideoLogger::initWithTargetView(target_, std::nullopt, [] { return 1.0F; }, true));
  EXPECT_FALSE(OVAdVideoLogger::initWithTargetView(nullptr, std::string("ct"), [] { return 1.0F; }, true));
  EXPECT_TRUE(OVAdVideoLogger::initWithTargetView(target_, std::string("ct"), [] { return 1.0F; }, false));
}

TEST_F(OVAdVideoLoggerTest, TheViewableImpressionBlockRunsBeforeItsEventAndMayReleaseTheLogger) {
  std::shared_ptr<OVAdVideoLogger> logger;
  std::vector<std::string> order;
  logger = makeLogger([&] {
    order.push_back("block");
    logger.reset();
  });
  logger->setEventLog([&](const std::string&, const platform::Dictionary& params) {
    order.push_back(params.find("action")->text().value_or(""));
  });
  const auto keep = logger.get();
  keep->registerProgress(at(0));
  keep->registerProgress(at(1));
  EXPECT_EQ(order, (std::vector<std::string>{"16", "block", "10"}));
  EXPECT_FALSE(logger);
}

}  // namespace
}  // namespace plexora
