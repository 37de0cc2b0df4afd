// Each error and warning code of the DASH asset, reached from the loopback
// server: a crafted manifest, init segment or media segment, a server fault
// or a seek; and what the asset's owner is told: the stop notice or the
// warning with its domain, code and details, and whether the load failed,
// only playback failed, or nothing failed at all.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "testserver/RangeFile.h"
#include "util/qnv/dash/DashAssetUnitFixture.h"
#include "util/qnv/dash/DashMediaBytes.h"
#include "util/qnv/dash/DashPlayerFixture.h"
#include "util/qnv/dash/QNVDashPlaylistLoader.h"
#include "util/qnv/dash/QNVMediaPresentationDescription.h"
#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"

namespace plexora::testing {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
constexpr int64_t kBadServerResponse = -1011;
constexpr int64_t kZeroByteResource = -1014;
// The data loader's answer to inline init data without a byte in it.
constexpr int64_t kEmptyInlineInitCode = 560;
// Both shapes: 2 s of video at 30 frames a second, one-second segments.
constexpr uint32_t kVideoFrames = 60;
constexpr uint64_t kSegmentTicks = 15360;

// One file of a shape as the server answers it. A held file answers its
// bytes from `holdFrom` on only once the load has completed, so that what
// it does wrong reaches an asset whose headers are parsed.
struct ServedFile {
  Bytes bytes;
  testserver::RangeFault fault = testserver::RangeFault::kNone;
  std::optional<size_t> holdFrom;
};
using ServedFiles = std::map<std::string, ServedFile>;

enum class Outcome {
  // The pending load ends with the loading error that wraps the cause.
  kLoadFails,
  // The load succeeded; playback then stops.
  kPlaybackFails,
  // A warning; neither the load nor playback fails.
  kWarningOnly,
};

struct CodeCase {
  const char* name;
  const char* shape;
  std::function<void(ServedFiles&)> craft;
  std::function<void(QNVDashAssetConfig&)> configure;
  Outcome outcome;
  // The error posted with the stop notice or the warning.
  const char* domain;
  int64_t code;
  // Its details; checked whole when `exactDetails`, else entry by entry.
  platform::Dictionary details;
  bool exactDetails;
  // Once loaded, the files are answered this way and the asset seeks here.
  std::function<void(ServedFiles&)> craftBeforeSeek;
  int64_t seekToMs;
};

void PrintTo(const CodeCase& c, std::ostream* out) { *out << c.name; }

// ---- Surgery on the test media.

// Applies `damage` to each named file that the shape has.
void damageEach(ServedFiles& files, std::initializer_list<const char*> names,
                const std::function<void(Bytes&)>& damage) {
  for (const char* name : names) {
    auto found = files.find(name);
    ASSERT_NE(found, files.end()) << name;
    damage(found->second.bytes);
  }
}

// Both video representations, so the damage is met whichever one plays.
void damageTemplateVideoInit(ServedFiles& files, const std::function<void(Bytes&)>& damage) {
  damageEach(files, {"init-0.m4s", "init-1.m4s"}, damage);
}
void damageTemplateSecondVideoSegment(ServedFiles& files, const std::function<void(Bytes&)>& damage) {
  damageEach(files, {"seg-0-15360.m4s", "seg-1-15360.m4s"}, damage);
  for (const char* name : {"seg-0-15360.m4s", "seg-1-15360.m4s"}) files[name].holdFrom = 0;
}
void damageBaseVideo(ServedFiles& files, const std::function<void(Bytes&)>& damage) {
  damageEach(files, {"rep-0.mp4", "rep-1.mp4"}, damage);
}

void breakChildSize(Bytes& bytes, const char* type, int occurrence = 0) {
  writeU32(bytes, findBox(bytes, type, occurrence), 0xFFFFFF00);
}

void writeU64(Bytes& bytes, size_t at, uint64_t value) {
  writeU32(bytes, at, static_cast<uint32_t>(value >> 32));
  writeU32(bytes, at + 4, static_cast<uint32_t>(value));
}

// The fragment's base decode time (a version-1 box: 64 bits).
void setBaseDecodeTime(Bytes& bytes, uint64_t time) {
  const size_t tfdt = findBox(bytes, "tfdt");
  ASSERT_EQ(bytes[tfdt + 8], 1) << "a 64-bit decode time";
  writeU64(bytes, tfdt + 12, time);
}

void setSequenceNumber(Bytes& bytes, uint32_t number) { writeU32(bytes, findBox(bytes, "mfhd") + 12, number); }

// Marks the run's first sample as not a sync sample (the run carries a data
// offset and first-sample flags).
void makeFirstSampleNonSync(Bytes& bytes) {
  const size_t trun = findBox(bytes, "trun");
  ASSERT_EQ(bytes[trun + 11] & 0x05, 0x05) << "data offset and first-sample flags present";
  writeU32(bytes, trun + 20, 0x01010000);
}

// The codec configuration without a sequence parameter set.
void dropSequenceParameterSets(Bytes& bytes) {
  const size_t avcC = findBox(bytes, "avcC");
  ASSERT_EQ(bytes[avcC + 13] & 0x1F, 1) << "one sequence parameter set";
  bytes[avcC + 13] = 0xE0;
}

void rewriteHandler(Bytes& bytes, const std::string& handler) {
  const size_t hdlr = findBox(bytes, "hdlr");
  std::copy(handler.begin(), handler.end(), bytes.begin() + static_cast<std::ptrdiff_t>(hdlr + 16));
}

std::string text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }
Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Replaces every `from` in the manifest.
void rewriteManifest(ServedFiles& files, const std::string& from, const std::string& to) {
  std::string manifest = text(files.at("manifest.mpd").bytes);
  size_t at = manifest.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  for (; at != std::string::npos; at = manifest.find(from, at + to.size())) manifest.replace(at, from.size(), to);
  files.at("manifest.mpd").bytes = bytesOf(manifest);
}

void removeAudio(ServedFiles& files) {
  std::string manifest = text(files.at("manifest.mpd").bytes);
  const size_t start = manifest.find("<AdaptationSet id=\"1\" contentType=\"audio\"");
  ASSERT_NE(start, std::string::npos);
  const std::string end = "</AdaptationSet>";
  manifest.erase(start, manifest.find(end, start) + end.size() - start);
  files.at("manifest.mpd").bytes = bytesOf(manifest);
}

void serveAllFailing(ServedFiles& files) {
  for (auto& [name, file] : files) file.fault = testserver::RangeFault::kServerError;
}

void failOnFailedMoofParse(QNVDashAssetConfig& config) { config.shouldFailOnFailedMoofParse = true; }
void checkHeadersAtDownloadComplete(QNVDashAssetConfig& config) {
  config.shouldCheckAllHeadersParsedAtDownloadComplete = true;
}
// Half a second at the nominal rate: the first request's size.
void failOnUnparsedMoofsOfTheFirstSegment(QNVDashAssetConfig& config) {
  config.shouldFailOnUnparsedMoofs = true;
  config.firstFetchSizeInSeconds = 0.5;
}

const platform::Dictionary kNoDetails{};

const CodeCase kCases[] = {
    // ---- Failures before both tracks have headers: the load fails.
    {"InitSegmentNotFound", "template",
     [](ServedFiles& f) {
       f.at("init-0.m4s").fault = testserver::RangeFault::kNotFound;
       f.at("init-1.m4s").fault = testserver::RangeFault::kNotFound;
     },
     nullptr, Outcome::kLoadFails, kURLErrorDomain, kBadServerResponse, kNoDetails, false, nullptr, 0},
    {"ManifestNotXml", "template", [](ServedFiles& f) { f.at("manifest.mpd").bytes = bytesOf("not a manifest"); },
     nullptr, Outcome::kLoadFails, "NSXMLParserErrorDomain", 55892, kNoDetails, false, nullptr, 0},
    // The fetcher refuses an empty answer before the manifest is read.
    {"EmptyManifest", "template", [](ServedFiles& f) { f.at("manifest.mpd").bytes.clear(); }, nullptr,
     Outcome::kLoadFails, kURLErrorDomain, kZeroByteResource, kNoDetails, false, nullptr, 0},
    {"ManifestWithoutAddressing", "template",
     [](ServedFiles& f) {
       rewriteManifest(f, "<SegmentTemplate", "<Unknown");
       rewriteManifest(f, "</SegmentTemplate>", "</Unknown>");
     },
     nullptr, Outcome::kLoadFails, kQNVMpdErrorDomain, kQNVMpdErrorNoPlayableRepresentation, kNoDetails, false,
     nullptr, 0},
    {"MovieHeaderDamaged", "template",
     [](ServedFiles& f) { damageTemplateVideoInit(f, [](Bytes& b) { breakChildSize(b, "mvhd"); }); }, nullptr,
     Outcome::kLoadFails, kQNVAssetLoadingError, kQNVAssetLoadingErrorParseFailed, kNoDetails, true, nullptr, 0},
    {"SegmentIndexDamaged", "base",
     [](ServedFiles& f) { damageBaseVideo(f, [](Bytes& b) { writeU32(b, findBox(b, "sidx"), 12); }); }, nullptr,
     Outcome::kLoadFails, kQNVAssetLoadingError, kQNVAssetLoadingErrorParseFailed, kNoDetails, true, nullptr, 0},
    {"InitSegmentCutShortCheckedAtCompletion", "template",
     [](ServedFiles& f) {
       f.at("init-0.m4s").fault = testserver::RangeFault::kTruncated;
       f.at("init-1.m4s").fault = testserver::RangeFault::kTruncated;
     },
     checkHeadersAtDownloadComplete, Outcome::kLoadFails, kQNVAssetLoadingError, kQNVAssetLoadingErrorParseFailed,
     kNoDetails, true, nullptr, 0},
    {"NoVideoTrack", "template",
     [](ServedFiles& f) { damageTemplateVideoInit(f, [](Bytes& b) { rewriteHandler(b, "text"); }); }, nullptr,
     Outcome::kLoadFails, kQNVAssetLoadingError, kQNVAssetLoadingErrorNoVideoTrack, kNoDetails, true, nullptr, 0},
    {"VideoFormatUnusable", "template", [](ServedFiles& f) { damageTemplateVideoInit(f, dropSequenceParameterSets); },
     nullptr, Outcome::kLoadFails, kQNVAssetLoadingError, kQNVAssetLoadingErrorCompactionFailed, kNoDetails, true,
     nullptr, 0},
    {"InlineInitWithoutABase64Byte", "template",
     [](ServedFiles& f) {
       rewriteManifest(f, "<SegmentTemplate timescale=\"15360\"",
                       "<OVInitializationBinary>!*!</OVInitializationBinary><SegmentTemplate timescale=\"15360\"");
     },
     nullptr, Outcome::kLoadFails, kQNVAssetLoadingError, kEmptyInlineInitCode, kNoDetails, true, nullptr, 0},

    // ---- Failures once both tracks have headers: only playback fails.
    {"MediaSegmentNotFound", "template",
     [](ServedFiles& f) {
       damageTemplateSecondVideoSegment(f, [](Bytes&) {});
       f.at("seg-0-15360.m4s").fault = testserver::RangeFault::kNotFound;
       f.at("seg-1-15360.m4s").fault = testserver::RangeFault::kNotFound;
     },
     nullptr, Outcome::kPlaybackFails, kURLErrorDomain, kBadServerResponse, kNoDetails, false, nullptr, 0},
    {"FragmentHeaderDamaged", "template",
     [](ServedFiles& f) { damageTemplateSecondVideoSegment(f, [](Bytes& b) { breakChildSize(b, "mfhd"); }); },
     failOnFailedMoofParse, Outcome::kPlaybackFails, kQNVAssetLoadingError, kQNVAssetLoadingErrorUnparsedMoofs,
     kNoDetails, true, nullptr, 0},
    {"DownloadCompletedWithTooFewFragments", "base",
     [](ServedFiles& f) {
       // Video alone: the request that brings the headers completes the
       // load before its fragments are counted. Its nominal rate makes the
       // first request, sized by rate before the segment index is known, end
       // where the second segment starts.
       removeAudio(f);
       const Bytes& video = f.at("rep-0.mp4").bytes;
       const size_t initLength = findBox(video, "moof");
       const size_t rate = (findBox(video, "moof", 1) - initLength) * 8 * 2;
       rewriteManifest(f, "bandwidth=\"300000\"", "bandwidth=\"" + std::to_string(rate) + "\"");
       damageBaseVideo(f, [](Bytes& b) { breakChildSize(b, "mfhd"); });
     },
     failOnUnparsedMoofsOfTheFirstSegment, Outcome::kPlaybackFails, kQNVAssetLoadingError,
     kQNVAssetLoadingErrorUnparsedMoofs, kNoDetails, true, nullptr, 0},
    {"SeekIntoAServerFault", "base", nullptr, nullptr, Outcome::kPlaybackFails, kURLErrorDomain, kBadServerResponse,
     kNoDetails, false, serveAllFailing, 1500},

    // ---- Warnings: posted, nothing fails.
    {"FragmentAfterAGap", "template",
     [](ServedFiles& f) {
       damageTemplateSecondVideoSegment(f, [](Bytes& b) { setBaseDecodeTime(b, kSegmentTicks + 3000); });
     },
     nullptr, Outcome::kWarningOnly, kQNVMp4ParserErrorDomain, kQNVMp4FragmentDiscontinuity,
     platform::Dictionary{{"tag", "track:0"}, {"seqnum", 2}, {"delta", 3000}}, true, nullptr, 0},
    {"FragmentOverlappingThePrevious", "template",
     [](ServedFiles& f) { damageTemplateSecondVideoSegment(f, [](Bytes& b) { setBaseDecodeTime(b, 0); }); }, nullptr,
     Outcome::kWarningOnly, kQNVMp4ParserErrorDomain, kQNVMp4FragmentOverlap,
     platform::Dictionary{{"tag", "track:0"}, {"seqnum", 2}, {"delta", kSegmentTicks}}, true, nullptr, 0},
    // After a gap in the sequence numbers the decode time goes back before
    // the last frame, or lands inside its duration.
    {"FragmentAfterASequenceGapGoingBack", "template",
     [](ServedFiles& f) {
       damageTemplateSecondVideoSegment(f, [](Bytes& b) {
         setSequenceNumber(b, 5);
         setBaseDecodeTime(b, 0);
       });
     },
     nullptr, Outcome::kWarningOnly, kQNVMp4ParserErrorDomain, kQNVMp4FragmentTimeWentBack,
     platform::Dictionary{{"tag", "track:0"}, {"seqnum", 5}}, true, nullptr, 0},
    {"FragmentAfterASequenceGapInsideTheLastFrame", "template",
     [](ServedFiles& f) {
       damageTemplateSecondVideoSegment(f, [](Bytes& b) {
         setSequenceNumber(b, 5);
         setBaseDecodeTime(b, kSegmentTicks - 100);
       });
     },
     nullptr, Outcome::kWarningOnly, kQNVMp4ParserErrorDomain, kQNVMp4FragmentPriorDurationTooLong,
     platform::Dictionary{{"tag", "track:0"}, {"seqnum", 5}}, true, nullptr, 0},
    {"FragmentWithoutLeadingKeyframe", "template",
     [](ServedFiles& f) { damageTemplateSecondVideoSegment(f, makeFirstSampleNonSync); }, nullptr,
     Outcome::kWarningOnly, kQNVMp4ParserErrorDomain, kQNVMp4FragmentNoLeadingKeyframe,
     platform::Dictionary{{"tag", "track:0"}, {"seqnum", 2}}, true, nullptr, 0},
    // A host that stored the segment cut short: its last frames never come,
    // and the segments behind it would be read in their place, so playback
    // fails whether or not the asset is set to fail on unparsed fragments.
    {"MediaSegmentCutShort", "template",
     [](ServedFiles& f) {
       damageTemplateSecondVideoSegment(f, [](Bytes&) {});
       f.at("seg-0-15360.m4s").fault = testserver::RangeFault::kTruncated;
       f.at("seg-1-15360.m4s").fault = testserver::RangeFault::kTruncated;
     },
     nullptr, Outcome::kPlaybackFails, kQNVAssetLoadingError, kQNVAssetLoadingErrorUnparsedMoofs, kNoDetails, true,
     nullptr, 0},
    {"MediaSegmentCutShortFailing", "template",
     [](ServedFiles& f) {
       damageTemplateSecondVideoSegment(f, [](Bytes&) {});
       f.at("seg-0-15360.m4s").fault = testserver::RangeFault::kTruncated;
       f.at("seg-1-15360.m4s").fault = testserver::RangeFault::kTruncated;
     },
     [](QNVDashAssetConfig& config) { config.shouldFailOnUnparsedMoofs = true; }, Outcome::kPlaybackFails,
     kQNVAssetLoadingError, kQNVAssetLoadingErrorUnparsedMoofs, kNoDetails, true, nullptr, 0},
    {"TwoAudioRepresentations", "template",
     [](ServedFiles& f) {
       const std::string audio = "<Representation id=\"2\" mimeType=\"audio/mp4\"";
       std::string manifest = text(f.at("manifest.mpd").bytes);
       const size_t start = manifest.find(audio);
       const size_t end = manifest.find("</Representation>", start) + std::string("</Representation>").size();
       std::string second = manifest.substr(start, end - start);
       second.replace(second.find("id=\"2\""), 6, "id=\"3\"");
       manifest.insert(end, second);
       f.at("manifest.mpd").bytes = bytesOf(manifest);
     },
     nullptr, Outcome::kWarningOnly, kQNVDashPlaylistLoaderDomain, kQNVDashWarningMultipleAudioTracks, kNoDetails,
     true, nullptr, 0},
};

class QNVDashAssetErrorCodesTest : public DashPlayerFixture, public ::testing::WithParamInterface<CodeCase> {
 protected:
  QNVDashAssetErrorCodesTest() : DashPlayerFixture("dash-error-codes") {}
  ~QNVDashAssetErrorCodesTest() override {
    // Nothing may stay held once the test is over.
    for (auto& [name, gate] : gates_) gate->store(std::numeric_limits<size_t>::max());
    onQueue([this] {
      stops_.reset();
      warnings_.reset();
    });
  }

  ServedFiles shapeFiles(const std::string& shape) {
    ServedFiles files;
    for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
      files[entry.path().filename().string()].bytes = readDashMedia(shape + "/" + entry.path().filename().string());
    }
    return files;
  }

  void serveFiles(const std::string& shape, const ServedFiles& files) {
    for (const auto& [name, file] : files) {
      testserver::RangeFileOptions options;
      options.fault = file.fault;
      if (file.holdFrom) {
        auto& gate = gates_[name];
        gate = std::make_shared<std::atomic<size_t>>(*file.holdFrom);
        options.releasedUpTo = gate;
      }
      server_.on("/dash/" + shape + "/" + name,
                 testserver::serveRangeFile(std::make_shared<const std::string>(text(file.bytes)), options));
    }
  }

  // Makes the asset with the owner's observers in place, loads it and
  // answers how often the load handler ran.
  int load(const std::string& shape, const QNVDashAssetConfig& config) {
    const auto manifest = platform::URL::parse(server_.url("/dash/" + shape + "/manifest.mpd"));
    asset_ = QNVDashAsset::initWithConfig(config, "", manifest, nullptr);
    asset_->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::global(), std::string("dash-video"),
                                          std::nullopt, std::nullopt);
    onQueue([this] {
      stops_ = std::make_unique<NotificationRecorder>(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
      warnings_ = std::make_unique<NotificationRecorder>(kQNVAssetWarning, asset_.get());
    });
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [calls = loadCalls_] { calls->fetch_add(1); });
    EXPECT_TRUE(waitUntil([&] { return loadCalls_->load() > 0; }));
    for (auto& [name, gate] : gates_) gate->store(std::numeric_limits<size_t>::max());
    return loadCalls_->load();
  }

  // The errors posted under the key, in order; read on the queue.
  static std::vector<platform::Error> postedErrors(const NotificationRecorder& recorder, const char* key) {
    std::vector<platform::Error> errors;
    for (const auto& notification : recorder.received) {
      const platform::Value* value = notification.userInfo.find(key);
      EXPECT_NE(value, nullptr) << "a notice without its error";
      if (value == nullptr) continue;
      if (auto error = QNVErrorFromValue(*value)) errors.push_back(*error);
    }
    return errors;
  }

  // What was posted, for a failure's message.
  static std::string postedText(const NotificationRecorder& recorder, const char* key) {
    std::string posted;
    onQueue([&] {
      for (const auto& error : postedErrors(recorder, key)) {
        posted += error.domain() + " " + std::to_string(error.code()) + "; ";
      }
    });
    return posted;
  }

  // Waits until an error of the row's domain and code is posted under the
  // key; answers it.
  std::optional<platform::Error> waitForPosted(const CodeCase& c, bool stop) {
    const NotificationRecorder& recorder = stop ? *stops_ : *warnings_;
    const char* key = stop ? kAVPlayerItemFailedToPlayToEndTimeErrorKey : kQNVAssetWarningErrorKey;
    std::optional<platform::Error> found;
    waitUntil([&] {
      onQueue([&] {
        for (const auto& error : postedErrors(recorder, key)) {
          if (error.domain() == c.domain && error.code() == c.code) found = error;
        }
      });
      return found.has_value();
    });
    return found;
  }

  static void expectDetails(const CodeCase& c, const platform::Dictionary& details) {
    if (c.exactDetails) {
      EXPECT_EQ(details, c.details);
      return;
    }
    for (const auto& [key, value] : c.details) {
      const platform::Value* found = details.find(key);
      ASSERT_NE(found, nullptr) << key;
      EXPECT_EQ(*found, value) << key;
    }
  }

  // How often the load handler ran.
  std::shared_ptr<std::atomic<int>> loadCalls_ = std::make_shared<std::atomic<int>>(0);
  std::map<std::string, std::shared_ptr<std::atomic<size_t>>> gates_;
  std::unique_ptr<NotificationRecorder> stops_;
  std::unique_ptr<NotificationRecorder> warnings_;
};

TEST_P(QNVDashAssetErrorCodesTest, TheOwnerIsToldAsTheCodeSays) {
  const CodeCase& c = GetParam();
  ServedFiles files = shapeFiles(c.shape);
  if (c.craft) c.craft(files);
  serveFiles(c.shape, files);
  QNVDashAssetConfig config = playbackConfig();
  if (c.configure) c.configure(config);

  ASSERT_EQ(load(c.shape, config), 1);

  if (c.craftBeforeSeek) {
    // The whole stream is in, the highest video quality and the audio,
    // before the server turns: only the seek can meet the fault.
    const uint64_t wholeStream = files.at("rep-0.mp4").bytes.size() + files.at("rep-2.mp4").bytes.size();
    ASSERT_TRUE(waitUntil([&] {
      bool done = false;
      onQueue([&] {
        done = asset_->receivedBytesCount() == wholeStream &&
               !asset_->downloadTrackerForTrack(kQNVVideoTrack)->fetchInProgress() &&
               !asset_->downloadTrackerForTrack(kQNVAudioTrack)->fetchInProgress();
      });
      return done;
    }));
    onQueue([&] { ASSERT_TRUE(stops_->received.empty()); });
    c.craftBeforeSeek(files);
    serveFiles(c.shape, files);
    bool sought = false;
    onQueue([&] { sought = asset_->seekToPosition(platform::MediaTime::make(c.seekToMs, 1000)); });
    ASSERT_TRUE(sought);
  }

  if (c.outcome == Outcome::kLoadFails) {
    const std::optional<platform::Error> stop = waitForPosted(c, true);
    ASSERT_TRUE(stop) << "stop notices: " << postedText(*stops_, kAVPlayerItemFailedToPlayToEndTimeErrorKey);
    expectDetails(c, stop->userInfo());
    onQueue([&] {
      EXPECT_EQ(asset_->status(), kQNVAssetStatusFailed);
      std::optional<platform::Error> loading;
      ASSERT_EQ(asset_->statusOfValueForKey("duration", &loading), kQNVKeyValueStatusFailed);
      ASSERT_TRUE(loading);
      EXPECT_EQ(loading->domain(), kQNVAssetLoadingError);
      EXPECT_EQ(loading->code(), kQNVAssetLoadingErrorDownloadFailed);
      const platform::Value* causeCode = loading->userInfo().find("code");
      const platform::Value* causeDomain = loading->userInfo().find("domain");
      ASSERT_NE(causeCode, nullptr);
      ASSERT_NE(causeDomain, nullptr);
      EXPECT_EQ(causeCode->asInteger(), c.code);
      EXPECT_EQ(causeDomain->asString(), c.domain);
      // The cause's own details travel with it.
      for (const auto& [key, value] : stop->userInfo()) EXPECT_NE(loading->userInfo().find(key), nullptr) << key;
    });
    EXPECT_EQ(loadCalls_->load(), 1) << "a later error must not end the load again";
    return;
  }

  // The load itself succeeded, whatever comes after it.
  onQueue([&] {
    std::optional<platform::Error> loading;
    EXPECT_EQ(asset_->statusOfValueForKey("duration", &loading), kQNVKeyValueStatusLoaded);
    EXPECT_FALSE(loading) << "cause " << loading->userInfo().find("domain")->asString() << " "
                          << loading->userInfo().find("code")->asInteger();
  });

  if (c.outcome == Outcome::kPlaybackFails) {
    const std::optional<platform::Error> stop = waitForPosted(c, true);
    ASSERT_TRUE(stop) << "stop notices: " << postedText(*stops_, kAVPlayerItemFailedToPlayToEndTimeErrorKey);
    expectDetails(c, stop->userInfo());
    onQueue([&] {
      EXPECT_EQ(asset_->status(), kQNVAssetStatusFailed);
      EXPECT_TRUE(asset_->hasPlaybackFailed());
      ASSERT_TRUE(asset_->error());
      EXPECT_EQ(asset_->error()->code(), c.code);
      std::optional<platform::Error> loading;
      EXPECT_EQ(asset_->statusOfValueForKey("duration", &loading), kQNVKeyValueStatusLoaded);
      EXPECT_FALSE(loading) << "a failure after loading is no loading error";
    });
    EXPECT_EQ(loadCalls_->load(), 1);
    return;
  }

  const std::optional<platform::Error> warning = waitForPosted(c, false);
  ASSERT_TRUE(warning) << "warnings: " << postedText(*warnings_, kQNVAssetWarningErrorKey);
  expectDetails(c, warning->userInfo());
  // Every video frame is in: the stream went on past the warning.
  EXPECT_TRUE(waitUntil([&] {
    bool parsed = false;
    onQueue([&] { parsed = QNVDashAssetTestAccess(*asset_).frames(kQNVVideoTrack).frameCount() >= kVideoFrames; });
    return parsed;
  }));
  onQueue([&] {
    EXPECT_TRUE(stops_->received.empty());
    EXPECT_EQ(asset_->status(), kQNVAssetStatusReadyToPlay);
    EXPECT_FALSE(asset_->error());
  });
}

INSTANTIATE_TEST_SUITE_P(Codes, QNVDashAssetErrorCodesTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plexora::testing
