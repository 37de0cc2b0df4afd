// The URL session against a loopback server: waiting for the user agent,
// the order of waiting requests, cancellation while waiting, the built-in
// agent after a bounded wait, and where handlers run.
#include "server/OVAdURLSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/net/URLError.h"
#include "platform/web/HeadlessWebView.h"
#include "plexora/OVAdSettings.h"
#include "testserver/TestServer.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;
using platform::Value;

// A user-agent source whose answer the test sets; until then it answers none.
class UserAgentSwitch {
 public:
  OVAdURLSession::UserAgentSource source() {
    return [this](auto answer) {
      std::optional<std::string> current;
      {
        std::lock_guard lock(mutex_);
        current = userAgent_;
      }
      answer(current);
    };
  }
  void set(std::string userAgent) {
    std::lock_guard lock(mutex_);
    userAgent_ = std::move(userAgent);
  }

 private:
  std::mutex mutex_;
  std::optional<std::string> userAgent_;
};

// The manual clock with a wall clock that can be set apart from it, as a
// time-zone or network time correction sets the system's.
class SettableWallClock final : public platform::Clock {
 public:
  explicit SettableWallClock(std::shared_ptr<platform::ManualClock> clock) : clock_(std::move(clock)) {}
  void setWallTimeBy(double seconds) { wallOffset_ += seconds; }

  double wallTime() const override { return clock_->wallTime() + wallOffset_; }
  double monotonicTime() const override { return clock_->monotonicTime(); }
  WakeupId scheduleWakeup(double deadline, std::function<void()> wakeup) override {
    return clock_->scheduleWakeup(deadline, std::move(wakeup));
  }
  void cancelWakeup(WakeupId id) override { clock_->cancelWakeup(id); }

 private:
  const std::shared_ptr<platform::ManualClock> clock_;
  std::atomic<double> wallOffset_{0.0};
};

struct Completion {
  int tag = 0;
  std::optional<platform::HTTPURLResponse> response;
  std::optional<platform::Error> error;
  double duration = -1.0;
  bool onDelegateQueueThread = false;
};

class CompletionLog {
 public:
  OVAdURLSession::ResponseHandler handler(int tag) {
    return [this, tag](const std::shared_ptr<OVAdURLSessionTaskContainer>&,
                       const std::optional<platform::HTTPURLResponse>& response, const platform::Bytes&,
                       const std::optional<platform::Error>& error, double duration) {
      const auto current = platform::DispatchQueue::current();
      std::lock_guard lock(mutex_);
      completions_.push_back(Completion{tag, response, error, duration,
                                        current && current->label() == "com.plexora.ads.urlsession"});
      arrived_.notify_all();
    };
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, 5s, [&] { return completions_.size() >= count; });
  }
  void clear() {
    std::lock_guard lock(mutex_);
    completions_.clear();
  }
  std::vector<Completion> all() {
    std::lock_guard lock(mutex_);
    return completions_;
  }
  std::vector<int> tags() {
    std::vector<int> tags;
    for (const Completion& completion : all()) {
      tags.push_back(completion.tag);
    }
    return tags;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Completion> completions_;
};

class OVAdURLSessionTest : public ::testing::Test {
 protected:
  OVAdURLSessionTest() {
    server_.start();
    server_.on("/", testserver::Response::text(200, "ok"), testserver::Match::Prefix);
    OVAdSettings::setLogLevel(6);
  }
  // Handlers still queued on the delegate queue reach the log before it goes.
  ~OVAdURLSessionTest() override {
    session_.reset();
    platform::DispatchQueue::settle();
  }

  void start(OVAdURLSession::UserAgentSource source) { session_ = OVAdURLSession::create(std::move(source)); }
  // Polls until the switched user agent is taken.
  void startWithUserAgent(const std::string& userAgent) {
    userAgent_.set(userAgent);
    start(userAgent_.source());
    clock_->advance(OVAdURLSession::kUserAgentPollInterval);
    ASSERT_TRUE(session_->valid());
  }

  std::shared_ptr<OVAdURLSessionTaskContainer> get(const std::string& path, int tag) {
    return session_->requestWithURL(server_.url(path), "GET", Value(), log_.handler(tag));
  }
  static std::vector<std::uint64_t> taskIdentifiers(
      const std::vector<std::shared_ptr<OVAdURLSessionTaskContainer>>& containers) {
    std::vector<std::uint64_t> identifiers;
    for (const auto& container : containers) {
      identifiers.push_back(container->task() ? container->task()->taskIdentifier() : 0);
    }
    return identifiers;
  }
  std::vector<std::string> receivedPaths() {
    std::vector<std::string> paths;
    for (const auto& request : server_.requests()) {
      paths.push_back(request.path);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  testing::SettingsTestEnvironment environment_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
  // Before the session: its connections close before the server stops.
  testserver::TestServer server_;
  UserAgentSwitch userAgent_;
  CompletionLog log_;
  std::shared_ptr<OVAdURLSession> session_;
};

TEST_F(OVAdURLSessionTest, RequestsWaitForTheUserAgentThenStartInCallOrderWithIt) {
  start(userAgent_.source());
  std::vector<std::shared_ptr<OVAdURLSessionTaskContainer>> containers;
  for (int tag = 1; tag <= 3; ++tag) {
    containers.push_back(get("wait/" + std::to_string(tag), tag));
  }
  clock_->advance(1.0);
  EXPECT_FALSE(session_->valid());
  for (const auto& container : containers) {
    EXPECT_EQ(container->task(), nullptr);
    EXPECT_EQ(container->state(), platform::URLSessionTaskState::Running);
  }

  userAgent_.set("Agent/1.0 [test]");
  clock_->advance(OVAdURLSession::kUserAgentPollInterval);
  ASSERT_TRUE(session_->valid());
  EXPECT_EQ(session_->userAgent(), "Agent/1.0 [test]");
  ASSERT_TRUE(server_.waitForRequests(3, 5s));
  EXPECT_EQ(taskIdentifiers(containers), (std::vector<std::uint64_t>{1, 2, 3}));
  for (const auto& request : server_.requests()) {
    EXPECT_EQ(request.header("User-Agent"), "Agent/1.0 [test]") << request.path;
  }
  EXPECT_TRUE(log_.waitFor(3));
}

TEST_F(OVAdURLSessionTest, AStreamOfWaitingRequestsDoesNotHoldThePollBack) {
  userAgent_.set("Agent/6");
  start(userAgent_.source());
  std::size_t sent = 0;
  while (!session_->valid() && sent < 10) {
    get("stream/" + std::to_string(sent), static_cast<int>(sent));
    ++sent;
    clock_->advance(OVAdURLSession::kUserAgentPollInterval / 2);
  }
  EXPECT_TRUE(session_->valid()) << "the first ask comes at once, the next one interval later";
  EXPECT_LE(sent, 3U);
  EXPECT_TRUE(log_.waitFor(sent));
}

TEST_F(OVAdURLSessionTest, AnAgentKnownAtOnceSendsTheFirstRequestWithoutAPollTick) {
  userAgent_.set("Agent/7");
  start(userAgent_.source());
  get("first", 1);
  // The manual clock never moves, so no tick of the poll timer comes.
  ASSERT_TRUE(server_.waitForRequests(1, 5s));
  EXPECT_EQ(server_.requests().front().header("User-Agent"), "Agent/7");
  EXPECT_TRUE(log_.waitFor(1));
}

TEST_F(OVAdURLSessionTest, ARequestMadeAsTheSessionStartsGoesAfterTheWaitingOnes) {
  // The agent arrives once both early requests wait (at the session's first
  // ask or at its first tick, whichever comes later) and, in the same
  // breath, another request comes in while the waiting ones may still be
  // being handed on.
  std::atomic<bool> agentKnown{false};
  std::mutex lateMutex;
  std::shared_ptr<OVAdURLSessionTaskContainer> late;
  start([&](auto answer) {
    if (!agentKnown.load()) {
      answer(std::nullopt);
      return;
    }
    answer(std::optional<std::string>("Agent/2"));
    std::lock_guard lock(lateMutex);
    if (!late) {
      late = get("late", 3);
    }
  });
  const auto first = get("early/1", 1);
  const auto second = get("early/2", 2);
  agentKnown.store(true);
  clock_->advance(OVAdURLSession::kUserAgentPollInterval);

  ASSERT_TRUE(server_.waitForRequests(3, 5s));
  std::shared_ptr<OVAdURLSessionTaskContainer> lateRequest;
  {
    std::lock_guard lock(lateMutex);
    lateRequest = late;
  }
  ASSERT_TRUE(lateRequest);
  EXPECT_EQ(taskIdentifiers({first, second, lateRequest}), (std::vector<std::uint64_t>{1, 2, 3}));
  EXPECT_TRUE(log_.waitFor(3));
}

TEST_F(OVAdURLSessionTest, ARequestCancelledWhileWaitingIsNeverSentAndHearsCancelledOnce) {
  start(userAgent_.source());
  const auto first = get("c/1", 1);
  const auto second = get("c/2", 2);
  const auto third = get("c/3", 3);
  second->cancel();
  second->cancel();

  ASSERT_TRUE(log_.waitFor(1)) << "the cancellation is heard without waiting for the user agent";
  const Completion cancelled = log_.all().front();
  EXPECT_EQ(cancelled.tag, 2);
  ASSERT_TRUE(cancelled.error.has_value());
  EXPECT_EQ(cancelled.error->domain(), platform::kURLErrorDomain);
  EXPECT_EQ(cancelled.error->code(), platform::kURLErrorCancelled);
  EXPECT_FALSE(cancelled.response.has_value());
  EXPECT_TRUE(cancelled.onDelegateQueueThread);
  EXPECT_EQ(second->state(), platform::URLSessionTaskState::Completed);

  userAgent_.set("Agent/3");
  clock_->advance(OVAdURLSession::kUserAgentPollInterval);
  ASSERT_TRUE(log_.waitFor(3));
  EXPECT_EQ(receivedPaths(), (std::vector<std::string>{"/c/1", "/c/3"}));
  EXPECT_EQ(second->task(), nullptr);
  const std::vector<int> tags = log_.tags();
  EXPECT_EQ(std::count(tags.begin(), tags.end(), 2), 1);
  EXPECT_EQ(taskIdentifiers({first, third}), (std::vector<std::uint64_t>{1, 2}));
}

TEST_F(OVAdURLSessionTest, WithoutAnAgentTheBuiltInOneTakesOverAfterTheWaitLimit) {
  const struct {
    const char* name;
    OVAdURLSession::UserAgentSource source;
  } cases[] = {
      {"answers none", [](auto answer) { answer(std::nullopt); }},
      {"answers empty", [](auto answer) { answer(std::optional<std::string>("")); }},
      {"never answers", [](auto) {}},
  };
  const std::optional<std::string> builtIn =
      OVAdUtility::generateUserAgentStringFromRawString(platform::kHeadlessWebViewDefaultUserAgent);
  ASSERT_TRUE(builtIn.has_value());

  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    environment_.clearLines();
    server_.clearRequests();
    log_.clear();
    start(test.source);
    get("fallback", 1);
    clock_->advance(OVAdURLSession::kUserAgentPollInterval);  // the first poll
    clock_->advance(OVAdURLSession::kUserAgentWaitLimit - 0.2);
    EXPECT_FALSE(session_->valid());
    EXPECT_TRUE(server_.requests().empty());

    clock_->advance(0.3);
    ASSERT_TRUE(session_->valid());
    EXPECT_EQ(session_->userAgent(), builtIn);
    ASSERT_TRUE(server_.waitForRequests(1, 5s));
    EXPECT_EQ(server_.requests().front().header("User-Agent"), builtIn);
    EXPECT_TRUE(log_.waitFor(1));

    clock_->advance(10.0);
    EXPECT_EQ(environment_.count("<error>] User agent still unknown"), 1U);
  }
}

TEST_F(OVAdURLSessionTest, AWorkingSessionStartsAtOnceAndAnswersOnItsDelegateQueue) {
  startWithUserAgent("Agent/4");
  server_.enqueue("/status", testserver::Response::text(500, "broken"));
  const auto container = get("status", 1);
  EXPECT_NE(container->task(), nullptr) << "started on the caller's thread";

  ASSERT_TRUE(log_.waitFor(1));
  const Completion completion = log_.all().front();
  ASSERT_TRUE(completion.response.has_value());
  EXPECT_EQ(completion.response->statusCode, 500);
  EXPECT_FALSE(completion.error.has_value()) << "a status code is no error";
  EXPECT_GE(completion.duration, 0.0);
  EXPECT_TRUE(completion.onDelegateQueueThread);
  EXPECT_EQ(environment_.count("<debug>] HTTP complete, status=500, bytes=6"), 1U);
}

TEST_F(OVAdURLSessionTest, TheDurationIsMeasuredOnTheMonotonicClock) {
  const auto wallClock = std::make_shared<SettableWallClock>(clock_);
  const platform::ScopedClock scopedWallClock(wallClock);
  start(userAgent_.source());
  get("waits", 1);
  clock_->advance(2.0);
  wallClock->setWallTimeBy(-3600.0);
  userAgent_.set("Agent/6");
  clock_->advance(OVAdURLSession::kUserAgentPollInterval);

  ASSERT_TRUE(log_.waitFor(1));
  // The poll that finds the agent may be the one due at 2 s, whose task can
  // run after the agent was set, or the next one.
  const double duration = log_.all().front().duration;
  EXPECT_GE(duration, 2.0 - 1e-6) << "the hour the wall clock was set back is no part of the request";
  EXPECT_LE(duration, 2.0 + OVAdURLSession::kUserAgentPollInterval + 1e-6)
      << "the hour the wall clock was set back is no part of the request";
}

TEST_F(OVAdURLSessionTest, DisabledValidationStillValidatesHostsOutsideTheSandbox) {
  testserver::TestServer secureServer(testserver::TestServerOptions{.tls = true});
  secureServer.start();
  startWithUserAgent("Agent/5");
  session_->setSSLValidationDisabled(true);

  session_->requestWithURL(secureServer.url("secret"), "GET", Value(), log_.handler(1));
  ASSERT_TRUE(log_.waitFor(1));
  const Completion completion = log_.all().front();
  ASSERT_TRUE(completion.error.has_value());
  EXPECT_EQ(completion.error->code(), platform::kURLErrorSecureConnectionFailed);
  EXPECT_TRUE(secureServer.requests().empty());
}

}  // namespace
}  // namespace plexora
