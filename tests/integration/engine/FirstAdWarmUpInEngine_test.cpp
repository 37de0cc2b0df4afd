// The first banner's head start in the real engine: making the banner
// launches the shared web process before any ad is asked for, its page then
// runs in that process, the library's user agent is answered on the asking
// thread without the main thread, and a host that quits right after making
// a banner ends cleanly. Real clock and main loop.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "OVAdViewInternal.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "integration/engine/BannerInEngineFixture.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/web/WebEngine.h"
#include "plexora/OVAdView.h"
#include "support/EngineWaits.h"
#include "support/TempDir.h"
#include "support/WebProcesses.h"
#include "testserver/adserver/AdAnswer.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {
namespace {

using namespace std::chrono_literals;

// The fixture banner under a placement of its own: the load throttle, kept
// per placement for the process, then holds back no other test's banner.
constexpr const char* kPlacement = "first-banner";
constexpr const char* kFixture = "banner";
constexpr const char* kExitChildName = "first_ad_exit_child";
// A host that quits must be gone long before a test's own time-out.
constexpr auto kExitLimit = 30s;

std::shared_ptr<OVAdWebKitContentContainer> containerOf(const std::shared_ptr<OVAdView>& banner) {
  const auto ad = std::dynamic_pointer_cast<OVAdViewInternal>(banner->adView());
  return ad ? std::dynamic_pointer_cast<OVAdWebKitContentContainer>(ad->adContentContainer()) : nullptr;
}

using FirstAdWarmUpInEngineTest = BannerInEngineFixture;

TEST_F(FirstAdWarmUpInEngineTest, MakingABannerLaunchesTheSharedWebProcessAndItsFirstPageRunsInIt) {
  server_.setAnswer(kPlacement, testserver::AdAnswer::fixture(kFixture));
  const auto banner = OVAdView::initWithPlacementID(kPlacement, kOVAdSize320x50, root_);
  EXPECT_TRUE(platform::WebEngine::isStarted());
  // Nothing asked for an ad yet: a process that comes now is the warm-up's.
  ASSERT_TRUE(waitFor([] { return webProcesses().size() == 1; }));
  const std::set<long> warmed = webProcesses();
  // A second ad warms nothing more.
  const auto second = OVAdView::initWithPlacementID(kPlacement, kOVAdSize320x50, root_);

  // Off screen: the page loads, but no impression goes out to outlive the
  // test.
  banner->setDelegate(delegate_);
  banner->loadAd();
  ASSERT_TRUE(waitFor([&] {
    const auto container = containerOf(banner);
    return container && container->isJavascriptAdControlInitialized();
  })) << (delegate_->errors.empty() ? "" : delegate_->errors.front());
  EXPECT_EQ(webProcesses(), warmed) << "the first page runs in the warmed process";
}

TEST_F(FirstAdWarmUpInEngineTest, TheUserAgentIsAnsweredOnTheAskingThreadWithoutTheMainThread) {
  OVAdUtility::resetUserAgentForTesting();
  const auto banner = OVAdView::initWithPlacementID(kPlacement, kOVAdSize320x50, root_);
  const std::optional<std::string> engineAgent = platform::WebEngine::userAgent();
  ASSERT_TRUE(engineAgent.has_value());

  // The main thread waits here without running its loop: an answer that
  // needed it would not come.
  struct Answer {
    bool answeredInline = false;
    std::optional<std::string> userAgent;
  };
  auto asked = std::async(std::launch::async, [] {
    Answer answer;
    bool returned = false;
    OVAdUtility::currentUserAgentWithBlock([&](const std::optional<std::string>& userAgent) {
      answer.answeredInline = !returned;
      answer.userAgent = userAgent;
    });
    returned = true;
    return answer;
  });
  const bool answeredWithoutMainThread = asked.wait_for(10s) == std::future_status::ready;
  if (!answeredWithoutMainThread) {
    // Let a hand-off through so the asking thread can end.
    waitFor([&] { return asked.wait_for(0s) == std::future_status::ready; });
  }
  ASSERT_TRUE(answeredWithoutMainThread) << "the answer waited for the main thread";
  const Answer answer = asked.get();
  EXPECT_TRUE(answer.answeredInline);
  ASSERT_TRUE(answer.userAgent.has_value());
  EXPECT_EQ(answer.userAgent, OVAdUtility::generateUserAgentStringFromRawString(engineAgent));
}

// Exits within the limit: its status, or none when it had to be killed.
std::optional<int> awaitExit(pid_t child) {
  const auto deadline = std::chrono::steady_clock::now() + kExitLimit;
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(10ms);
  }
  return status;
}

// Orphans of this process's children become its own, so a web process the
// child leaves behind is still found among this process's descendants.
void adoptOrphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

void reapAdoptedOrphans() {
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

TEST(FirstAdExitTest, AHostThatQuitsRightAfterMakingABannerEndsAndLeavesNoWebProcess) {
  const std::filesystem::path program =
      std::filesystem::read_symlink("/proc/self/exe").parent_path() / kExitChildName;
  adoptOrphans();
  for (const char* mode : {"at-once", "after-web-process"}) {
    SCOPED_TRACE(mode);
    TempDir caches;
    const std::set<long> before = webProcesses();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl(program.c_str(), program.c_str(), caches.path().c_str(), mode, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const std::optional<int> status = awaitExit(child);
    ASSERT_TRUE(status.has_value()) << "the host did not end within the limit";
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_TRUE(waitFor([&] {
      reapAdoptedOrphans();
      return webProcesses() == before;
    })) << "a web process outlived its host";
  }
}

}  // namespace
}  // namespace plexora::testing
