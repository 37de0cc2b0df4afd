#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>

#include "util/RuntimeTestSupport.h"
#include "util/qnv/dash/QNVDashManifestFixtures.h"
#include "util/qnv/dash/QNVMediaPresentationDescription.h"

namespace plexora {
namespace {

using testing::adaptationSet;
using testing::mpdDocument;
using testing::RuntimeLogCapture;
using testing::segmentBaseRepresentation;
using testing::segmentTemplateRepresentation;
using testing::timelineOf;

const std::optional<platform::URL> kMpdUrl = platform::URL::parse("http://h.test/vod/manifest.mpd?sig=1");

std::shared_ptr<const QNVMediaPresentationDescription> parse(const std::string& xml, uint32_t fromEnd = 100,
                                                             bool vp9 = false,
                                                             std::optional<platform::Error>* error = nullptr,
                                                             const std::optional<platform::URL>& url = kMpdUrl) {
  return QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(xml, url, fromEnd, vp9, error);
}

std::string urlText(const std::optional<platform::URL>& url) { return url ? url->absoluteString() : "(none)"; }

TEST(QNVMediaPresentationDescription, SegmentBaseManifestReadsEveryField) {
  const std::string xml = mpdDocument(
      adaptationSet(segmentBaseRepresentation("720", "video/mp4", 720, 1280, 800000, "video/v720.mp4") +
                        segmentBaseRepresentation("360", "video/mp4", 640, 360, 300000, "https://cdn.test/v360.mp4"),
                    "OVProjection=\"equirect\"") +
          adaptationSet("<Accessibility schemeIdUri=\"urn:first\"/><Accessibility schemeIdUri=\"urn:last\"/>" +
                        std::string("<Representation id=\"a\" mimeType=\"audio/mp4\" bandwidth=\"64000\">"
                                    "<AudioChannelConfiguration schemeIdUri=\"urn:other\" value=\"2\"/>"
                                    "<AudioChannelConfiguration schemeIdUri=\"") +
                        kQNVSpatialAudioChannelLayoutScheme +
                        "\" value=\"ambisonic\"/><BaseURL>a.mp4</BaseURL>"
                        "<SegmentBase indexRange=\"700-799\"><Initialization range=\"0-699\"/></SegmentBase>"
                        "</Representation>"),
      "type=\"static\" mediaPresentationDuration=\"PT1M2.5S\" publishFrameTime=\"1700000000123\" "
      "availabilityEndTime=\"2023-11-14T22:13:20Z\"");
  const auto mpd = parse(xml);
  ASSERT_TRUE(mpd);
  EXPECT_FALSE(mpd->isDynamic());
  EXPECT_TRUE(mpd->isFragmented());
  EXPECT_EQ(mpd->videoType(), kQNVDashVideoTypeFragmented);
  EXPECT_EQ(mpd->durationMS(), 62500U);
  EXPECT_EQ(mpd->publishFrameTimeMS(), 1700000000123.0);
  EXPECT_EQ(mpd->availabilityEndTime(), 1700000000.0);
  EXPECT_EQ(mpd->mpdAccessibilityDescription(), "urn:last");
  ASSERT_EQ(mpd->videoTracks().size(), 2U);
  ASSERT_EQ(mpd->audioTracks().size(), 1U);

  const QNVDashTrackMetadata& portrait = mpd->videoTracks()[0];
  EXPECT_EQ(portrait.representationId(), "720");
  EXPECT_EQ(portrait.width(), 1280U);
  EXPECT_EQ(portrait.height(), 720U);
  EXPECT_EQ(portrait.bandwidth(), 800000U);
  EXPECT_EQ(portrait.qualityLabel(), "720p");
  EXPECT_EQ(portrait.codecs(), "avc1.64001f");
  EXPECT_EQ(portrait.projection(), "equirect");
  EXPECT_EQ(urlText(portrait.initializationUrl()), "http://h.test/vod/video/v720.mp4");
  EXPECT_EQ(portrait.indexRange(), (QNVByteRange{800, 200}));
  EXPECT_EQ(portrait.initializationRange(), (QNVByteRange{0, 800}));
  EXPECT_FALSE(portrait.timelineEntries());
  EXPECT_EQ(portrait.timelineTimescale(), 0U);
  EXPECT_FALSE(portrait.encodedInitData());
  EXPECT_EQ(urlText(mpd->videoTracks()[1].initializationUrl()), "https://cdn.test/v360.mp4");

  const QNVDashTrackMetadata& audio = mpd->audioTracks()[0];
  EXPECT_EQ(audio.audioChannelConfiguration(), "ambisonic");
  EXPECT_EQ(audio.projection(), "");
  EXPECT_EQ(audio.indexRange(), (QNVByteRange{700, 100}));
}

TEST(QNVMediaPresentationDescription, LiveTemplateKeepsTheLastEntries) {
  const struct {
    uint32_t fromEnd;
    size_t kept;
    uint64_t firstTime;
  } cases[] = {{3, 3, 14000}, {0, 1, 18000}, {1, 1, 18000}, {10, 10, 0}, {50, 10, 0}};
  const std::string xml =
      mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 500000, timelineOf(0, 2000, 10))),
                  "type=\"dynamic\"");
  for (const auto& c : cases) {
    const auto mpd = parse(xml, c.fromEnd);
    ASSERT_TRUE(mpd);
    const auto& entries = *mpd->videoTracks()[0].timelineEntries();
    ASSERT_EQ(entries.size(), c.kept) << c.fromEnd;
    EXPECT_EQ(entries.front().time(), c.firstTime);
    EXPECT_EQ(entries.back().time(), 18000U);
  }
}

TEST(QNVMediaPresentationDescription, StaticTemplateKeepsEveryEntry) {
  const std::string xml =
      mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 500000, timelineOf(0, 2000, 10))));
  for (const uint32_t fromEnd : {0U, 3U}) {
    const auto mpd = parse(xml, fromEnd);
    ASSERT_TRUE(mpd);
    const auto& entries = *mpd->videoTracks()[0].timelineEntries();
    ASSERT_EQ(entries.size(), 10U) << fromEnd;
    EXPECT_EQ(entries.front().time(), 0U);
  }
}

TEST(QNVMediaPresentationDescription, TemplateUrlsComeFromTheManifestDirectoryOrBaseUrl) {
  const std::string timeline = "<S t=\"9000\" d=\"2000\"/><S t=\"1700000000000\" d=\"2000\"/>";
  const std::string xml =
      mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 500000, timeline,
                                                              "<OVInitializationBinary>AAAA</OVInitializationBinary>") +
                                segmentTemplateRepresentation("v2", "video/mp4", 900000, timeline,
                                                              "<BaseURL>v2/</BaseURL>", "seg-$Time$.m4s?part=$Time$") +
                                segmentTemplateRepresentation(
                                    "v3", "video/mp4", 900000, timeline,
                                    "<OVRepresentationMPDURL>http://r.test/x/rep.mpd</OVRepresentationMPDURL>")),
                  "type=\"dynamic\"");
  const auto mpd = parse(xml);
  ASSERT_TRUE(mpd);
  ASSERT_EQ(mpd->videoTracks().size(), 3U);
  EXPECT_EQ(mpd->videoType(), kQNVDashVideoTypeLive);
  EXPECT_TRUE(mpd->isDynamic());
  EXPECT_FALSE(mpd->isFragmented());

  const auto& v1 = mpd->videoTracks()[0];
  EXPECT_EQ(urlText(v1.initializationUrl()), "http://h.test/vod/init-v1.mp4");
  EXPECT_EQ(v1.timelineTimescale(), 1000U);
  EXPECT_EQ(v1.encodedInitData(), "AAAA");
  EXPECT_EQ(v1.indexRange(), kQNVByteRangeNotGiven);
  EXPECT_EQ(v1.initializationRange().length, static_cast<uint64_t>(std::numeric_limits<int64_t>::max()));
  const auto& entries = *v1.timelineEntries();
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_EQ(urlText(entries[0].mediaUrl()), "http://h.test/vod/seg-9000.m4s");
  // An epoch-based time keeps all its bits.
  EXPECT_EQ(entries[1].time(), 1700000000000ULL);
  EXPECT_EQ(urlText(entries[1].mediaUrl()), "http://h.test/vod/seg-1700000000000.m4s");

  const auto& v2 = mpd->videoTracks()[1];
  EXPECT_EQ(urlText((*v2.timelineEntries())[0].mediaUrl()), "http://h.test/vod/v2/seg-9000.m4s?part=9000");
  EXPECT_EQ(v2.encodedInitData(), "");

  const auto& v3 = mpd->videoTracks()[2];
  EXPECT_EQ(urlText(v3.mpdUrl()), "http://r.test/x/rep.mpd");
  EXPECT_EQ(urlText((*v3.timelineEntries())[0].mediaUrl()), "http://r.test/x/seg-9000.m4s");
}

TEST(QNVMediaPresentationDescription, TemplateWithoutAnyBaseBuildsNoUrls) {
  RuntimeLogCapture log;
  const auto mpd =
      parse(mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 1, timelineOf(0, 1000, 2)))), 10,
            false, nullptr, std::nullopt);
  ASSERT_TRUE(mpd);
  EXPECT_FALSE(mpd->videoTracks()[0].initializationUrl());
  EXPECT_FALSE((*mpd->videoTracks()[0].timelineEntries())[0].mediaUrl());
  EXPECT_TRUE(log.contains("cannot construct segmented URLs from nil base URL"));
}

TEST(QNVMediaPresentationDescription, RepresentationsAreFiledByMimeTypeAndShape) {
  RuntimeLogCapture log;
  const std::string xml =
      mpdDocument(adaptationSet("<Representation id=\"none\" mimeType=\"video/mp4\"/>" +
                                segmentBaseRepresentation("webm", "video/webm", 640, 360, 1, "w.webm") +
                                segmentBaseRepresentation("text", "text/vtt", 0, 0, 1, "t.vtt") +
                                segmentTemplateRepresentation("live", "video/mp4", 1, timelineOf(0, 1, 1))));
  const auto without = parse(xml);
  ASSERT_TRUE(without);
  ASSERT_EQ(without->videoTracks().size(), 1U);
  EXPECT_EQ(without->videoTracks()[0].representationId(), "live");
  EXPECT_EQ(without->videoType(), kQNVDashVideoTypeLive);
  // The type of the last one read, fragmented or not.
  EXPECT_TRUE(without->isFragmented());
  EXPECT_TRUE(log.contains("Unrecognized MPD type"));
  EXPECT_TRUE(log.contains("webm mime type ignored because not yet supported"));
  EXPECT_TRUE(log.contains("Unrecognized mime type: text/vtt"));
  EXPECT_TRUE(log.contains("Video type switch"));

  const auto with = parse(xml, 100, true);
  ASSERT_TRUE(with);
  ASSERT_EQ(with->videoTracks().size(), 2U);
  EXPECT_EQ(with->videoTracks()[0].representationId(), "webm");
}

TEST(QNVMediaPresentationDescription, MissingAndHostileNumbersReadAsZeroOrClamped) {
  const std::string xml = mpdDocument(
      adaptationSet("<Representation mimeType=\"video/mp4\" width=\"NaN\" height=\"-5\" bandwidth=\"1e30\">"
                    "<SegmentTemplate initialization=\"i.mp4\" media=\"$Time$.m4s\"><SegmentTimeline>"
                    "<S t=\"9223372036854775000\" d=\"807\"/></SegmentTimeline></SegmentTemplate>"
                    "</Representation>"),
      "publishFrameTime=\"-1\" mediaPresentationDuration=\"garbage\" availabilityEndTime=\"soon\"");
  const auto mpd = parse(xml);
  ASSERT_TRUE(mpd);
  const auto& track = mpd->videoTracks()[0];
  EXPECT_EQ(track.representationId(), "");
  EXPECT_EQ(track.width(), 0U);
  EXPECT_EQ(track.height(), 0U);
  EXPECT_EQ(track.bandwidth(), std::numeric_limits<uint32_t>::max());
  EXPECT_EQ(track.timelineTimescale(), 0U);
  // The latest segment a timeline holds, ending exactly at its limit.
  const auto& entries = *track.timelineEntries();
  ASSERT_EQ(entries.size(), 1U);
  EXPECT_EQ(entries[0].time(), 9223372036854775000ULL);
  EXPECT_EQ(urlText(entries[0].mediaUrl()), "http://h.test/vod/9223372036854775000.m4s");
  EXPECT_EQ(mpd->publishFrameTimeMS(), 0.0);
  EXPECT_EQ(mpd->durationMS(), 0U);
  EXPECT_FALSE(mpd->availabilityEndTime());
  EXPECT_FALSE(mpd->mpdAccessibilityDescription());
}

TEST(QNVMediaPresentationDescription, SegmentsWithoutATimeStartWhereTheOneBeforeEnded) {
  // As most packagers write it: @t on the first S and after a gap.
  const std::string timeline =
      "<S t=\" 09000 \" d=\"2000\"/><S d=\"2000\"/><S d=\"1000\"/><S t=\"20000\" d=\"2000\"/><S d=\"2000\"/>";
  const std::string xml =
      mpdDocument(adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1, timeline) +
                                segmentTemplateRepresentation("w", "video/mp4", 1, "<S d=\"500\"/><S d=\"500\"/>")),
                  "type=\"dynamic\"");
  const struct {
    uint32_t fromEnd;
    std::vector<uint64_t> times;
  } cases[] = {{100, {9000, 11000, 13000, 20000, 22000}}, {2, {20000, 22000}}, {1, {22000}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fromEnd);
    const auto mpd = parse(xml, c.fromEnd);
    ASSERT_TRUE(mpd);
    const auto& entries = *mpd->videoTracks()[0].timelineEntries();
    ASSERT_EQ(entries.size(), c.times.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].time(), c.times[i]);
      // The URL names the same time, in plain digits.
      EXPECT_EQ(urlText(entries[i].mediaUrl()), "http://h.test/vod/seg-" + std::to_string(c.times[i]) + ".m4s");
    }
  }
  // A first S without @t starts at 0.
  const auto mpd = parse(xml);
  ASSERT_TRUE(mpd);
  const auto& fromZero = *mpd->videoTracks()[1].timelineEntries();
  ASSERT_EQ(fromZero.size(), 2U);
  EXPECT_EQ(urlText(fromZero[0].mediaUrl()), "http://h.test/vod/seg-0.m4s");
  EXPECT_EQ(urlText(fromZero[1].mediaUrl()), "http://h.test/vod/seg-500.m4s");
}

TEST(QNVMediaPresentationDescription, AdaptationSetAttributesHoldForItsRepresentations) {
  const std::string segments = "<SegmentTemplate initialization=\"i.mp4\" media=\"$Time$.m4s\"><SegmentTimeline>" +
                               timelineOf(0, 1000, 1) + "</SegmentTimeline></SegmentTemplate>";
  const std::string xml = mpdDocument(
      adaptationSet("<Representation id=\"bare\" bandwidth=\"1\">" + segments +
                        "</Representation><Representation id=\"own\" bandwidth=\"1\" codecs=\"avc1.42c01e\" "
                        "width=\"320\" height=\"180\">" +
                        segments + "</Representation>",
                    "mimeType=\"video/mp4\" codecs=\"avc1.64001f\" width=\"1280\" height=\"720\" frameRate=\"30\"") +
      adaptationSet("<Representation id=\"sound\" bandwidth=\"1\" codecs=\"mp4a.40.2\">" + segments +
                        "</Representation>",
                    "mimeType=\"audio/mp4\""));
  const auto mpd = parse(xml);
  ASSERT_TRUE(mpd);
  ASSERT_EQ(mpd->videoTracks().size(), 2U);
  const auto& inherited = mpd->videoTracks()[0];
  EXPECT_EQ(inherited.representationId(), "bare");
  EXPECT_EQ(inherited.mimeType(), "video/mp4");
  EXPECT_EQ(inherited.codecs(), "avc1.64001f");
  EXPECT_EQ(inherited.width(), 1280U);
  EXPECT_EQ(inherited.height(), 720U);
  // A Representation's own attributes win over its set's.
  const auto& overriding = mpd->videoTracks()[1];
  EXPECT_EQ(overriding.codecs(), "avc1.42c01e");
  EXPECT_EQ(overriding.width(), 320U);
  EXPECT_EQ(overriding.height(), 180U);
  // Nothing leaks from one set into the next.
  ASSERT_EQ(mpd->audioTracks().size(), 1U);
  EXPECT_EQ(mpd->audioTracks()[0].width(), 0U);
  EXPECT_EQ(mpd->audioTracks()[0].codecs(), "mp4a.40.2");
}

TEST(QNVMediaPresentationDescription, InlineInitializationDataStandsInForTheInitializationUrl) {
  const auto mpd = parse(mpdDocument(adaptationSet(
      "<Representation id=\"v\" mimeType=\"video/mp4\" bandwidth=\"1\"><OVInitializationBinary>AAAA"
      "</OVInitializationBinary><SegmentTemplate media=\"$Time$.m4s\"><SegmentTimeline><S t=\"0\" d=\"1\"/>"
      "</SegmentTimeline></SegmentTemplate></Representation>")));
  ASSERT_TRUE(mpd);
  EXPECT_EQ(mpd->videoTracks()[0].encodedInitData(), "AAAA");
  EXPECT_FALSE(mpd->videoTracks()[0].initializationUrl());
}

TEST(QNVMediaPresentationDescription, DraftAndMissingNamespacesReadAsDash) {
  const std::string representation = segmentTemplateRepresentation("v", "video/mp4", 1, timelineOf(0, 1000, 2));
  const std::string prefixed =
      "<d:MPD xmlns:d=\"urn:mpeg:DASH:schema:MPD:2011\" xmlns:x=\"urn:other\" type=\"dynamic\"><d:Period>"
      "<d:AdaptationSet><d:Representation id=\"v\" mimeType=\"video/mp4\" bandwidth=\"1\"><x:Note/>"
      "<d:SegmentTemplate initialization=\"i.mp4\" media=\"$Time$.m4s\"><d:SegmentTimeline><d:S t=\"0\" d=\"1000\"/>"
      "<d:S d=\"1000\"/></d:SegmentTimeline></d:SegmentTemplate></d:Representation></d:AdaptationSet></d:Period>"
      "</d:MPD>";
  const struct {
    const char* name;
    std::string xml;
  } cases[] = {
      {"draft", "<MPD xmlns=\"urn:mpeg:DASH:schema:MPD:2011\" type=\"dynamic\"><Period><AdaptationSet>" +
                    representation + "</AdaptationSet></Period></MPD>"},
      {"none", "<MPD type=\"dynamic\"><Period><AdaptationSet>" + representation + "</AdaptationSet></Period></MPD>"},
      {"draft, prefixed", prefixed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto mpd = parse(c.xml);
    ASSERT_TRUE(mpd);
    EXPECT_TRUE(mpd->isDynamic());
    ASSERT_EQ(mpd->videoTracks().size(), 1U);
    EXPECT_EQ(mpd->videoTracks()[0].timelineEntries()->size(), 2U);
    // What the reader refuses in the DASH namespace it refuses here too.
    std::string repeated = c.xml;
    repeated.insert(repeated.find("d=\"1000\""), "r=\"3\" ");
    std::optional<platform::Error> error;
    EXPECT_FALSE(parse(repeated, 100, false, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), kQNVMpdErrorUnsupportedAddressing);
  }
}

TEST(QNVMediaPresentationDescription, RefusedManifests) {
  const std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE MPD [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;\">]>"
      "<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\"><Period><AdaptationSet><Representation id=\"v\" "
      "mimeType=\"video/mp4\"><BaseURL>&f;</BaseURL><SegmentBase indexRange=\"1-2\"/></Representation>"
      "</AdaptationSet></Period></MPD>";
  const std::string external =
      "<?xml version=\"1.0\"?><!DOCTYPE MPD [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
      "<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\"><Period><AdaptationSet><Representation id=\"v\" "
      "mimeType=\"video/mp4\"><BaseURL>&x;</BaseURL><SegmentBase indexRange=\"1-2\"/></Representation>"
      "</AdaptationSet></Period></MPD>";
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  const std::string hugeAttribute =
      mpdDocument(adaptationSet("<Representation id=\"" + std::string(100 * 1024 * 1024, 'x') + "\"/>"));
  const std::string timeline = timelineOf(0, 1000, 2);
  const struct {
    const char* name;
    std::string xml;
    const char* domain;
    int64_t code;
  } cases[] = {
      {"not xml", "this is not a manifest", kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode},
      {"empty", "", kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode},
      {"truncated", mpdDocument("").substr(0, 60), kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode},
      {"deep nesting", "<MPD>" + deep, kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode},
      {"100 MB attribute", hugeAttribute, kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode},
      // libxml2 itself stops the amplification, or the declared type is
      // refused: either way nothing is expanded.
      {"entity expansion", laughs, nullptr, 0},
      {"external entity", external, kQNVMpdErrorDomain, kQNVMpdErrorDocumentTypeDeclared},
      {"$Number$",
       mpdDocument(adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1, timeline, "", "seg-$Number$.m4s"))),
       kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing},
      {"$RepresentationID$",
       mpdDocument(adaptationSet(
           segmentTemplateRepresentation("v", "video/mp4", 1, timeline, "", "$RepresentationID$/$Time$.m4s"))),
       kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing},
      {"S@r",
       mpdDocument(
           adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1, "<S t=\"0\" d=\"1000\" r=\"4\"/>"))),
       kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing},
      // An empty or unreadable count is no number, so not 0 either.
      {"S@r empty",
       mpdDocument(adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1, "<S t=\"0\" d=\"1000\" r=\"\"/>"))),
       kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing},
      {"S@r -1 in the last representation",
       mpdDocument(adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1, timeline) +
                                 segmentTemplateRepresentation("w", "video/mp4", 1, "<S t=\"0\" d=\"1\" r=\"-1\"/>"))),
       kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing},
      {"template outside",
       mpdDocument(adaptationSet("<SegmentTemplate media=\"$Time$.m4s\"/>" +
                                 segmentTemplateRepresentation("v", "video/mp4", 1, timeline))),
       kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing},
      {"template outside, after the representations",
       mpdDocument(adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1, timeline)) +
                   "<AdaptationSet><SegmentTemplate media=\"$Time$.m4s\"/></AdaptationSet>"),
       kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing},
  };
  for (const auto& c : cases) {
    std::optional<platform::Error> error;
    EXPECT_FALSE(parse(c.xml, 100, false, &error)) << c.name;
    ASSERT_TRUE(error) << c.name;
    if (c.domain != nullptr) {
      EXPECT_EQ(error->domain(), c.domain) << c.name;
      EXPECT_EQ(error->code(), c.code) << c.name;
    }
    // Without an error pointer the refusal is the same.
    EXPECT_FALSE(parse(c.xml)) << c.name;
  }
}

TEST(QNVMediaPresentationDescription, RefusalsSayWhatAndWhere) {
  const auto templated = [](const std::string& segmentTemplate) {
    return mpdDocument(adaptationSet("<Representation id=\"v\" mimeType=\"video/mp4\" bandwidth=\"1\">" +
                                     segmentTemplate + "</Representation>"));
  };
  const auto timed = [&](const std::string& segments) {
    return templated("<SegmentTemplate initialization=\"i.mp4\" media=\"$Time$.m4s\"><SegmentTimeline>" + segments +
                     "</SegmentTimeline></SegmentTemplate>");
  };
  const std::string malformedTime = "SegmentTimeline S with a @t that is no decimal integer: S in Representation "
                                    "id=\"v\", line 2";
  const std::string period = "<Period>" + adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1,
                                                                                     timelineOf(0, 1000, 1))) +
                             "</Period>";
  const struct {
    const char* name;
    std::string xml;
    int64_t code;
    std::string description;
  } cases[] = {
      {"segment list",
       mpdDocument(adaptationSet("<Representation id=\"l\" mimeType=\"video/mp4\">\n<SegmentList duration=\"2\">"
                                 "<SegmentURL media=\"s0.m4s\"/></SegmentList></Representation>")),
       kQNVMpdErrorUnsupportedAddressing, "SegmentList addressing is not read: SegmentList in Representation id=\"l\", "
                                          "line 3"},
      {"several periods",
       "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\">\n" + period + "\n<Period id=\"p2\"/>"
       "</MPD>",
       kQNVMpdErrorSeveralPeriods, "Manifest with more than one Period: Period id=\"p2\", line 4"},
      {"no representation", mpdDocument(""), kQNVMpdErrorNoPlayableRepresentation,
       "No playable Representation: the manifest lists none"},
      {"none playable",
       mpdDocument(adaptationSet("<Representation id=\"x\" mimeType=\"video/mp4\"/>" +
                                 segmentBaseRepresentation("cc", "text/vtt", 0, 0, 1, "t.vtt"))),
       kQNVMpdErrorNoPlayableRepresentation,
       "No playable Representation: Representation id=\"x\", line 2: no SegmentBase or SegmentTemplate (and 1 more)"},
      {"webm not enabled", mpdDocument(adaptationSet(segmentBaseRepresentation("w", "video/webm", 1, 1, 1, "w.webm"))),
       kQNVMpdErrorNoPlayableRepresentation,
       "No playable Representation: Representation id=\"w\", line 2: video/webm is not enabled"},
      {"no initialization",
       templated("<SegmentTemplate media=\"$Time$.m4s\"><SegmentTimeline><S t=\"0\" d=\"1\"/></SegmentTimeline>"
                 "</SegmentTemplate>"),
       kQNVMpdErrorIncompleteTemplate,
       "SegmentTemplate without @initialization or inline initialization data: SegmentTemplate in Representation "
       "id=\"v\", line 2"},
      {"media without $Time$",
       templated("<SegmentTemplate initialization=\"i.mp4\" media=\"seg.m4s\"><SegmentTimeline><S t=\"0\" d=\"1\"/>"
                 "<S d=\"1\"/></SegmentTimeline></SegmentTemplate>"),
       kQNVMpdErrorIncompleteTemplate,
       "SegmentTemplate without a @media naming $Time$: SegmentTemplate in Representation id=\"v\", line 2"},
      {"t 1.5e3", timed("<S t=\"1.5e3\" d=\"1\"/>"), kQNVMpdErrorMalformedTimeline, malformedTime},
      {"t abc", timed("<S t=\"0\" d=\"1\"/><S t=\"abc\" d=\"1\"/>"), kQNVMpdErrorMalformedTimeline, malformedTime},
      {"t -1", timed("<S t=\"-1\" d=\"1\"/>"), kQNVMpdErrorMalformedTimeline, malformedTime},
      {"t empty", timed("<S t=\"\" d=\"1\"/>"), kQNVMpdErrorMalformedTimeline, malformedTime},
      {"t 0x10", timed("<S t=\"0x10\" d=\"1\"/>"), kQNVMpdErrorMalformedTimeline, malformedTime},
      {"t 1 000", timed("<S t=\"1 000\" d=\"1\"/>"), kQNVMpdErrorMalformedTimeline, malformedTime},
      {"t 2^63", timed("<S t=\"9223372036854775808\" d=\"1\"/>"), kQNVMpdErrorMalformedTimeline, malformedTime},
      {"d missing", timed("<S t=\"0\"/>"), kQNVMpdErrorMalformedTimeline,
       "SegmentTimeline S without a @d that is a decimal integer: S in Representation id=\"v\", line 2"},
      {"d Infinity", timed("<S t=\"0\" d=\"Infinity\"/>"), kQNVMpdErrorMalformedTimeline,
       "SegmentTimeline S without a @d that is a decimal integer: S in Representation id=\"v\", line 2"},
      {"end beyond the largest time", timed("<S t=\"9223372036854775000\" d=\"808\"/>"), kQNVMpdErrorMalformedTimeline,
       "SegmentTimeline S ending beyond the largest time: S in Representation id=\"v\", line 2"},
      {"not an MPD", "<html/>", kQNVMpdErrorNotDash, "Manifest root is no MPD of the DASH namespace: html, line 1"},
      {"foreign namespace", "<MPD xmlns=\"urn:other\"><Period/></MPD>", kQNVMpdErrorNotDash,
       "Manifest root is no MPD of the DASH namespace: MPD, line 1"},
      {"repeat count",
       mpdDocument(adaptationSet(segmentTemplateRepresentation("v", "video/mp4", 1, timelineOf(0, 1, 1)) +
                                 segmentTemplateRepresentation("w", "video/mp4", 1, "<S t=\"0\" d=\"1\" r=\"-1\"/>"))),
       kQNVMpdErrorUnsupportedAddressing, "SegmentTimeline S with a repeat count: S in Representation id=\"w\", line 2"},
      {"template outside",
       mpdDocument(adaptationSet("<SegmentTemplate media=\"$Time$.m4s\"/>", "id=\"video\"")),
       kQNVMpdErrorUnsupportedAddressing,
       "SegmentTemplate outside its Representation: SegmentTemplate in AdaptationSet id=\"video\", line 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<platform::Error> error;
    EXPECT_FALSE(parse(c.xml, 100, false, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), kQNVMpdErrorDomain);
    EXPECT_EQ(error->code(), c.code);
    EXPECT_EQ(error->localizedDescription(), c.description);
  }
}

TEST(QNVMediaPresentationDescription, ParseErrorCarriesTheXmlError) {
  std::optional<platform::Error> error;
  ASSERT_FALSE(parse("<MPD><oops></MPD>", 1, false, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedDescription(), kQNVXmlParserErrorDescription);
  const platform::Value* details = error->userInfo().find(kQNVXmlErrorKey);
  ASSERT_NE(details, nullptr);
  EXPECT_NE(details->asDictionary().find("message"), nullptr);
  const platform::Value* where = error->userInfo().find(kQNVMpdErrorPlaceKey);
  ASSERT_NE(where, nullptr);
  EXPECT_EQ(where->asString().rfind("line 1, column ", 0), 0U) << where->asString();
}

TEST(QNVMediaPresentationDescription, RepeatCountZeroIsNoRepeat) {
  for (const char* count : {"0", " 0 ", "0.0", "-0"}) {
    const auto mpd = parse(mpdDocument(adaptationSet(segmentTemplateRepresentation(
        "v", "video/mp4", 1, std::string("<S t=\"0\" d=\"1000\" r=\"") + count + "\"/>"))));
    ASSERT_TRUE(mpd) << count;
    EXPECT_EQ(mpd->videoTracks()[0].timelineEntries()->size(), 1U) << count;
  }
}

}  // namespace
}  // namespace plexora

namespace plexora {
namespace {

TEST(QNVMediaPresentationDescription, SizeBeyondLibxmlIntIsRefusedBeforeReading) {
  // The view claims more bytes than it holds: the size alone must refuse it,
  // before anything is read or narrowed to libxml2's int.
  const std::string small = "<MPD/>";
  const std::string_view huge(small.data(), static_cast<size_t>(INT_MAX) + 1);
  std::optional<platform::Error> error;
  EXPECT_FALSE(QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(huge, std::nullopt, 1, false,
                                                                                         &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), kQNVMpdErrorDomain);
  EXPECT_EQ(error->code(), kQNVMpdErrorTooLarge);
}

}  // namespace
}  // namespace plexora

namespace plexora {
namespace {

TEST(QNVMediaPresentationDescription, HostileBytesLeaveStandardErrorAlone) {
  // Bytes its declared encoding cannot convert.
  const std::string bytes = std::string("<?xml version=\"1.0\" encoding=\"SHIFT_JIS\"?><MPD>\x81") +
                            std::string(2, '\0') + "\x03</MPD>";
  ::testing::internal::CaptureStderr();
  std::optional<platform::Error> error;
  EXPECT_FALSE(QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(bytes, std::nullopt, 1, false,
                                                                                         &error));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(error);
}

}  // namespace
}  // namespace plexora
