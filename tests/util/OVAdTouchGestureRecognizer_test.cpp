#include "util/OVAdTouchGestureRecognizer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/UITest.h"
#include "platform/ui/Window.h"

namespace plexora {
namespace {

using platform::Point;
using platform::Rect;
using platform::TouchPhase;

class RecordingTouchDelegate final : public OVAdTouchGestureRecognizerDelegate {
 public:
  void gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer&, const platform::Touches& touches,
                                         const platform::Event&) override {
    record("began", touches);
  }
  void gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer&, const platform::Touches& touches,
                                         const platform::Event&) override {
    record("moved", touches);
  }
  void gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer&, const platform::Touches& touches,
                                         const platform::Event&) override {
    record("ended", touches);
  }
  void gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer&, const platform::Touches& touches,
                                             const platform::Event&) override {
    record("cancelled", touches);
  }

  std::vector<std::string> calls;

 private:
  void record(const char* name, const platform::Touches& touches) {
    calls.push_back(std::string(name) + " " + std::to_string(touches.size()));
  }
};

class OVAdTouchGestureRecognizerTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    adView_ = std::make_shared<platform::View>(Rect(0, 0, 300, 250));
    window_->addSubview(adView_);
    button_ = std::make_shared<platform::Button>(Rect(100, 100, 80, 40));
    adView_->addSubview(button_);
    button_->addAction(platform::kControlEventTouchUpInside, [this](platform::Control&, const platform::Event*) {
      buttonEvents_.push_back("up inside");
    });
    button_->addAction(platform::kControlEventTouchCancel, [this](platform::Control&, const platform::Event*) {
      buttonEvents_.push_back("cancel");
    });
    recognizer_->addAction([this](platform::GestureRecognizer&) { ++actions_; });
    recognizer_->setDelegate(delegate_);
    adView_->addGestureRecognizer(recognizer_);
  }

  std::shared_ptr<platform::Application> app_ = platform::Application::shared();
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::View> adView_;
  std::shared_ptr<platform::Button> button_;
  std::shared_ptr<OVAdTouchGestureRecognizer> recognizer_ = std::make_shared<OVAdTouchGestureRecognizer>();
  std::shared_ptr<RecordingTouchDelegate> delegate_ = std::make_shared<RecordingTouchDelegate>();
  std::vector<std::string> buttonEvents_;
  int actions_ = 0;
};

TEST_F(OVAdTouchGestureRecognizerTest, ALongPressReachesTheButtonUnderItAndIsOnlyReported) {
  EXPECT_FALSE(recognizer_->cancelsTouchesInView());
  app_->sendTouch(TouchPhase::Began, Point{110, 110});
  // Long enough for a long press to begin, which would take the touch from
  // the button.
  clock_->advance(2.0);
  app_->sendTouch(TouchPhase::Moved, Point{112, 110});
  app_->sendTouch(TouchPhase::Ended, Point{112, 110});

  EXPECT_EQ(delegate_->calls, (std::vector<std::string>{"began 1", "moved 1", "ended 1"}));
  EXPECT_EQ(buttonEvents_, (std::vector<std::string>{"up inside"}));
  EXPECT_EQ(actions_, 0);
  EXPECT_EQ(recognizer_->state(), platform::GestureRecognizerState::Possible);
}

TEST_F(OVAdTouchGestureRecognizerTest, CancelledTouchesAreReportedAsCancelled) {
  app_->sendTouch(TouchPhase::Began, Point{20, 20});
  app_->sendTouch(TouchPhase::Cancelled, Point{20, 20});
  EXPECT_EQ(delegate_->calls, (std::vector<std::string>{"began 1", "cancelled 1"}));
  EXPECT_EQ(actions_, 0);
}

TEST_F(OVAdTouchGestureRecognizerTest, AnOrdinaryDelegateHearsNothing) {
  auto plain = std::make_shared<platform::GestureRecognizerDelegate>();
  recognizer_->setDelegate(plain);
  EXPECT_EQ(recognizer_->touchDelegate(), nullptr);
  app_->sendTouch(TouchPhase::Began, Point{110, 110});
  app_->sendTouch(TouchPhase::Ended, Point{110, 110});
  EXPECT_TRUE(delegate_->calls.empty());
  EXPECT_EQ(buttonEvents_, (std::vector<std::string>{"up inside"}));
}

}  // namespace
}  // namespace plexora
