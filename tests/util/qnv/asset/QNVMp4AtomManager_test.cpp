// The MP4 atom manager fed a generated file's bytes through its
// distributor: the header parsed from byte 0 whenever more has arrived, the
// tracks and stores it builds, and the seeks it computes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "util/qnv/asset/QNVMp4AtomManager.h"
#include "util/qnv/asset/RemoteMp4Fixture.h"

namespace plexora {
namespace {

using platform::MediaTime;

struct Failures final : QNVAtomManagerDelegate {
  void parsingDidFailWithError(const platform::Error& error) override { codes.push_back(error.code()); }
  void resetDataForSeekBack() override { ++seekBacks; }
  void reportWarning(const platform::Error&) override {}
  std::vector<int64_t> codes;
  int seekBacks = 0;
};

void deliver(QNVAtomManager& manager, const std::string& file, size_t from, size_t to) {
  manager.dataBlockDistributorForTrack(kQNVVideoTrack)
      ->deliverData(std::make_shared<const std::vector<uint8_t>>(file.begin() + static_cast<ptrdiff_t>(from),
                                                                 file.begin() + static_cast<ptrdiff_t>(to)),
                    from);
  manager.parseAtomForTrack(kQNVVideoTrack);
}

class QNVMp4AtomManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<Failures> failures_ = std::make_shared<Failures>();
};

TEST_F(QNVMp4AtomManagerTest, TheHeaderIsParsedFromTheStartOnceItIsWhole) {
  const auto file = testing::fileBytes(testing::testMediaPath("remote_moov_first.mp4"));
  QNVMp4AtomManager manager(0);
  manager.setDelegate(failures_);
  deliver(manager, *file, 0, 40);
  EXPECT_FALSE(manager.parsedHeaders());
  EXPECT_EQ(manager.moovAtomSize(), 4756U) << "learned from the header's box";
  EXPECT_EQ(manager.headerSearchOffset(), 32U);
  EXPECT_EQ(manager.headerBytesNeededEnd(), 32U + 4756U);
  deliver(manager, *file, 40, 3000);
  EXPECT_FALSE(manager.parsedHeaders());
  deliver(manager, *file, 3000, 6000);
  ASSERT_TRUE(manager.parsedHeaders());
  EXPECT_TRUE(failures_->codes.empty());
  EXPECT_NE(manager.formatDesc(), nullptr);
  EXPECT_NEAR(manager.duration().seconds(), 4.0, 0.1);
  EXPECT_NEAR(manager.videoTrackDuration().seconds(), 4.0, 0.1);
  EXPECT_EQ(manager.firstFrameOffset(), 4796U + 8U) << "the media data's first byte";
  EXPECT_FALSE(manager.offsetIsAtLeastLargestOffset(6000, kQNVAudioTrack));
  EXPECT_TRUE(manager.offsetIsAtLeastLargestOffset(file->size(), kQNVAudioTrack));
  EXPECT_FALSE(manager.timeLoadedForOffset(100, kQNVVideoTrack).isValid()) << "before the first frame";

  QNVMp4AtomManager known(5000);
  deliver(known, *file, 0, 40);
  EXPECT_EQ(known.moovAtomSize(), 5000U) << "a size given at creation stays";
}

TEST_F(QNVMp4AtomManagerTest, AudioThatIsNotAacIsLeftOut) {
  const auto file = testing::fileBytes(testing::testMediaPath("mp3.mp4"));
  QNVMp4AtomManager manager(0);
  manager.setDelegate(failures_);
  deliver(manager, *file, 0, file->size());
  ASSERT_TRUE(manager.parsedHeaders());
  EXPECT_TRUE(manager.containsAudio());
  EXPECT_EQ(manager.asbd().formatID, 0U);
  EXPECT_FALSE(manager.trackHasMoreFrames(kQNVAudioTrack, true));
  EXPECT_TRUE(manager.trackHasMoreFrames(kQNVVideoTrack, true));
}

TEST_F(QNVMp4AtomManagerTest, FilesWithoutAPlayableVideoTrackFail) {
  const auto audioOnly = testing::fileBytes(testing::testMediaPath("audio_only.mp4"));
  ASSERT_FALSE(audioOnly->empty());
  QNVMp4AtomManager manager(0);
  manager.setDelegate(failures_);
  deliver(manager, *audioOnly, 0, audioOnly->size());
  EXPECT_FALSE(manager.parsedHeaders());
  EXPECT_EQ(failures_->codes, (std::vector<int64_t>{558}));

  std::string garbage = testing::fileBytes(testing::testMediaPath("remote_moov_first.mp4"))->substr(0, 6000);
  garbage.replace(40, 8, std::string(8, '\xff'));
  QNVMp4AtomManager broken(0);
  auto brokenFailures = std::make_shared<Failures>();
  broken.setDelegate(brokenFailures);
  deliver(broken, garbage, 0, garbage.size());
  deliver(broken, garbage, 0, garbage.size());
  EXPECT_EQ(brokenFailures->codes, (std::vector<int64_t>{556})) << "reported once";
}

TEST_F(QNVMp4AtomManagerTest, SeeksLandOnSyncSamplesAndGoBackThroughAReset) {
  const auto file = testing::fileBytes(testing::testMediaPath("remote_moov_first.mp4"));
  QNVMp4AtomManager manager(0);
  manager.setDelegate(failures_);
  EXPECT_FALSE(manager.seekToPosition(MediaTime::make(1, 1)).seekSucceeded) << "not before the header";
  deliver(manager, *file, 0, file->size());
  ASSERT_TRUE(manager.parsedHeaders());
  for (const MediaTime& time : {MediaTime::indefinite(), MediaTime::invalid(), MediaTime::positiveInfinity()}) {
    EXPECT_FALSE(manager.seekToPosition(time).seekSucceeded);
  }

  const QNVSeekStatus forward = manager.seekToPosition(MediaTime::make(1300, 1000));
  ASSERT_TRUE(forward.seekSucceeded);
  EXPECT_TRUE(forward.seekVideo);
  EXPECT_FALSE(forward.seekAudio);
  EXPECT_NEAR(manager.currentVideoPts().seconds(), 1.0, 1e-3) << "the sync sample before";
  EXPECT_EQ(manager.framesForTrack(kQNVVideoTrack).currentFrameIndex(), 30U);
  EXPECT_LE(forward.videoOffset, manager.currentOffsetForTrack(kQNVVideoTrack));
  EXPECT_EQ(forward.videoOffset,
            std::min(manager.currentOffsetForTrack(kQNVVideoTrack), manager.currentOffsetForTrack(kQNVAudioTrack)));
  EXPECT_EQ(failures_->seekBacks, 0);
  EXPECT_TRUE(manager.shouldResetAssetToBeginning());

  const QNVSeekStatus back = manager.seekToPosition(MediaTime::make(500, 1000));
  ASSERT_TRUE(back.seekSucceeded);
  EXPECT_EQ(failures_->seekBacks, 1);
  EXPECT_EQ(manager.framesForTrack(kQNVVideoTrack).currentFrameIndex(), 15U);

  // The end of the frames due by a time covers both tracks.
  const uint64_t end = manager.offsetForTimeInSeconds(2.0F, kQNVVideoTrack);
  EXPECT_GT(end, forward.videoOffset);
  EXPECT_LE(end, file->size());
  EXPECT_EQ(manager.offsetForTimeInSeconds(100.0F, kQNVVideoTrack),
            std::max(manager.framesForTrack(kQNVVideoTrack).largestOffset(),
                     manager.framesForTrack(kQNVAudioTrack).largestOffset()));
}

}  // namespace
}  // namespace plexora
