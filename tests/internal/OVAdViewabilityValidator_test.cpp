#include "internal/OVAdViewabilityValidator.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "platform/value/Value.h"
#include "support/TempDir.h"
#include "util/OVAdConfigManager.h"
#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

using platform::ApplicationState;
using platform::Rect;
using platform::View;
using Status = OVAdViewabilityStatus;
using Statuses = std::vector<Status>;

class RecordingDelegate final : public OVAdViewabilityValidatorDelegate {
 public:
  bool viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& /*validator*/,
                            OVAdViewabilityStatus status) override {
    EXPECT_TRUE(platform::DispatchQueue::isMainThread());
    statuses.push_back(status);
    return acceptViewable && status == Status::Viewable;
  }

  Statuses statuses;
  bool acceptViewable = true;
};

// A 320 x 100 ad near the top of a full-screen window (375 x 667), checked
// every 0.5 s after 0.5 s, on the manual clock.
class OVAdViewabilityValidatorTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    platform::setCachesDirectory(caches_.path().string());
    buildTree();
  }
  void TearDown() override {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(platform::Dictionary{}));
    UITest::TearDown();
    platform::setCachesDirectory("");
  }

  void buildTree() {
    window_ = makeKeyWindow();
    container_ = std::make_shared<View>(Rect(0, 0, 375, 667));
    window_->addSubview(container_);
    view_ = std::make_shared<View>(Rect(0, 100, 320, 100));
    container_->addSubview(view_);
  }

  std::shared_ptr<OVAdViewabilityValidator> makeValidator(std::int64_t minViewability = 50,
                                                          std::int64_t ticks = 1, bool observe = true) {
    auto validator = OVAdViewabilityValidator::initWithView(view_, 0.5, 0.5, minViewability, ticks, observe);
    validator->setDelegate(delegate_);
    return validator;
  }

  // Runs one check now and lets its status reach the delegate.
  Status checkOnce(OVAdViewabilityValidator& validator) {
    const std::size_t before = delegate_->statuses.size();
    validator.checkViewability();
    runMainQueue();
    EXPECT_EQ(delegate_->statuses.size(), before + 1);
    return validator.currentStatus();
  }

  static void enableVisibleAreaCheck(std::int64_t percentage) {
    platform::Dictionary configuration{{"visible_area_check_enabled", true}};
    if (percentage >= 0) configuration.set("visible_area_percentage", percentage);
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(configuration));
  }

  testing::TempDir caches_;
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<View> container_;
  std::shared_ptr<View> view_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(OVAdViewabilityValidatorTest, TheGeometryTestAllowsTheMinimumPercentageOfTheHeightOffScreenVertically) {
  struct Case {
    Rect frame;
    std::int64_t minViewability;
    Status expected;
    double onScreen;
  };
  const Case cases[] = {
      {Rect(0, 100, 320, 100), 50, Status::Viewable, 1.0},
      {Rect(0, -40, 320, 100), 60, Status::Viewable, 0.6},
      {Rect(0, -40, 320, 100), 70, Status::TopTooFarOffscreen, 0.6},
      {Rect(0, 607, 320, 100), 60, Status::Viewable, 0.6},
      {Rect(0, 607, 320, 100), 70, Status::BottomTooFarOffscreen, 0.6},
      // 33.3 points allowed, truncated to 33.
      {Rect(0, -33, 320, 111), 70, Status::Viewable, 78.0 / 111.0},
      {Rect(0, -34, 320, 111), 70, Status::TopTooFarOffscreen, 77.0 / 111.0},
      {Rect(0, 100, 376, 100), 0, Status::NotFullyOnScreenHorizontally, 375.0 / 376.0},
      {Rect(-1, 100, 320, 100), 0, Status::NotFullyOnScreenHorizontally, 319.0 / 320.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.frame << " min " << c.minViewability);
    view_->setFrame(c.frame);
    auto validator = makeValidator(c.minViewability);
    EXPECT_EQ(checkOnce(*validator), c.expected);
    EXPECT_DOUBLE_EQ(validator->lastViewabilityPercentage(), c.onScreen);
  }
}

TEST_F(OVAdViewabilityValidatorTest, TheViewAndItsAncestorsMustBeShownOpaqueInAWindow) {
  struct Case {
    const char* name;
    std::function<void()> change;
    Status expected;
  };
  const Case cases[] = {
      {"empty frame", [&] { view_->setFrame(Rect(0, 100, 320, 0)); }, Status::EmptyFrame},
      {"hidden", [&] { view_->setHidden(true); }, Status::Hidden},
      {"alpha 0.89", [&] { view_->setAlpha(0.89); }, Status::AlphaBelowMinimum},
      {"alpha 0.9", [&] { view_->setAlpha(0.9); }, Status::Viewable},
      {"hidden ancestor", [&] { container_->setHidden(true); }, Status::Hidden},
      {"transparent ancestor", [&] { container_->setAlpha(0.5); }, Status::AlphaBelowMinimum},
      {"hidden window", [&] { window_->setHidden(true); }, Status::Hidden},
      {"no superview", [&] { view_->removeFromSuperview(); }, Status::NoSuperview},
      {"no window", [&] { container_->removeFromSuperview(); }, Status::NoWindow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    buildTree();
    c.change();
    auto validator = makeValidator();
    EXPECT_EQ(checkOnce(*validator), c.expected);
  }
}

TEST_F(OVAdViewabilityValidatorTest, ChecksStartAfterTheDelayRepeatAtTheIntervalAndEndWhenTheDelegateAccepts) {
  delegate_->acceptViewable = false;
  auto validator = OVAdViewabilityValidator::initWithView(view_, 2.0, 1.0, 50, 1, false);
  validator->setDelegate(delegate_);
  validator->scheduleViewabilityCheck();

  clock_->advance(0.99);
  EXPECT_TRUE(delegate_->statuses.empty());
  clock_->advance(0.01);
  EXPECT_EQ(delegate_->statuses, Statuses{Status::Viewable});
  clock_->advance(1.99);
  EXPECT_EQ(delegate_->statuses.size(), 1u);
  clock_->advance(0.01);
  EXPECT_EQ(delegate_->statuses.size(), 2u);

  delegate_->acceptViewable = true;
  clock_->advance(2.0);
  EXPECT_EQ(delegate_->statuses.size(), 3u);
  EXPECT_TRUE(validator->isviewOnScreenNotificationFinished());

  view_->setHidden(true);
  clock_->advance(10.0);
  validator->checkViewability();
  runMainQueue();
  EXPECT_EQ(delegate_->statuses.size(), 3u) << "no check after the delegate accepted";
  EXPECT_EQ(validator->viewabilityHistoryJSON(), R"({"1":3})");
}

TEST_F(OVAdViewabilityValidatorTest, ViewableNeedsTheTickDurationOfConsecutivePassingChecks) {
  auto validator = makeValidator(50, 3);
  validator->scheduleViewabilityCheck();
  clock_->advance(1.0);
  EXPECT_EQ(delegate_->statuses, (Statuses{Status::NotVisibleLongEnough, Status::NotVisibleLongEnough}));
  EXPECT_EQ(validator->currentTickCount(), 2);

  view_->setHidden(true);
  clock_->advance(0.5);
  EXPECT_EQ(validator->currentTickCount(), 0) << "a failing check starts the count again";
  view_->setHidden(false);

  clock_->advance(1.5);
  EXPECT_EQ(delegate_->statuses,
            (Statuses{Status::NotVisibleLongEnough, Status::NotVisibleLongEnough, Status::Hidden,
                      Status::NotVisibleLongEnough, Status::NotVisibleLongEnough, Status::Viewable}));
  EXPECT_EQ(validator->viewabilityHistoryJSON(), R"({"14":4,"5":1,"1":1})");
}

TEST_F(OVAdViewabilityValidatorTest, ATickDurationOfZeroOrOneMakesTheFirstPassingCheckViewable) {
  for (const std::int64_t ticks : {0, 1}) {
    auto validator = makeValidator(50, ticks);
    EXPECT_EQ(checkOnce(*validator), Status::Viewable);
  }
}

TEST_F(OVAdViewabilityValidatorTest, TheHistoryCountsEachStatusInTheOrderItFirstOccurred) {
  delegate_->acceptViewable = false;
  auto validator = makeValidator();
  EXPECT_EQ(validator->viewabilityHistoryJSON(), "{}");
  EXPECT_EQ(validator->currentStatus(), Status::Unknown);

  view_->setHidden(true);
  checkOnce(*validator);
  checkOnce(*validator);
  view_->setHidden(false);
  checkOnce(*validator);
  EXPECT_EQ(validator->viewabilityHistoryJSON(), R"({"5":2,"1":1})");
  EXPECT_EQ(validator->viewabilityHistory(), (platform::Dictionary{{"5", 2}, {"1", 1}}));
}

TEST_F(OVAdViewabilityValidatorTest, AReleasedViewStopsTheValidatorForGoodAndItsStatusReachesNoDelegate) {
  auto validator = makeValidator();
  validator->scheduleViewabilityCheck();
  container_->removeFromSuperview();
  container_.reset();
  view_.reset();

  clock_->advance(5.0);
  EXPECT_EQ(validator->currentStatus(), Status::ViewIsNil);
  EXPECT_EQ(validator->viewabilityHistoryJSON(), R"({"2":1})") << "the timer stopped after the first check";
  EXPECT_TRUE(delegate_->statuses.empty());
  EXPECT_EQ(validator->delegate(), nullptr);
}

TEST_F(OVAdViewabilityValidatorTest, ANullViewMakesNoValidator) {
  EXPECT_EQ(OVAdViewabilityValidator::initWithView(nullptr, 50, true), nullptr);
  auto validator = OVAdViewabilityValidator::initWithView(view_, 70, true);
  EXPECT_EQ(validator->checkInterval(), 0.5);
  EXPECT_EQ(validator->initialDelay(), 0.5);
  EXPECT_EQ(validator->tickDuration(), 1);
  EXPECT_EQ(validator->minViewabilityPercentage(), 70);
  EXPECT_TRUE(validator->isObservingNotifications());
}

TEST_F(OVAdViewabilityValidatorTest, StoppingClearsTheDelegateAndEndsTheTimer) {
  auto validator = makeValidator(50, 2);
  validator->scheduleViewabilityCheck();
  clock_->advance(0.5);
  ASSERT_EQ(delegate_->statuses, Statuses{Status::NotVisibleLongEnough});

  validator->stopViewabilityCheck();
  EXPECT_FALSE(validator->isObservingNotifications());
  EXPECT_EQ(validator->delegate(), nullptr);
  clock_->advance(5.0);
  EXPECT_EQ(validator->viewabilityHistoryJSON(), R"({"14":1})");

  validator->setDelegate(delegate_);
  validator->scheduleViewabilityCheck();
  clock_->advance(1.0);
  EXPECT_EQ(delegate_->statuses, (Statuses{Status::NotVisibleLongEnough, Status::Viewable}))
      << "scheduling again restarts it";
}

TEST_F(OVAdViewabilityValidatorTest, AStopBeforeTheFirstCheckLeavesNothingRunning) {
  auto validator = makeValidator();
  validator->scheduleViewabilityCheck();
  validator->stopViewabilityCheck();
  clock_->advance(5.0);
  EXPECT_EQ(validator->viewabilityHistoryJSON(), "{}");
  EXPECT_TRUE(delegate_->statuses.empty());
}

TEST_F(OVAdViewabilityValidatorTest, ReleasingTheValidatorStopsItsChecks) {
  auto validator = makeValidator(50, 100);
  validator->scheduleViewabilityCheck();
  clock_->advance(1.0);
  ASSERT_EQ(delegate_->statuses.size(), 2u);

  std::weak_ptr<OVAdViewabilityValidator> released = validator;
  validator.reset();
  EXPECT_TRUE(released.expired()) << "neither the timer nor the notifications keep it";
  clock_->advance(5.0);
  platform::Application::shared()->transitionTo(ApplicationState::Background);
  platform::Application::shared()->transitionTo(ApplicationState::Active);
  clock_->advance(5.0);
  EXPECT_EQ(delegate_->statuses.size(), 2u);
}

TEST_F(OVAdViewabilityValidatorTest, TheBackgroundStopsTheTimerAndBecomingActiveStartsItAgain) {
  auto validator = makeValidator(50, 3);
  validator->scheduleViewabilityCheck();
  clock_->advance(0.5);
  ASSERT_EQ(delegate_->statuses, Statuses{Status::NotVisibleLongEnough});

  auto application = platform::Application::shared();
  application->transitionTo(ApplicationState::Background);
  runMainQueue();
  clock_->advance(10.0);
  EXPECT_EQ(delegate_->statuses.size(), 1u) << "no check in the background";

  application->transitionTo(ApplicationState::Active);
  runMainQueue();
  clock_->advance(0.49);
  EXPECT_EQ(delegate_->statuses.size(), 1u) << "the schedule restarts with the initial delay";
  clock_->advance(1.01);
  EXPECT_EQ(delegate_->statuses, (Statuses{Status::NotVisibleLongEnough, Status::NotVisibleLongEnough,
                                           Status::Viewable}));
}

TEST_F(OVAdViewabilityValidatorTest, AnInactiveOrBackgroundCheckPausesAndBecomingActiveResumesWithTheDelegate) {
  struct Case {
    ApplicationState state;
    Status status;
  };
  for (const Case& c : {Case{ApplicationState::Inactive, Status::ApplicationInactive},
                        Case{ApplicationState::Background, Status::ApplicationBackgrounded}}) {
    SCOPED_TRACE(static_cast<int>(c.status));
    delegate_->statuses.clear();
    auto validator = makeValidator();
    validator->scheduleViewabilityCheck();
    // The state changes without the validator hearing of it before its check
    // (the inactive state posts nothing it observes).
    auto application = platform::Application::shared();
    application->transitionTo(c.state);
    clock_->advance(0.5);
    EXPECT_EQ(validator->currentStatus(), c.status);
    EXPECT_TRUE(validator->isPaused());
    EXPECT_EQ(validator->delegate(), delegate_) << "the delegate stays";
    EXPECT_TRUE(validator->isObservingNotifications());

    clock_->advance(10.0);
    EXPECT_EQ(delegate_->statuses, Statuses{c.status}) << "no further check while paused";

    application->transitionTo(ApplicationState::Active);
    runMainQueue();
    clock_->advance(0.5);
    EXPECT_FALSE(validator->isPaused());
    EXPECT_EQ(delegate_->statuses, (Statuses{c.status, Status::Viewable})) << "the impression is not lost";
    EXPECT_TRUE(validator->isviewOnScreenNotificationFinished());
  }
}

TEST_F(OVAdViewabilityValidatorTest, AnOwnerThatObservesTheApplicationItselfResumesAPausedValidator) {
  auto validator = makeValidator(50, 1, /*observe=*/false);
  validator->scheduleViewabilityCheck();
  auto application = platform::Application::shared();
  application->transitionTo(ApplicationState::Inactive);
  clock_->advance(0.5);
  ASSERT_EQ(delegate_->statuses, Statuses{Status::ApplicationInactive});

  application->transitionTo(ApplicationState::Active);
  clock_->advance(5.0);
  EXPECT_EQ(delegate_->statuses.size(), 1u) << "it heard nothing";

  validator->scheduleViewabilityCheck();
  clock_->advance(0.5);
  EXPECT_EQ(delegate_->statuses, (Statuses{Status::ApplicationInactive, Status::Viewable}));
}

TEST_F(OVAdViewabilityValidatorTest, TheVisibleAreaCheckUsesTheConfiguredPercentageAndLeavesTheGeometryFiguresAlone) {
  // An opaque view in front covers the ad's right part.
  auto cover = std::make_shared<View>();
  cover->setBackgroundColor(platform::Color::white());
  container_->addSubview(cover);
  struct Case {
    double visibleWidth;
    std::int64_t configured;  // -1: the default of 50
    Status expected;
  };
  const Case cases[] = {
      {176.0, -1, Status::Viewable},  // 55 percent
      {160.0, -1, Status::Viewable},  // exactly 50
      {144.0, -1, Status::VisibleAreaBelowMinimum},
      {176.0, 60, Status::VisibleAreaBelowMinimum},
      {320.0, 100, Status::Viewable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.visibleWidth << " of 320, needs " << c.configured);
    enableVisibleAreaCheck(c.configured);
    cover->setFrame(Rect(c.visibleWidth, 100, 320 - c.visibleWidth, 100));
    auto validator = makeValidator(100);
    EXPECT_EQ(checkOnce(*validator), c.expected);
    EXPECT_EQ(validator->lastViewabilityPercentage(), 0.0) << "\"vp\" unchanged";
  }
}

TEST_F(OVAdViewabilityValidatorTest, TheVisibleAreaCheckIgnoresTheMinimumViewabilityPercentage) {
  view_->setFrame(Rect(0, -40, 320, 100));
  auto validator = makeValidator(100);
  EXPECT_EQ(checkOnce(*validator), Status::TopTooFarOffscreen) << "the geometry test applies the minimum";
  enableVisibleAreaCheck(-1);
  EXPECT_EQ(checkOnce(*validator), Status::Viewable) << "60 percent visible";
  EXPECT_DOUBLE_EQ(validator->lastViewabilityPercentage(), 0.6) << "still the geometry test's figure";
}

TEST_F(OVAdViewabilityValidatorTest, EachCheckAndEachHistoryChangeIsLogged) {
  testing::RuntimeLogCapture log;
  auto validator = makeValidator();
  view_->setHidden(true);
  checkOnce(*validator);
  checkOnce(*validator);

  EXPECT_EQ(log.count("check success <View: 0x"), 2u);
  EXPECT_EQ(log.count(": - View (or superview) hidden."), 2u);
  EXPECT_EQ(log.count("changed value for 5 from (null) to 1"), 1u);
  EXPECT_EQ(log.count("changed value for 5 from 1 to 2"), 1u);

  const std::regex line(R"(<OVAdViewabilityValidator: 0x[0-9a-f]+> check (success|failed) <View: 0x[0-9a-f]+>: - )"
                        R"(View's top is too far offscreen\.)");
  EXPECT_TRUE(std::regex_match(validator->logSuccess(true, Status::TopTooFarOffscreen, 0.5), line));
  EXPECT_NE(validator->logSuccess(false, Status::TopTooFarOffscreen, 0.5).find("check failed"), std::string::npos);
}

}  // namespace
}  // namespace plexora
