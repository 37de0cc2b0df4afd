#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string_view>
#include <thread>

#include "platform/dispatch/DispatchSync.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "platform/net/URLSessionFixture.h"

namespace plexora::platform {
namespace {

using namespace std::chrono_literals;
using testserver::Match;
using testserver::Response;

// Runs what is queued on the delegate queue so far, so a completion that was
// going to be delivered has been.
void drain(const DispatchQueuePtr& queue) {
  queue->sync([] {});
}

TEST_F(URLSessionFixture, TaskMovesFromSuspendedToRunningToCompleted) {
  server.on("/slow", Response::text(200, "done", 100ms));
  auto first = session->dataTask(requestFor("slow"), recorder.completion());
  auto second = session->dataTask(requestFor("slow"), [](Bytes, std::optional<HTTPURLResponse>, std::optional<Error>) {});
  EXPECT_EQ(first->state(), URLSessionTaskState::Suspended);
  EXPECT_LT(first->taskIdentifier(), second->taskIdentifier());
  EXPECT_TRUE(server.requests().empty());

  first->resume();
  EXPECT_EQ(first->state(), URLSessionTaskState::Running);
  ASSERT_TRUE(recorder.waitFor(1));
  EXPECT_EQ(first->state(), URLSessionTaskState::Completed);

  first->resume();
  first->cancel();
  drain(delegateQueue);
  EXPECT_EQ(recorder.outcomes().size(), 1u);
  EXPECT_FALSE(recorder.outcomes()[0].error);
}

TEST_F(URLSessionFixture, CancelWhileRunningDeliversCancelledOnceAndNothingLater) {
  server.on("/slow", Response::text(200, "late", 300ms));
  auto task = send(requestFor("slow"));
  ASSERT_TRUE(server.waitForRequests(1, 5s));

  task->cancel();
  task->cancel();
  EXPECT_NE(task->state(), URLSessionTaskState::Running);
  Outcome outcome = recorder.first();
  EXPECT_EQ(errorCode(outcome), kURLErrorCancelled);
  EXPECT_FALSE(outcome.response);
  EXPECT_TRUE(outcome.onDelegateQueue);
  EXPECT_EQ(task->state(), URLSessionTaskState::Completed);

  // Past the server's answer: nothing else may arrive.
  std::this_thread::sleep_for(400ms);
  session.reset();
  drain(delegateQueue);
  EXPECT_EQ(recorder.outcomes().size(), 1u);
}

TEST_F(URLSessionFixture, CancelBeforeResumeCompletesWithoutSending) {
  auto task = session->dataTask(requestFor("never"), recorder.completion());
  task->cancel();
  Outcome outcome = recorder.first();
  EXPECT_EQ(errorCode(outcome), kURLErrorCancelled);
  EXPECT_TRUE(outcome.onDelegateQueue);

  task->resume();
  drain(delegateQueue);
  EXPECT_EQ(recorder.outcomes().size(), 1u);
  EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
  EXPECT_TRUE(server.requests().empty());
}

// Cancels racing with completions from another thread: whichever wins, each
// task completes exactly once.
TEST_F(URLSessionFixture, CancelRacingCompletionStillCompletesOnce) {
  server.on("/fast", Response::text(200, "ok"));
  constexpr int kTasks = 50;
  std::vector<URLSessionDataTaskPtr> tasks;
  for (int i = 0; i < kTasks; ++i) tasks.push_back(session->dataTask(requestFor("fast"), recorder.completion(i)));

  std::thread canceller([&] {
    for (auto& task : tasks) task->cancel();
  });
  for (auto& task : tasks) task->resume();
  canceller.join();

  ASSERT_TRUE(recorder.waitFor(kTasks));
  session.reset();
  drain(delegateQueue);
  auto outcomes = recorder.outcomes();
  ASSERT_EQ(outcomes.size(), static_cast<std::size_t>(kTasks));
  std::set<int> tags;
  for (const auto& outcome : outcomes) {
    tags.insert(outcome.tag);
    if (outcome.error) {
      EXPECT_EQ(outcome.error->code(), kURLErrorCancelled);
    } else {
      EXPECT_EQ(outcome.body, "ok");
    }
  }
  EXPECT_EQ(tags.size(), static_cast<std::size_t>(kTasks));
}

TEST_F(URLSessionFixture, ManyConcurrentRequestsAllCompleteInParallel) {
  constexpr int kTasks = 50;
  // No answer goes out before every request has arrived: requests sent one
  // after the other would wait for ever, whatever the machine's speed.
  Response held = Response::text(200, "each");
  held.sendableBytes = [this] {
    return server.requests().size() >= static_cast<std::size_t>(kTasks) ? std::string_view("each").size() : 0;
  };
  server.on("/many/", held, Match::Prefix);

  for (int i = 0; i < kTasks; ++i) send(requestFor("many/" + std::to_string(i)), i);
  ASSERT_TRUE(recorder.waitFor(kTasks, 60s));

  std::set<int> tags;
  for (const auto& outcome : recorder.outcomes()) {
    EXPECT_FALSE(outcome.error) << outcome.tag;
    EXPECT_EQ(outcome.body, "each");
    EXPECT_TRUE(outcome.onDelegateQueue);
    tags.insert(outcome.tag);
  }
  EXPECT_EQ(tags.size(), static_cast<std::size_t>(kTasks));
  EXPECT_EQ(server.requests().size(), static_cast<std::size_t>(kTasks));
}

TEST_F(URLSessionFixture, DestroyingTheSessionCancelsWhatIsInFlight) {
  server.on("/slow", Response::text(200, "late", 2s));
  constexpr int kTasks = 3;
  std::vector<URLSessionDataTaskPtr> tasks;
  for (int i = 0; i < kTasks; ++i) tasks.push_back(send(requestFor("slow"), i));
  auto suspended = session->dataTask(requestFor("slow"), recorder.completion(kTasks));
  ASSERT_TRUE(server.waitForRequests(kTasks, 5s));

  auto start = std::chrono::steady_clock::now();
  session.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);

  ASSERT_TRUE(recorder.waitFor(kTasks));
  suspended->resume();
  ASSERT_TRUE(recorder.waitFor(kTasks + 1));
  for (const auto& outcome : recorder.outcomes()) EXPECT_EQ(errorCode(outcome), kURLErrorCancelled) << outcome.tag;
  for (const auto& task : tasks) EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
}

TEST_F(URLSessionFixture, SessionMayBeDestroyedFromItsOwnCompletion) {
  server.on("/q", Response::text(200, "ok"));
  DispatchSemaphore destroyed;
  auto* owned = session.release();
  owned->dataTask(requestFor("q"), [owned, &destroyed](Bytes, std::optional<HTTPURLResponse>, std::optional<Error>) {
    delete owned;
    destroyed.signal();
  })->resume();
  EXPECT_TRUE(destroyed.wait(5.0));
}

TEST_F(URLSessionFixture, CompletionHoldingItsTaskIsReleasedAfterItRan) {
  server.on("/q", Response::text(200, "ok"));
  auto witness = std::make_shared<int>(0);
  std::weak_ptr<int> watched = witness;
  DispatchSemaphore ran;
  auto task = session->dataTask(requestFor("q"), [witness, &ran](Bytes, std::optional<HTTPURLResponse>, std::optional<Error>) {
    ran.signal();
  });
  witness.reset();
  task->resume();
  ASSERT_TRUE(ran.wait(5.0));
  drain(delegateQueue);
  EXPECT_TRUE(watched.expired());
}

}  // namespace
}  // namespace plexora::platform
