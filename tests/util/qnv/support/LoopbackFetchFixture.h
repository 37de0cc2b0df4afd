// What the engine's network tests share: the loopback test server, the
// library's URL session and fetcher over it, the manual clock, and waits on
// the media-state queue, where the engine does its work.
//
// Thread safety: the test's thread; the waits drain the media-state queue.
// Ownership: the fixture owns the server, the session and the fetcher.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "server/OVAdURLSession.h"
#include "testserver/TestServer.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora::testing {

// Real downloads on a loaded machine: generous.
inline constexpr auto kRemoteWait = std::chrono::seconds(60);

// Waits in real time, the media-state queue drained on each round.
template <typename Condition>
bool waitUntil(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + kRemoteWait;
  for (;;) {
    QNVMediaStateQueue()->sync([] {});
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

template <typename Work>
void onQueue(Work work) {
  QNVMediaStateQueue()->sync([&] { work(); });
}

class LoopbackFetchFixture : public ::testing::Test {
 protected:
  // The session's requests carry `userAgent`.
  explicit LoopbackFetchFixture(std::string userAgent) {
    server_.start();
    session_ = OVAdURLSession::create([userAgent = std::move(userAgent)](auto answer) { answer(userAgent); });
    clock_->advance(OVAdURLSession::kUserAgentPollInterval);
    fetcher_ = OVAdResourceLoader::create(session_);
  }
  ~LoopbackFetchFixture() override { QNVMediaStateQueue()->sync([] {}); }

  void SetUp() override { ASSERT_TRUE(waitUntil([this] { return session_->valid(); })); }

  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
  testserver::TestServer server_;
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<OVAdResourceLoader> fetcher_;
};

}  // namespace plexora::testing
