// The content view base: the countdown text for a number of seconds in the
// view's format, the clock text of a span, the countdown settings a load
// takes from the data model, and the values of a view without a video.
#include "adapters/views/video/OVVideoAdContentView.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "adapters/OVInstreamAdDataModel.h"
#include "platform/ui/UITest.h"
#include "platform/value/Value.h"

namespace plexora {
namespace {

// The base with nothing of its own.
class PlainContentView final : public OVVideoAdContentView {};

std::shared_ptr<OVInstreamAdDataModel> modelOf(const std::string& json) {
  return OVInstreamAdDataModel::initWithMetadata(*platform::parseJSON(json));
}

using OVVideoAdContentViewTest = platform::testing::UITest;

TEST_F(OVVideoAdContentViewTest, TheCountdownReadsTheSecondsInTheFormatsPlaceholders) {
  const struct {
    const char* format;
    std::uint64_t seconds;
    const char* text;
  } cases[] = {
      {"{{REMAINING_TIME}}", 0, "0:00"},
      {"{{REMAINING_TIME}}", 5, "0:05"},
      {"{{REMAINING_TIME}}", 59, "0:59"},
      {"{{REMAINING_TIME}}", 599, "9:59"},
      {"{{REMAINING_TIME}}", 600, "10:00"},
      {"{{REMAINING_TIME}}", 3599, "59:59"},
      {"{{REMAINING_TIME}}", 3600, "1:00:00"},
      {"{{REMAINING_TIME}}", 36125, "10:02:05"},
      // A day or more starts the clock again.
      {"{{REMAINING_TIME}}", 86400, "0:00:00"},
      {"{{REMAINING_TIME}}", 86405, "0:00:05"},
      {"Ad ends in {{REMAINING_TIME}} seconds", 125, "Ad ends in 2:05 seconds"},
      {"{{REMAINING_TIME}} of {{REMAINING_TIME}}", 7, "0:07 of 0:07"},
      {"{{REMAINING_TIME}}{{REMAINING_TIME}}", 1, "0:010:01"},
      {"No placeholder", 7, "No placeholder"},
      {"Half {{REMAINING_TIME", 7, "Half {{REMAINING_TIME"},
      {"", 7, ""},
  };
  const auto view = std::make_shared<PlainContentView>();
  for (const auto& entry : cases) {
    view->setCountdownFormat(entry.format);
    EXPECT_EQ(view->formattedCountdownFromRemainingSeconds(entry.seconds), entry.text)
        << entry.format << " " << entry.seconds;
  }
}

TEST_F(OVVideoAdContentViewTest, TheClockTextFollowsTheSpanNotTheDate) {
  EXPECT_EQ(OVVideoAdContentView::timeStringFromDate(65, 30), "1:05");
  EXPECT_EQ(OVVideoAdContentView::timeStringFromDate(65, 600), "01:05");
  EXPECT_EQ(OVVideoAdContentView::timeStringFromDate(65, 3600), "0:01:05");
  EXPECT_EQ(OVVideoAdContentView::timeStringFromDate(65.9, 30), "1:05") << "whole seconds, taken downwards";
  EXPECT_EQ(OVVideoAdContentView::timeStringFromDate(-1, 30), "59:59") << "the last second of the day before";
  EXPECT_EQ(OVVideoAdContentView::timeStringFromDate(std::numeric_limits<double>::quiet_NaN(), 30), "");
}

TEST_F(OVVideoAdContentViewTest, ALoadTakesTheCountdownSwitchAndAFormatOnlyWhenTheModelHasOne) {
  const auto view = std::make_shared<PlainContentView>();
  EXPECT_FALSE(view->countdownEnabled());
  EXPECT_EQ(view->countdownFormat(), "{{REMAINING_TIME}}");

  view->loadAdFromDataModel(modelOf(R"({"capabilities":{"countdown":{"format":"Ends in {{REMAINING_TIME}}"}}})"));
  EXPECT_TRUE(view->countdownEnabled());
  EXPECT_EQ(view->countdownFormat(), "Ends in {{REMAINING_TIME}}");
  EXPECT_EQ(view->formattedCountdownFromRemainingSeconds(31), "Ends in 0:31");

  // A countdown without a format keeps the format the view has.
  view->loadAdFromDataModel(modelOf(R"({"capabilities":{"countdown":{}}})"));
  EXPECT_TRUE(view->countdownEnabled());
  EXPECT_EQ(view->countdownFormat(), "Ends in {{REMAINING_TIME}}");

  view->loadAdFromDataModel(modelOf("{}"));
  EXPECT_FALSE(view->countdownEnabled());

  view->loadAdFromDataModel(nullptr);
  EXPECT_FALSE(view->countdownEnabled());
}

TEST_F(OVVideoAdContentViewTest, AViewWithoutAVideoIsAtZeroAtFullVolumeAndCannotBeSkipped) {
  const auto view = std::make_shared<PlainContentView>();
  EXPECT_EQ(view->currentTime(), platform::MediaTime::zero());
  EXPECT_EQ(view->duration(), platform::MediaTime::zero());
  EXPECT_FALSE(view->isAutoplay());
  EXPECT_FALSE(view->skippable());
  EXPECT_FALSE(view->skipRemainingTime().isValid());
  EXPECT_FLOAT_EQ(view->volume(), 1.0F);
  // Start, pause and resume of the base change nothing.
  view->startFromRootViewController(nullptr);
  view->pause();
  view->resume();
  EXPECT_TRUE(view->subviews().empty());
}

}  // namespace
}  // namespace plexora
