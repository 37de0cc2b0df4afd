#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "util/qnv/dash/QNVDashManifestText.h"
#include "util/qnv/dash/QNVDashSegmentUrl.h"

namespace plexora {
namespace {

// The URL a template makes for a time, built directly from the texts.
std::optional<std::string> directUrl(const char* base, std::string media, const std::string& time) {
  for (size_t at = media.find("$Time$"); at != std::string::npos; at = media.find("$Time$", at + time.size())) {
    media.replace(at, 6, time);
  }
  const auto url = QNVUrlFromBase(base ? platform::URL::parse(base) : std::nullopt, media);
  return url ? std::optional(url->absoluteString()) : std::nullopt;
}

std::optional<std::string> text(const std::optional<platform::URL>& url) {
  return url ? std::optional(url->absoluteString()) : std::nullopt;
}

// Kept unbuilt or built at once, an address answers what the texts make.
TEST(QNVDashSegmentUrl, AnswersTheUrlTheTemplateMakes) {
  const struct {
    const char* base;
    const char* media;
    const char* time;
  } cases[] = {
      {"http://h.test/vod/", "v1/seg-$Time$.m4s", "1700000000000"},
      {"http://h.test/vod", "/$Time$/$Time$.m4s", "0042"},
      {"http://h.test/vod/", "../up/$Time$.m4s", "9"},
      {"http://h.test/vod/", "seg-$Time$.m4s?part=$Time$", "9000"},
      {"http://h.test/vod/", "http://cdn.test/$Time$.m4s", "7"},
      {"http://h.test/vod/", "seg-$Time$.m4s", "1e3"},
      {"http://h.test/vod/", "seg-$Time$.m4s", ""},
      {"http://h.test/vod/", "seg-$Time$.m4s", "a b"},
      {"http://h.test//vod/", "$Time$/seg.m4s", "5"},
      {"http://h.test/vod/", "%zz$Time$", "5"},
      {nullptr, "seg-$Time$.m4s", "5"},
  };
  for (const auto& c : cases) {
    const auto segmentTemplate = std::make_shared<const QNVDashSegmentTemplate>(
        c.base ? platform::URL::parse(c.base) : std::nullopt, c.media);
    const QNVDashSegmentUrl address(segmentTemplate, c.time);
    const auto expected = directUrl(c.base, c.media, c.time);
    EXPECT_EQ(text(address.url()), expected) << c.media << " at " << c.time;
    EXPECT_EQ(address.hasUrl(), expected.has_value()) << c.media << " at " << c.time;
  }
}

TEST(QNVDashSegmentUrl, EqualWhenTheyMakeTheSameUrl) {
  const auto base = platform::URL::parse("http://h.test/vod/");
  const auto first = std::make_shared<const QNVDashSegmentTemplate>(base, "seg-$Time$.m4s");
  const auto copy = std::make_shared<const QNVDashSegmentTemplate>(base, "seg-$Time$.m4s");
  const auto other = std::make_shared<const QNVDashSegmentTemplate>(base, "other-$Time$.m4s");
  EXPECT_EQ(QNVDashSegmentUrl(first, "10"), QNVDashSegmentUrl(copy, "10"));
  EXPECT_EQ(QNVDashSegmentUrl(first, "10"), QNVDashSegmentUrl(platform::URL::parse("http://h.test/vod/seg-10.m4s")));
  EXPECT_FALSE(QNVDashSegmentUrl(first, "10") == QNVDashSegmentUrl(first, "11"));
  EXPECT_FALSE(QNVDashSegmentUrl(first, "10") == QNVDashSegmentUrl(other, "10"));
  EXPECT_FALSE(QNVDashSegmentUrl(first, "10") == QNVDashSegmentUrl());
}

}  // namespace
}  // namespace plexora
