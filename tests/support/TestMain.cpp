#include <gtest/gtest.h>

#include "platform/media/AudioOutputQueue.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The tests listen to what the audio sink played; a host never does.
  plexora::platform::AudioOutputQueue::setRecordsPlayedBuffers(true);
  return RUN_ALL_TESTS();
}
