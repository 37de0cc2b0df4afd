#include "util/OVAdTimeObserver.h"

#include <gtest/gtest.h>

namespace plexora {
namespace {

TEST(OVAdTimeObserverTest, KeepsWhatItWasMadeWith) {
  const MediaTime interval{1, 2, MediaTime::kFlagValid, 0};
  auto queue = platform::DispatchQueue::createSerial("time-observer-test");
  std::vector<MediaTime> seen;
  OVAdTimeObserver observer(interval, queue, [&seen](MediaTime time) { seen.push_back(time); });

  EXPECT_EQ(observer.interval(), interval);
  EXPECT_EQ(observer.queue(), queue);
  observer.block()(interval);
  EXPECT_EQ(seen, std::vector<MediaTime>{interval});

  EXPECT_EQ(observer.downstreamObserver(), nullptr);
  auto token = std::make_shared<int>(7);
  observer.setDownstreamObserver(token);
  EXPECT_EQ(observer.downstreamObserver(), token);
  observer.setDownstreamObserver(nullptr);
  EXPECT_EQ(token.use_count(), 1);
}

TEST(OVAdTimeObserverTest, DefaultsAreAnInvalidIntervalTheMainQueueAndABlockThatDoesNothing) {
  const OVAdTimeObserver observer;
  EXPECT_FALSE(observer.interval().isValid());
  EXPECT_EQ(observer.queue(), platform::DispatchQueue::main());
  observer.block()(MediaTime{});

  const OVAdTimeObserver withoutQueueOrBlock(MediaTime{1, 30, MediaTime::kFlagValid, 0}, nullptr, nullptr);
  EXPECT_EQ(withoutQueueOrBlock.queue(), platform::DispatchQueue::main());
  withoutQueueOrBlock.block()(MediaTime{});
}

}  // namespace
}  // namespace plexora
