// A loopback test server, a session whose completions arrive on a serial
// queue of the test's own, and a recorder for what they deliver.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/net/URLSession.h"
#include "testserver/TestServer.h"
#include "platform/net/CompletionRecorder.h"

namespace plexora::platform {

class URLSessionFixture : public ::testing::Test {
 protected:
  void SetUp() override { server.start(); }

  void makeSession(URLSessionConfiguration configuration) {
    session = std::make_unique<URLSession>(std::move(configuration), delegateQueue);
  }

  URLSessionDataTaskPtr send(URLRequest request, int tag = 0, DataTaskOptions options = {}) {
    auto task = session->dataTask(std::move(request), recorder.completion(tag), options);
    task->resume();
    return task;
  }

  Outcome fetch(URLRequest request, DataTaskOptions options = {}) {
    send(std::move(request), 0, options);
    return recorder.first();
  }

  URLRequest requestFor(std::string_view path) const { return URLRequest(server.url(path)); }

  // Declared first, destroyed last: the session closes its connections
  // before the server waits for them.
  testserver::TestServer server;
  DispatchQueuePtr delegateQueue = DispatchQueue::createSerial("test.urlsession.delegate");
  CompletionRecorder recorder{delegateQueue};
  std::unique_ptr<URLSession> session = std::make_unique<URLSession>(URLSessionConfiguration{}, delegateQueue);
};

inline std::int64_t errorCode(const Outcome& outcome) { return outcome.error ? outcome.error->code() : 0; }

}  // namespace plexora::platform
