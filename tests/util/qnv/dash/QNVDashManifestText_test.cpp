#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/qnv/dash/QNVDashManifestText.h"

namespace plexora {
namespace {

TEST(QNVDashManifestText, DurationsReadTheTimePartOnly) {
  const struct {
    const char* text;
    uint32_t milliseconds;
  } cases[] = {
      {"PT1H2M3.5S", 3723500},
      {"PT0.25S", 250},
      {"P1DT2S", 2000},
      {"PT", 0},
      {"P2D", 0},
      {"PTS", 0},
      {"T5S", 0},
      {"PT10", 0},
      {"PT2M10", 120000},
      {"", 0},
      // Far beyond 32 bits of milliseconds: clamped, never wrapped.
      {"PT99999999999H", std::numeric_limits<uint32_t>::max()},
  };
  for (const auto& c : cases) EXPECT_EQ(QNVDurationMSFromISO8601(c.text), c.milliseconds) << c.text;
}

TEST(QNVDashManifestText, RangesFromFirstAndLast) {
  const struct {
    const char* text;
    QNVByteRange range;
    const char* assertion;  // the soft assertion a malformed range raises
  } cases[] = {
      {"100-199", {100, 100}, nullptr},
      {"5-5", {5, 1}, nullptr},
      {"9-3", {9, 1}, "location > endLocation"},
      {"12", {0, 0}, "Unexpected range string"},
      {"1-2-3", {1, 2}, "Unexpected range string"},
      {"", {0, 0}, "Unexpected range string"},
  };
  for (const auto& c : cases) {
    testing::QNVExpectedSoftAssertions expected;
    EXPECT_EQ(QNVRangeFromStartToEndString(c.text), c.range) << c.text;
    EXPECT_EQ(expected.reasons(), c.assertion ? std::vector<std::string>{c.assertion} : std::vector<std::string>{})
        << c.text;
  }
}

TEST(QNVDashManifestText, XPathNumbersNeverReachAnUndefinedConversion) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(QNVInt64FromXPathNumber(nan), 0);
  EXPECT_EQ(QNVInt64FromXPathNumber(inf), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(QNVInt64FromXPathNumber(-inf), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(QNVInt64FromXPathNumber(9.3e18), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(QNVInt64FromXPathNumber(-7.9), -7);
  EXPECT_EQ(QNVUInt32FromXPathNumber(5e9), std::numeric_limits<uint32_t>::max());
  EXPECT_EQ(QNVUInt32FromXPathNumber(-3), 0U);
  EXPECT_EQ(QNVUInt32FromXPathNumber(nan), 0U);
  EXPECT_EQ(QNVTimeFromXPathNumber(5e9), 5000000000ULL);
  EXPECT_EQ(QNVTimeFromXPathNumber(1e30), static_cast<uint64_t>(std::numeric_limits<int64_t>::max()));
}

TEST(QNVDashManifestText, DatesWithZoneOrOffset) {
  EXPECT_EQ(QNVDateFromManifestText("1970-01-02T00:00:00Z"), 86400.0);
  EXPECT_EQ(QNVDateFromManifestText("1970-01-02T01:00:00+01:00"), 86400.0);
  EXPECT_EQ(QNVDateFromManifestText("1970-01-01T23:00:00-01:00"), 86400.0);
  EXPECT_FALSE(QNVDateFromManifestText("1970-01-02T00:00:00"));
  EXPECT_FALSE(QNVDateFromManifestText("1970-13-02T00:00:00Z"));
  EXPECT_FALSE(QNVDateFromManifestText("yesterday"));
}

TEST(QNVDashManifestText, SuffixesJoinTheBasePath) {
  const auto base = platform::URL::parse("http://h.test/live/?token=1");
  const struct {
    const char* suffix;
    const char* url;
  } cases[] = {
      {"seg-9000.m4s", "http://h.test/live/seg-9000.m4s"},
      {"init.mp4?k=2", "http://h.test/live/init.mp4?k=2"},
      {"../up/seg.m4s", "http://h.test/up/seg.m4s"},
      {"http://other.test/a.m4s", "http://other.test/a.m4s"},
  };
  for (const auto& c : cases) {
    const auto url = QNVUrlFromBase(base, c.suffix);
    ASSERT_TRUE(url) << c.suffix;
    EXPECT_EQ(url->absoluteString(), c.url);
  }
  EXPECT_FALSE(QNVUrlFromBase(std::nullopt, "seg.m4s"));
  EXPECT_EQ(QNVUrlFromBase(platform::URL::parse("http://h.test/dir"), "a.m4s")->absoluteString(),
            "http://h.test/dir/a.m4s");
}

TEST(QNVDashManifestText, ReferencesResolveAgainstTheManifest) {
  const auto mpd = platform::URL::parse("http://h.test/vod/manifest.mpd?sig=x");
  EXPECT_EQ(QNVUrlFromReference("video/v1.mp4", mpd)->absoluteString(), "http://h.test/vod/video/v1.mp4");
  EXPECT_EQ(QNVUrlFromReference("/root.mp4", mpd)->absoluteString(), "http://h.test/root.mp4");
  EXPECT_EQ(QNVUrlFromReference("https://cdn.test/v.mp4", mpd)->absoluteString(), "https://cdn.test/v.mp4");
  EXPECT_FALSE(QNVUrlFromReference("v.mp4", std::nullopt));
  EXPECT_FALSE(QNVUrlFromReference("", mpd));
  EXPECT_EQ(QNVDirectoryUrl(*mpd)->absoluteString(), "http://h.test/vod/");
}

}  // namespace
}  // namespace plexora
