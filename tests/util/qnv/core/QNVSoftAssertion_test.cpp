// The engine's soft assertions reach the installed handler: in the test
// programs a broken invariant fails the test that broke it, at the
// assertion's own file and line.
#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVClock.h"

namespace plexora {
namespace {

constexpr int kQueueCheckLine = __LINE__ + 1;
void touchPlaybackState() { QNV_ASSERT_MEDIA_STATE_QUEUE(); }

TEST(QNVSoftAssertionTest, AWrongThreadCallFailsTheTestAtTheAssertion) {
  ::testing::TestPartResultArray failures;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
    touchPlaybackState();
  }
  ASSERT_EQ(failures.size(), 1);
  const ::testing::TestPartResult& failure = failures.GetTestPartResult(0);
  EXPECT_TRUE(failure.nonfatally_failed());
  EXPECT_STREQ(failure.file_name(), __FILE__);
  EXPECT_EQ(failure.line_number(), kQueueCheckLine);
  EXPECT_THAT(failure.message(), ::testing::HasSubstr("QNVIsOnMediaStateQueue()"));
  EXPECT_THAT(failure.message(), ::testing::HasSubstr("touchPlaybackState runs on the media-state queue"));

  // On its queue the same call passes.
  QNVMediaStateQueue()->sync(touchPlaybackState);
}

TEST(QNVSoftAssertionTest, AnEngineOperationOffTheMediaStateQueueFails) {
  const std::shared_ptr<QNVRealClock> clock = QNVRealClock::create();
  EXPECT_NONFATAL_FAILURE(clock->pause(), "pause runs on the media-state queue");
  QNVMediaStateQueue()->sync([&] { clock->pause(); });
}

TEST(QNVSoftAssertionTest, ExpectedAssertionsAreCollectedInsteadOfFailing) {
  {
    testing::QNVExpectedSoftAssertions expected;
    QNV_SOFT_ASSERT(1 + 1 == 3, "arithmetic holds: %d", 2);
    EXPECT_EQ(expected.reasons(), std::vector<std::string>{"arithmetic holds: 2"});
    EXPECT_TRUE(expected.sawReason("holds"));
  }
  // The failing handler is back.
  EXPECT_NONFATAL_FAILURE(QNV_SOFT_ASSERT(false, "%s", "after the scope"), "after the scope");
}

// Without a debugger the release host's handler neither logs nor traps (a
// trap would end the process here).
TEST(QNVSoftAssertionTest, ReleaseHandlerIsSilentWithoutADebugger) {
  if (QNVIsDebuggerAttached()) GTEST_SKIP() << "a debugger would stop here";
  const QNVSoftAssertionHandler failing = QNVSetSoftAssertionHandler(nullptr);
  QNV_SOFT_ASSERT(false, "%s", "nobody is told");
  EXPECT_EQ(QNVSetSoftAssertionHandler(failing), &QNVLogSoftAssertionUnderDebugger);
}

}  // namespace
}  // namespace plexora
