#include "platform/ui/Button.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/TextMeasurement.h"
#include "platform/ui/UITest.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;

class ControlTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    button_ = std::make_shared<Button>(Rect(100, 100, 80, 40));
    window_->addSubview(button_);
    for (auto [events, name] : {std::pair{kControlEventTouchDown, "down"},
                                std::pair{kControlEventTouchDragInside, "drag inside"},
                                std::pair{kControlEventTouchDragOutside, "drag outside"},
                                std::pair{kControlEventTouchUpInside, "up inside"},
                                std::pair{kControlEventTouchUpOutside, "up outside"},
                                std::pair{kControlEventTouchCancel, "cancel"}}) {
      button_->addAction(events, [this, name = std::string(name)](Control& control, const Event*) {
        log_.push_back(name + (control.isHighlighted() ? " (highlighted)" : ""));
      });
    }
  }

  std::shared_ptr<Application> app_ = Application::shared();
  std::shared_ptr<Window> window_;
  std::shared_ptr<Button> button_;
  std::vector<std::string> log_;
};

TEST_F(ControlTest, TouchesBecomeControlEvents) {
  app_->sendTouch(TouchPhase::Began, Point{110, 110});
  EXPECT_TRUE(button_->isTracking());
  app_->sendTouch(TouchPhase::Moved, Point{300, 110});
  app_->sendTouch(TouchPhase::Moved, Point{120, 110});
  app_->sendTouch(TouchPhase::Ended, Point{120, 110});
  EXPECT_EQ(log_, (std::vector<std::string>{"down (highlighted)", "drag outside", "drag inside (highlighted)",
                                            "up inside"}));
  EXPECT_FALSE(button_->isHighlighted());
  EXPECT_FALSE(button_->isTracking());

  log_.clear();
  app_->sendTouch(TouchPhase::Began, Point{110, 110});
  app_->sendTouch(TouchPhase::Ended, Point{10, 10});
  app_->sendTouch(TouchPhase::Began, Point{110, 110});
  app_->sendTouch(TouchPhase::Cancelled, Point{110, 110});
  EXPECT_EQ(log_, (std::vector<std::string>{"down (highlighted)", "up outside", "down (highlighted)", "cancel"}));
}

TEST_F(ControlTest, ProgrammaticActionsRunTheMatchingEvents) {
  EXPECT_EQ(button_->allControlEvents(), kControlEventTouchDown | kControlEventTouchDragInside |
                                             kControlEventTouchDragOutside | kControlEventTouchUpInside |
                                             kControlEventTouchUpOutside | kControlEventTouchCancel);
  button_->sendTap();
  button_->sendActionsForControlEvents(kControlEventTouchDown | kControlEventTouchCancel);
  EXPECT_EQ(log_, (std::vector<std::string>{"up inside", "down", "cancel"}));
  auto token = button_->addAction(kControlEventValueChanged, [](Control&, const Event*) {});
  button_->removeAction(token);
  EXPECT_EQ(button_->allControlEvents() & kControlEventValueChanged, 0u);
}

TEST_F(ControlTest, StateCombinesTheFlags) {
  EXPECT_EQ(button_->state(), kControlStateNormal);
  button_->setHighlighted(true);
  button_->setSelected(true);
  button_->setEnabled(false);
  EXPECT_EQ(button_->state(), kControlStateHighlighted | kControlStateSelected | kControlStateDisabled);
}

TEST_F(ControlTest, TitlesFallBackToTheNormalStateAndTheLabelFollows) {
  button_->setTitle("Play", kControlStateNormal);
  button_->setTitle("Pause", kControlStateSelected);
  button_->setTitleColor(Color::black(), kControlStateHighlighted);
  auto label = button_->titleLabel();
  EXPECT_EQ(label->superview(), button_);
  EXPECT_EQ(label->frame(), Rect(0, 0, 80, 40));
  EXPECT_EQ(label->text(), "Play");
  EXPECT_EQ(label->textColor(), Color::white());
  EXPECT_EQ(button_->title(kControlStateDisabled), "Play");

  button_->setSelected(true);
  EXPECT_EQ(label->text(), "Pause");
  button_->setSelected(false);
  button_->setHighlighted(true);
  EXPECT_EQ(label->text(), "Play");
  EXPECT_EQ(label->textColor(), Color::black());

  button_->setTitle(std::nullopt, kControlStateNormal);
  EXPECT_EQ(button_->currentTitle(), std::nullopt);
  EXPECT_EQ(label->text(), "");

  button_->setFrame(Rect(0, 0, 200, 50));
  EXPECT_EQ(label->frame(), Rect(0, 0, 200, 50));
  button_->setTitle("Learn more", kControlStateNormal);
  EXPECT_EQ(button_->sizeThatFits(Size{}), measureText("Learn more", Font::systemFont(Button::kDefaultTitleFontSize), 0, 1));
}

}  // namespace
}  // namespace plexora::platform
