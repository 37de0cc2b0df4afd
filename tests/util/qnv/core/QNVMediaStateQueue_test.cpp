// The engine's shared state queue, its run-now-or-later helper and the IDR
// test over length-prefixed H.264 samples.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {
namespace {

TEST(QNVMediaStateQueueTest, OneQueueForEveryThreadKnownOnlyInsideItsOwnTasks) {
  std::vector<std::thread> threads;
  std::vector<platform::DispatchQueue*> seen(8);
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = QNVMediaStateQueue().get(); });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::set(seen.begin(), seen.end()).size(), 1U);
  EXPECT_EQ(QNVMediaStateQueue()->label(), "qnv-media-state");

  EXPECT_FALSE(QNVIsOnMediaStateQueue());
  bool inside = false;
  QNVMediaStateQueue()->sync([&] { inside = QNVIsOnMediaStateQueue(); });
  EXPECT_TRUE(inside);
  bool onOther = true;
  platform::DispatchQueue::createSerial("other")->sync([&] { onOther = QNVIsOnMediaStateQueue(); });
  EXPECT_FALSE(onOther);
}

TEST(QNVMediaStateQueueTest, DispatchAsyncIfNeededRunsNowOrQueues) {
  QNVDispatchAsyncIfNeeded(true, QNVMediaStateQueue(), nullptr);  // nothing to run, nothing breaks
  bool ranNow = false;
  QNVDispatchAsyncIfNeeded(false, nullptr, [&] { ranNow = true; });
  EXPECT_TRUE(ranNow);
  std::atomic<bool> ranOnQueue{false};
  QNVDispatchAsyncIfNeeded(true, QNVMediaStateQueue(), [&] { ranOnQueue = QNVIsOnMediaStateQueue(); });
  QNVMediaStateQueue()->sync([] {});
  EXPECT_TRUE(ranOnQueue);
}

std::vector<uint8_t> unit(uint32_t declaredLength, uint8_t header, size_t bodyBytes) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(declaredLength >> 24), static_cast<uint8_t>(declaredLength >> 16),
                             static_cast<uint8_t>(declaredLength >> 8), static_cast<uint8_t>(declaredLength), header};
  bytes.resize(bytes.size() + bodyBytes, 0xab);
  return bytes;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

platform::SampleBuffer sampleOf(const std::vector<uint8_t>& bytes, size_t splitAt = 0) {
  platform::BlockBuffer data;
  if (splitAt == 0 || splitAt >= bytes.size()) {
    data = platform::BlockBuffer::withBytes(bytes);
  } else {
    auto first = std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(splitAt));
    auto second = std::make_shared<const std::vector<uint8_t>>(bytes.begin() + static_cast<ptrdiff_t>(splitAt), bytes.end());
    data.appendBlock(first, 0, first->size());
    data.appendBlock(second, 0, second->size());
  }
  return *platform::SampleBuffer::create(data, {}, 1, {}, {bytes.size()});
}

TEST(QNVMediaStateQueueTest, SampleContainsIDRWalksLengthPrefixedUnits) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"single_idr", unit(3, 0x65, 2), true},
      {"sei_sps_pps_then_idr", concat({unit(4, 0x06, 3), unit(4, 0x67, 3), unit(2, 0x68, 1), unit(3, 0x65, 2)}), true},
      {"non_idr_slices_and_parameter_sets", concat({unit(4, 0x41, 3), unit(4, 0x06, 3), unit(4, 0x67, 3), unit(2, 0x68, 1)}),
       false},
      // A trailing unit with a single byte after its length is not looked at.
      {"trailing_one_byte_idr", concat({unit(2, 0x41, 1), unit(1, 0x65, 0)}), false},
      {"empty", {}, false},
      // A length that would wrap a 32-bit offset back to the first unit.
      {"length_wraps_32_bits", concat({unit(0xfffffffc, 0x41, 3), unit(3, 0x65, 2)}), false},
      {"length_past_the_end", concat({unit(0x7fffffff, 0x41, 3)}), false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(QNVSampleBufferContainsIDR(sampleOf(test.bytes)), test.expected);
    if (test.bytes.size() > 2) {
      EXPECT_EQ(QNVSampleBufferContainsIDR(sampleOf(test.bytes, 3)), test.expected);
    }
  }
}

}  // namespace
}  // namespace plexora
