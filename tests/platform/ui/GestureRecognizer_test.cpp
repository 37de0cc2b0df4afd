#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/LongPressGestureRecognizer.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;

const char* stateName(GestureRecognizerState state) {
  switch (state) {
    case GestureRecognizerState::Possible:
      return "possible";
    case GestureRecognizerState::Began:
      return "began";
    case GestureRecognizerState::Changed:
      return "changed";
    case GestureRecognizerState::Ended:
      return "ended";
    case GestureRecognizerState::Cancelled:
      return "cancelled";
    case GestureRecognizerState::Failed:
      return "failed";
  }
  return "?";
}

// Logs the touches it receives itself.
class TouchLoggingView : public View {
 public:
  TouchLoggingView(Rect frame, std::vector<std::string>& log) : View(frame), log_(log) {}
  void touchesBegan(const Touches&, const Event&) override { log_.push_back("view began"); }
  void touchesMoved(const Touches&, const Event&) override { log_.push_back("view moved"); }
  void touchesEnded(const Touches&, const Event&) override { log_.push_back("view ended"); }
  void touchesCancelled(const Touches&, const Event&) override { log_.push_back("view cancelled"); }

 private:
  std::vector<std::string>& log_;
};

// window (screen-sized, at the origin)
//   container (100, 100, 100, 100)
//     inner (10, 10, 30, 30)
class GestureTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    container_ = std::make_shared<TouchLoggingView>(Rect(100, 100, 100, 100), log_);
    inner_ = std::make_shared<View>(Rect(10, 10, 30, 30));
    window_->addSubview(container_);
    container_->addSubview(inner_);
  }

  // A recogniser that logs "<name> <state>" for each action.
  template <typename Recognizer>
  std::shared_ptr<Recognizer> attach(const std::shared_ptr<View>& view, const std::string& name) {
    auto recognizer = std::make_shared<Recognizer>(
        [this, name](GestureRecognizer& r) { log_.push_back(name + " " + stateName(r.state())); });
    view->addGestureRecognizer(recognizer);
    return recognizer;
  }

  std::shared_ptr<Application> app_ = Application::shared();
  std::vector<std::string> log_;
  std::shared_ptr<Window> window_;
  std::shared_ptr<TouchLoggingView> container_;
  std::shared_ptr<View> inner_;
};

TEST_F(GestureTest, ATapIsRecognisedWhereItLanded) {
  auto tap = attach<TapGestureRecognizer>(container_, "tap");
  Point seen;
  tap->addAction([&](GestureRecognizer& r) { seen = r.locationInView(container_.get()); });
  EXPECT_TRUE(app_->sendTap(Point{150, 160}));
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "tap ended", "view cancelled"}));
  EXPECT_EQ(seen, (Point{50, 60}));
  EXPECT_EQ(tap->state(), GestureRecognizerState::Possible) << "reset once the touch is over";
  EXPECT_EQ(tap->locationInView(nullptr), (Point{150, 160}));
}

struct TapMoveCase {
  const char* name;
  Point end;
  bool recognised;
};

class TapMoveTest : public GestureTest, public ::testing::WithParamInterface<TapMoveCase> {};

TEST_P(TapMoveTest, FailsOnceTheTouchWandersTooFar) {
  attach<TapGestureRecognizer>(container_, "tap");
  app_->sendTouch(TouchPhase::Began, Point{150, 150});
  app_->sendTouch(TouchPhase::Moved, GetParam().end);
  app_->sendTouch(TouchPhase::Ended, GetParam().end);
  const bool recognised = std::find(log_.begin(), log_.end(), "tap ended") != log_.end();
  EXPECT_EQ(recognised, GetParam().recognised);
}

INSTANTIATE_TEST_SUITE_P(Moves, TapMoveTest,
                         ::testing::Values(TapMoveCase{"Still", Point{150, 150}, true},
                                           TapMoveCase{"TenPoints", Point{156, 158}, true},
                                           TapMoveCase{"ElevenPoints", Point{161, 150}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GestureTest, AWanderingTouchFailsEvenIfItComesBack) {
  attach<TapGestureRecognizer>(container_, "tap");
  app_->sendTouch(TouchPhase::Began, Point{150, 150});
  app_->sendTouch(TouchPhase::Moved, Point{190, 150});
  app_->sendTouch(TouchPhase::Moved, Point{150, 150});
  app_->sendTouch(TouchPhase::Ended, Point{150, 150});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "view moved", "view moved", "view ended"}));
}

TEST_F(GestureTest, TheDeepestRecogniserWinsAndTheOthersFail) {
  auto outer = attach<TapGestureRecognizer>(container_, "outer");
  attach<TapGestureRecognizer>(inner_, "inner");
  app_->sendTap(Point{115, 115});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "inner ended", "view cancelled"}))
      << "inner hands its touches on to the container";
  log_.clear();
  app_->sendTap(Point{180, 180});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "outer ended", "view cancelled"}));
  EXPECT_EQ(outer->state(), GestureRecognizerState::Possible);
}

TEST_F(GestureTest, ARecogniserThatLeavesTouchesAloneLetsTheViewFinish) {
  auto tap = attach<TapGestureRecognizer>(container_, "tap");
  tap->setCancelsTouchesInView(false);
  app_->sendTap(Point{180, 180});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "tap ended", "view ended"}));
}

class Refusing : public GestureRecognizerDelegate {
 public:
  bool gestureRecognizerShouldBegin(GestureRecognizer&) override { return false; }
};

TEST_F(GestureTest, ARefusedOrDisabledRecogniserFiresNothing) {
  auto tap = attach<TapGestureRecognizer>(container_, "tap");
  auto refusing = std::make_shared<Refusing>();
  tap->setDelegate(refusing);
  app_->sendTap(Point{180, 180});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "view ended"}));

  log_.clear();
  tap->setDelegate({});
  tap->setEnabled(false);
  app_->sendTap(Point{180, 180});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "view ended"}));
}

TEST_F(GestureTest, ALongPressBeginsWhenTheClockHasRunTheMinimumDuration) {
  auto press = attach<LongPressGestureRecognizer>(container_, "press");
  press->setCancelsTouchesInView(false);
  app_->sendTouch(TouchPhase::Began, Point{150, 150});
  clock_->advance(0.49);
  EXPECT_EQ(log_, (std::vector<std::string>{"view began"}));
  clock_->advance(0.01);
  EXPECT_EQ(log_.back(), "press began");
  app_->sendTouch(TouchPhase::Moved, Point{152, 150});
  app_->sendTouch(TouchPhase::Ended, Point{152, 150});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "press began", "press changed", "view moved",
                                            "press ended", "view ended"}));
}

TEST_F(GestureTest, ALongPressCountsTheTouchesOwnTimestampsToo) {
  attach<LongPressGestureRecognizer>(container_, "press");
  app_->sendTouch(TouchPhase::Began, Point{150, 150}, TouchDetails{100.0});
  app_->sendTouch(TouchPhase::Ended, Point{150, 150}, TouchDetails{100.6});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "press began", "view cancelled", "press ended"}));
}

TEST_F(GestureTest, ALongPressFailsWhenReleasedEarlyOrMovedAway) {
  attach<LongPressGestureRecognizer>(container_, "press");
  app_->sendTouch(TouchPhase::Began, Point{150, 150});
  clock_->advance(0.3);
  app_->sendTouch(TouchPhase::Ended, Point{150, 150});
  clock_->advance(1.0);  // The pending timer finds its press over.

  app_->sendTouch(TouchPhase::Began, Point{150, 150});
  app_->sendTouch(TouchPhase::Moved, Point{150, 170});
  clock_->advance(1.0);
  app_->sendTouch(TouchPhase::Cancelled, Point{150, 170});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "view ended", "view began", "view moved",
                                            "view cancelled"}));
}

TEST_F(GestureTest, TouchesCarryTheirDetails) {
  std::vector<std::shared_ptr<Touch>> touches;
  class Watcher : public GestureRecognizer {
   public:
    explicit Watcher(std::vector<std::shared_ptr<Touch>>& seen) : seen_(seen) {}
    void touchesBegan(const Touches& touches, const Event& event) override {
      seen_.push_back(touches.front());
      EXPECT_EQ(event.allTouches().size(), 1u);
      EXPECT_EQ(event.touchesForView(*view()).size(), 1u);
    }
    void touchesMoved(const Touches& touches, const Event&) override {
      const Touch& touch = *touches.front();
      EXPECT_EQ(touch.phase(), TouchPhase::Moved);
      EXPECT_EQ(touch.previousLocationInView(view().get()), (Point{15, 20}));
    }

   private:
    std::vector<std::shared_ptr<Touch>>& seen_;
  };
  inner_->addGestureRecognizer(std::make_shared<Watcher>(touches));
  app_->sendTouch(TouchPhase::Began, Point{125, 130}, TouchDetails{42.0, 0.75, 8.5});
  ASSERT_EQ(touches.size(), 1u);
  const Touch& touch = *touches.front();
  EXPECT_EQ(touch.view(), inner_);
  EXPECT_EQ(touch.window(), window_);
  EXPECT_EQ(touch.timestamp(), 42.0);
  EXPECT_EQ(touch.force(), 0.75);
  EXPECT_EQ(touch.majorRadius(), 8.5);
  EXPECT_EQ(touch.locationInView(inner_.get()), (Point{15, 20}));
  EXPECT_EQ(touch.locationInView(container_.get()), (Point{25, 30}));
  app_->sendTouch(TouchPhase::Moved, Point{126, 131}, TouchDetails{42.1});
  app_->sendTouch(TouchPhase::Ended, Point{126, 131}, TouchDetails{42.2});
  EXPECT_EQ(touch.phase(), TouchPhase::Ended);
  EXPECT_EQ(touch.timestamp(), 42.2);
  EXPECT_EQ(touch.locationInView(nullptr), (Point{126, 131}));
}

TEST_F(GestureTest, TouchesLandInTheFrontMostVisibleWindow) {
  attach<TapGestureRecognizer>(container_, "back");
  auto front = std::make_shared<Window>(Rect(0, 0, 375, 120));
  auto cover = std::make_shared<View>(Rect(0, 0, 375, 120));
  front->addSubview(cover);
  attach<TapGestureRecognizer>(cover, "front");

  app_->sendTap(Point{150, 110});
  EXPECT_EQ(log_, (std::vector<std::string>{"view began", "back ended", "view cancelled"})) << "front is hidden";
  log_.clear();
  front->setHidden(false);
  app_->sendTap(Point{150, 110});
  app_->sendTap(Point{150, 150});
  EXPECT_EQ(log_, (std::vector<std::string>{"front ended", "view began", "back ended", "view cancelled"}));

  window_->setHidden(true);
  EXPECT_FALSE(app_->sendTap(Point{150, 150})) << "nothing takes the touch";
  EXPECT_FALSE(app_->sendTouch(TouchPhase::Ended, Point{150, 150})) << "no touch is under way";
}

// Watches touches without ever recognising, as the library's touch
// reporting recogniser does.
class TouchWatcher : public LongPressGestureRecognizer {
 public:
  explicit TouchWatcher(std::vector<std::string>& log) : log_(log) { setCancelsTouchesInView(false); }
  void touchesBegan(const Touches&, const Event&) override { log_.push_back("watcher began"); }
  void touchesEnded(const Touches&, const Event&) override { log_.push_back("watcher ended"); }

 private:
  std::vector<std::string>& log_;
};

TEST_F(GestureTest, ATouchedButtonWorksItselfAndNotTheTapRecogniserBehindIt) {
  auto button = std::make_shared<Button>(Rect(50, 50, 40, 40));
  container_->addSubview(button);
  button->addAction(kControlEventTouchUpInside, [&](Control&, const Event* event) {
    log_.push_back(event ? "button tapped" : "button tapped without event");
  });
  attach<TapGestureRecognizer>(container_, "tap");
  container_->addGestureRecognizer(std::make_shared<TouchWatcher>(log_));

  app_->sendTap(Point{160, 160});
  EXPECT_EQ(log_, (std::vector<std::string>{"watcher began", "watcher ended", "button tapped"}));
  log_.clear();
  button->setEnabled(false);
  app_->sendTap(Point{160, 160});
  EXPECT_EQ(log_, (std::vector<std::string>{"watcher began", "view began", "tap ended", "view cancelled"}))
      << "a disabled button hands its touches on and lets the tap recogniser have them (which fails the watcher)";
}

}  // namespace
}  // namespace plexora::platform
