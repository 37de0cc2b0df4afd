// What the ad server's tests share: a started server with the process-wide
// settings reset around it, a blocking HTTP client on the platform session,
// and the library's parser run over an answer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bytes.h"
#include "platform/net/URLSession.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdProviderResponseParser.h"
#include "testserver/adserver/AdServer.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora::testing {

struct Reply {
  std::optional<long> status;  // none: no HTTP answer at all
  std::string body;
  std::chrono::steady_clock::duration elapsed{};
};

// What the parser made of an answer: a response, or the message its error
// handler got.
struct ParseOutcome {
  std::shared_ptr<OVAdProviderResponse> response;
  std::optional<std::string> error;
};

inline ParseOutcome parse(std::string_view body) {
  ParseOutcome outcome;
  const platform::ByteView bytes = platform::asBytes(body);
  OVAdProviderResponseParser().parseResponseFromData(
      bytes, [&](std::shared_ptr<OVAdProviderResponse> response) { outcome.response = std::move(response); },
      [&](const std::string& message) { outcome.error = message; });
  return outcome;
}

class AdServerTest : public ::testing::Test {
 protected:
  AdServerTest() { server_.start(); }
  // Definitions with local cookies leave their installation on the main
  // queue: it runs here, not in a later test.
  ~AdServerTest() override { platform::DispatchQueue::settle(); }

  Reply send(platform::URLRequest request) {
    std::promise<Reply> done;
    const auto started = std::chrono::steady_clock::now();
    session_
        .dataTask(std::move(request),
                  [&done, started](platform::Bytes data, std::optional<platform::HTTPURLResponse> response,
                                   std::optional<platform::Error>) {
                    Reply reply;
                    if (response) reply.status = response->statusCode;
                    reply.body.assign(data.begin(), data.end());
                    reply.elapsed = std::chrono::steady_clock::now() - started;
                    done.set_value(std::move(reply));
                  })
        ->resume();
    return done.get_future().get();
  }

  // A POST of `parameters` (a dictionary) form-encoded, as the library sends
  // its loads.
  Reply post(const std::string& url, const platform::Dictionary& parameters) {
    platform::URLRequest request(url);
    request.httpMethod = "POST";
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.setBody(OVAdUtility::createQueryStringFromParameters(platform::Value(parameters)));
    return send(std::move(request));
  }

  Reply get(const std::string& url) { return send(platform::URLRequest(url)); }

  Reply load(const std::string& placementID) {
    return post(server_.adURL(), platform::Dictionary{{"PLACEMENT_ID", placementID}, {"TEMPLATE_ID", "4"}});
  }

  SettingsTestEnvironment environment_;
  testserver::AdServer server_;
  platform::URLSession session_;
};

}  // namespace plexora::testing
