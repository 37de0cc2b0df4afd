#include "util/OVAdInlineHelpers.h"
#include "util/FakeDeviceProvider.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainLoop.h"
#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

TEST(OVAdInlineHelpersTest, ScriptWrapperCatchesTheScriptsException) {
  EXPECT_EQ(OVAdWrapScriptInTryCatch("return navigator.userAgent"),
            "(function(){try{return navigator.userAgent}catch(e){return e.toString();}}());");
  EXPECT_EQ(OVAdWrapScriptInTryCatch("a('%s')"), "(function(){try{a('%s')}catch(e){return e.toString();}}());")
      << "the body is inserted as it is, never read as a format";
}

TEST(OVAdInlineHelpersTest, Fractions) {
  EXPECT_EQ(OVAdTwice(1.5), 3.0);
  EXPECT_EQ(OVAdThrice(2.0), 6.0);
  EXPECT_EQ(OVAdHalf(3.0), 1.5);
  EXPECT_EQ(OVAdThird(9.0), 3.0);
  EXPECT_EQ(OVAdFifth(10.0), 2.0);
  EXPECT_EQ(OVAdTwoFifths(10.0), 4.0);
  EXPECT_EQ(OVAdThreeFifths(10.0), 6.0);
  EXPECT_EQ(OVAdNineTenths(10.0), 9.0);
}

TEST(OVAdInlineHelpersTest, IsNormal) {
  const double smallestNormal = 2.2250738585072014e-308;
  struct Case {
    double x;
    bool normal;
  };
  const Case cases[] = {
      {1.0, true},
      {-3.5, true},
      {smallestNormal, true},
      {-smallestNormal, true},
      {smallestNormal / 2.0, false},  // subnormal
      {0.0, false},
      {std::numeric_limits<double>::infinity(), false},
      {-std::numeric_limits<double>::infinity(), false},
      {std::numeric_limits<double>::quiet_NaN(), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OVAdIsNormal(c.x), c.normal) << c.x;
  }
  EXPECT_TRUE(OVAdIsNormalPair(0.0, 1.0));
  EXPECT_FALSE(OVAdIsNormalPair(0.0, std::numeric_limits<double>::quiet_NaN()));
}

TEST(OVAdInlineHelpersTest, RectangleHelpers) {
  const platform::Rect rect{{10.0, 20.0}, {400.0, 100.0}};

  EXPECT_EQ(OVAdRectWithHalfWidth(rect), (platform::Rect{{10.0, 20.0}, {200.0, 100.0}}));
  EXPECT_EQ(OVAdRectWithHalfWidth3(rect), OVAdRectWithHalfWidth(rect));
  EXPECT_EQ(OVAdRectWithQuarterWidth(rect), (platform::Rect{{10.0, 20.0}, {100.0, 100.0}}));

  EXPECT_TRUE(OVAdRectIsNonZero(platform::Rect{{0.0, 0.0}, {0.0, 5.0}}));
  EXPECT_TRUE(OVAdRectIsNonZero(platform::Rect{{1.0, 0.0}, {0.0, 0.0}}));
  EXPECT_FALSE(OVAdRectIsNonZero(platform::Rect{}));

  EXPECT_EQ(OVAdTemplateFrameLimitedWidth(rect), (platform::Rect{{30.0, 20.0}, {360.0, 100.0}})) << "keeps its centre";
  EXPECT_EQ(OVAdTemplateFrameLimitedWidth(platform::Rect{{0.0, 0.0}, {300.0, 50.0}}),
            (platform::Rect{{0.0, 0.0}, {300.0, 50.0}}));

  EXPECT_EQ(OVAdRectShrinkingSize(rect, 40.0, 10.0), (platform::Rect{{10.0, 20.0}, {360.0, 90.0}}));
  EXPECT_EQ(OVAdFloorSize(platform::Size{1.9, -1.1}), (platform::Size{1.0, -2.0}));
  EXPECT_EQ(OVAdScalePoint(platform::Point{1.5, -2.0}, 2.0), (platform::Point{3.0, -4.0}));
}

TEST(OVAdInlineHelpersTest, TemplateFrameWithFixedHeight) {
  const platform::Rect rect{{0.0, 0.0}, {100.0, 50.0}};
  struct Case {
    platform::Rect rect;
    std::optional<double> height;
    bool apply;
    double expectedHeight;
  };
  const Case cases[] = {
      {rect, 80.0, true, 80.0},
      {rect, 30.0, true, 50.0},  // the larger of the two
      {rect, 80.0, false, 50.0},
      {rect, std::nullopt, true, 50.0},
      {platform::Rect{{0.0, 0.0}, {100.0, 0.0}}, 80.0, true, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OVAdTemplateFrameWithFixedHeight(c.rect, c.height, c.apply).size.height, c.expectedHeight);
  }
}

TEST(OVAdInlineHelpersTest, RectCombiningAxesTakesEachAxisFromTheChosenRectangle) {
  const platform::Rect first{{1.0, 2.0}, {3.0, 4.0}};
  const platform::Rect second{{10.0, 20.0}, {30.0, 40.0}};
  EXPECT_EQ(OVAdRectCombiningAxes(first, second, false, false), first);
  EXPECT_EQ(OVAdRectCombiningAxes(first, second, true, true), second);
  EXPECT_EQ(OVAdRectCombiningAxes(first, second, true, false), (platform::Rect{{10.0, 2.0}, {30.0, 4.0}}));
  EXPECT_EQ(OVAdRectCombiningAxes(first, second, false, true), (platform::Rect{{1.0, 20.0}, {3.0, 40.0}}));
}

TEST(OVAdInlineHelpersTest, RoundToScreenPixel) {
  EXPECT_EQ(OVAdRoundToScreenPixel(1.26, 2.0), 1.5);
  EXPECT_EQ(OVAdRoundToScreenPixel(1.2, 2.0), 1.0);
  EXPECT_DOUBLE_EQ(OVAdRoundToScreenPixel(1.2, 3.0), 4.0 / 3.0);
}

TEST(OVAdInlineHelpersTest, EventTimestampBecomesSecondsSince1970) {
  platform::ScopedClock clock(std::make_shared<platform::ManualClock>(1.7e9, 1000.0));
  // A touch 10 seconds ago on the monotonic clock.
  EXPECT_DOUBLE_EQ(OVAdEventTimestampToEpoch(990.0), 1.7e9 - 10.0);
}

TEST(OVAdInlineHelpersTest, ProcessFlags) {
  EXPECT_FALSE(OVAdIsSecurityDisabled());

  platform::DeviceProfile pad = testing::testDeviceProfile();
  pad.idiom = platform::UserInterfaceIdiom::Pad;
  {
    platform::ScopedDeviceProvider scoped(std::make_shared<testing::FakeDeviceProvider>(pad));
    EXPECT_TRUE(OVAdIsPadIdiom());
  }
  platform::ScopedDeviceProvider phone(std::make_shared<testing::FakeDeviceProvider>());
  EXPECT_FALSE(OVAdIsPadIdiom());
}

TEST(OVAdInlineHelpersTest, IsKindOfAnyClass) {
  struct Base {
    virtual ~Base() = default;
  };
  struct Banner : Base {};
  struct Native : Base {};
  struct Video : Base {};
  const Banner banner;
  const Video video;

  EXPECT_TRUE((OVAdIsKindOfAnyClass<Native, Banner>(static_cast<const Base*>(&banner))));
  EXPECT_FALSE((OVAdIsKindOfAnyClass<Native, Banner>(static_cast<const Base*>(&video))));
  EXPECT_FALSE((OVAdIsKindOfAnyClass<Banner>(static_cast<const Base*>(nullptr))));
}

using OVAdDispatchOnceOnMainThreadTest = testing::SettledQueuesTest;

TEST_F(OVAdDispatchOnceOnMainThreadTest, OnTheMainThreadRunsOnceAtOnceEvenWhenReentered) {
  OVAdMainThreadOnceFlag flag;
  int runs = 0;
  std::function<void()> block = [&] {
    ++runs;
    OVAdDispatchOnceOnMainThread(flag, block);  // must not deadlock
  };

  OVAdDispatchOnceOnMainThread(flag, block);
  OVAdDispatchOnceOnMainThread(flag, block);

  EXPECT_EQ(runs, 1);
}

TEST_F(OVAdDispatchOnceOnMainThreadTest, ElsewhereRunsOnTheMainThreadThenReturnsAtOnce) {
  OVAdMainThreadOnceFlag flag;
  std::atomic<int> runs{0};
  std::atomic<bool> ranOnMainThread{false};
  auto block = [&] {
    ++runs;
    ranOnMainThread = platform::DispatchQueue::isMainThread();
  };
  std::atomic<bool> firstReturned{false};

  std::thread first([&] {
    OVAdDispatchOnceOnMainThread(flag, block);
    firstReturned = true;
  });
  ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return firstReturned.load(); }, 10.0));
  first.join();

  // The main loop is not pumped now: a call after the first run must not wait.
  std::thread second([&] { OVAdDispatchOnceOnMainThread(flag, block); });
  second.join();

  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(ranOnMainThread);
}

}  // namespace
}  // namespace plexora
