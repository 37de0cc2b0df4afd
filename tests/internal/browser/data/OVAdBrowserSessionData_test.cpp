#include "internal/browser/data/OVAdBrowserSessionData.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "internal/browser/BrowserTestSupport.h"

namespace plexora {
namespace {

using OVAdBrowserSessionDataTest = testing::BrowserTest;

class FixedSource final : public OVAdBrowserSessionDataGeneration {
 public:
  std::string inlineClientToken() const override { return "token"; }
  std::optional<platform::URL> url() const override { return link; }
  std::int64_t handlerTimeMs() const override { return 1; }
  std::int64_t loadStartMs() const override { return 2; }
  std::int64_t responseEndMs() const override { return 3; }
  std::int64_t domContentLoadedMs() const override { return 0; }
  std::int64_t scrollReadyMs() const override { return 0; }
  std::int64_t loadFinishMs() const override { return 1700000000123; }
  std::optional<platform::URL> link = platform::URL::parse("https://advertiser.test/a?b=c");
};

TEST_F(OVAdBrowserSessionDataTest, TheEventCarriesEveryTimeAsDecimalTextAndFinishesNow) {
  FixedSource source;
  const OVAdBrowserSessionData data = OVAdLogBrowserSessionData(source);
  EXPECT_EQ(data.sessionFinishMs(), 1700000000000) << "the manual clock's wall time";
  ASSERT_EQ(sessions_->size(), 1u);
  const testing::LoggedSession& session = sessions_->front();
  EXPECT_EQ(session.token, "token");
  EXPECT_EQ(session.data.size(), 8u);
  const std::vector<std::pair<const char*, std::string>> expected{
      {"initial_url", "https://advertiser.test/a?b=c"},
      {"handler_time_ms", "1"},
      {"load_start_ms", "2"},
      {"response_end_ms", "3"},
      {"dom_content_loaded_ms", "0"},
      {"scroll_ready_ms", "0"},
      {"load_finish_ms", "1700000000123"},
      {"session_finish_ms", "1700000000000"},
  };
  for (const auto& [key, value] : expected) {
    EXPECT_EQ(session[key], value) << key;
  }
}

TEST_F(OVAdBrowserSessionDataTest, ASessionWithoutALinkReportsAnEmptyURL) {
  FixedSource source;
  source.link.reset();
  OVAdLogBrowserSessionData(source);
  ASSERT_EQ(sessions_->size(), 1u);
  EXPECT_EQ(sessions_->front()["initial_url"], "");
}

}  // namespace
}  // namespace plexora
