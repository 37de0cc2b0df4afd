// Tracker requests through the shared URL session, against a loopback
// server.
#include <gtest/gtest.h>

#include <string>

#include "platform/dispatch/MainLoop.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "testserver/TestServer.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

class OVAdUtilityTrackersTest : public ::testing::Test {
 protected:
  OVAdUtilityTrackersTest() {
    server_.start();
    // The shared session outlives the server: no connection is kept open
    // for the server to wait out when it stops.
    testserver::Response noContent = testserver::Response::text(204, "");
    noContent.headers.emplace_back("Connection", "close");
    server_.on("/", noContent, testserver::Match::Prefix);
    OVAdSettings::setLogLevel(6);
  }

  // The main loop runs meanwhile: the user agent is fetched there.
  bool waitForLogLines(std::size_t count) {
    return platform::MainLoop::instance().runUntil(
        [&] { return environment_.count("<verbose>] Internal request: ") >= count; }, 10.0);
  }

  testing::SettingsTestEnvironment environment_;
  testserver::TestServer server_;
};

TEST_F(OVAdUtilityTrackersTest, ATrackerIsAGetWithTheExtraDataInTheQuery) {
  OVAdUtility::logTracker(server_.url("track?x=1"), Value(Dictionary{{"delay", 120}, {"msg", "no fill"}}));
  ASSERT_TRUE(waitForLogLines(1));

  ASSERT_EQ(server_.requests().size(), 1U);
  const testserver::RecordedRequest request = server_.requests().front();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.path, "/track");
  EXPECT_EQ(request.query, "x=1&delay=120&msg=no+fill");
  EXPECT_NE(request.header("User-Agent").value_or("").find(" [OVPX/PlexoraForiOS;"), std::string::npos);
  EXPECT_EQ(environment_.count("<debug>] HTTP complete, status=204"), 1U);
}

TEST_F(OVAdUtilityTrackersTest, PostDataMakesAFormPostWhoseEntriesWin) {
  OVAdUtility::sendRequestInternal(server_.url("post"), Value(Dictionary{{"a", 1}, {"c", 4}}),
                                   Value(Dictionary{{"b", 2}, {"a", 3}}));
  OVAdUtility::sendRequestInternal(server_.url("empty"), Value(Dictionary{{"a", 1}}), Value(Dictionary{}));
  ASSERT_TRUE(waitForLogLines(2));

  for (const testserver::RecordedRequest& request : server_.requests()) {
    if (request.path == "/post") {
      EXPECT_EQ(request.method, "POST");
      EXPECT_EQ(request.body, "a=3&c=4&b=2");
      EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    } else {
      EXPECT_EQ(request.path, "/empty");
      EXPECT_EQ(request.method, "GET") << "empty post data sends no POST";
      EXPECT_EQ(request.query, "a=1");
    }
  }
  EXPECT_EQ(server_.requests().size(), 2U);
}

TEST_F(OVAdUtilityTrackersTest, NoURLSendsNothing) {
  OVAdUtility::logTracker("", Value(Dictionary{{"a", 1}}));
  OVAdUtility::logTracker(server_.url("after"), Value());
  ASSERT_TRUE(waitForLogLines(1));
  ASSERT_EQ(server_.requests().size(), 1U);
  EXPECT_EQ(server_.requests().front().path, "/after");
}

}  // namespace
}  // namespace plexora
