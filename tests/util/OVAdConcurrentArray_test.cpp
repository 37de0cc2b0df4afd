#include "util/OVAdConcurrentArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace plexora {
namespace {

TEST(OVAdConcurrentArrayTest, TwoThreadsAppendingThousandEachEndWithTwoThousand) {
  OVAdConcurrentArray<int> array;
  auto append = [&array] {
    for (int i = 0; i < 1000; ++i) {
      array.addObject(i);
    }
  };
  std::thread first(append);
  std::thread second(append);
  first.join();
  second.join();

  EXPECT_EQ(array.count(), 2000u);
}

TEST(OVAdConcurrentArrayTest, TakeAllUnderConcurrentAddsLosesNothing) {
  constexpr int kAdders = 4;
  constexpr int kPerAdder = 5000;
  OVAdConcurrentArray<int> array;
  std::atomic<int> addersRunning{kAdders};
  std::vector<int> drained;

  std::thread drainer([&] {
    while (addersRunning.load() > 0) {
      for (int value : array.takeAll()) {
        drained.push_back(value);
      }
    }
  });
  std::vector<std::thread> adders;
  for (int adder = 0; adder < kAdders; ++adder) {
    adders.emplace_back([&, adder] {
      for (int i = 0; i < kPerAdder; ++i) {
        array.addObject(adder * kPerAdder + i);
      }
      --addersRunning;
    });
  }
  for (auto& adder : adders) {
    adder.join();
  }
  drainer.join();
  for (int value : array.takeAll()) {
    drained.push_back(value);
  }

  std::sort(drained.begin(), drained.end());
  std::vector<int> expected(kAdders * kPerAdder);
  for (int i = 0; i < kAdders * kPerAdder; ++i) {
    expected[static_cast<std::size_t>(i)] = i;
  }
  EXPECT_EQ(drained, expected) << "every element added lands in exactly one drain";
  EXPECT_EQ(array.count(), 0u);
}

TEST(OVAdConcurrentArrayTest, CopyTakenWhileAnotherThreadAppendsIsWholeAndDetached) {
  OVAdConcurrentArray<std::vector<int>> array;
  std::atomic<bool> done{false};
  std::thread appender([&] {
    for (int i = 0; i < 2000; ++i) {
      array.addObject(std::vector<int>(64, i));
    }
    done = true;
  });
  while (!done) {
    for (const auto& element : array.nonConcurrentCopy()) {
      ASSERT_EQ(element.size(), 64u);
      ASSERT_EQ(element.front(), element.back());
    }
  }
  appender.join();

  auto copy = array.nonConcurrentCopy();
  array.removeAllObjects();
  EXPECT_EQ(copy.size(), 2000u) << "later changes do not reach the copy";
}

TEST(OVAdConcurrentArrayTest, PositionalOperations) {
  OVAdConcurrentArray<int> array;
  array.addObject(1);
  array.addObject(3);
  array.insertObject(2, 1);
  array.insertObject(4, 3);  // at the count: appends
  EXPECT_EQ(array.nonConcurrentCopy(), (std::vector<int>{1, 2, 3, 4}));

  array.replaceObjectAtIndex(0, 10);
  array.setObject(5, 4);  // at the count: appends
  EXPECT_EQ(array.nonConcurrentCopy(), (std::vector<int>{10, 2, 3, 4, 5}));
  EXPECT_EQ(array.objectAtIndex(1), 2);

  array.removeObjectAtIndex(0);
  array.removeLastObject();
  EXPECT_EQ(array.nonConcurrentCopy(), (std::vector<int>{2, 3, 4}));
}

TEST(OVAdConcurrentArrayTest, IndexOutOfRangeThrowsAndChangesNothing) {
  OVAdConcurrentArray<int> array;
  array.addObject(7);
  EXPECT_THROW(array.objectAtIndex(1), std::out_of_range);
  EXPECT_THROW(array.insertObject(8, 2), std::out_of_range);
  EXPECT_THROW(array.replaceObjectAtIndex(2, 8), std::out_of_range);
  EXPECT_THROW(array.removeObjectAtIndex(1), std::out_of_range);
  EXPECT_EQ(array.nonConcurrentCopy(), (std::vector<int>{7}));

  OVAdConcurrentArray<int> empty;
  empty.removeLastObject();
  EXPECT_EQ(empty.count(), 0u);
}

TEST(OVAdConcurrentArrayTest, RemoveObjectRemovesEveryOccurrenceOfASharedObject) {
  auto kept = std::make_shared<int>(1);
  auto removed = std::make_shared<int>(1);  // equal value, different object
  OVAdConcurrentArray<std::shared_ptr<int>> array;
  array.addObject(removed);
  array.addObject(kept);
  array.addObject(removed);

  array.removeObject(removed);

  ASSERT_EQ(array.count(), 1u);
  EXPECT_EQ(array.objectAtIndex(0), kept);
}

TEST(OVAdConcurrentArrayTest, EnumerationBodyMayCallBackIntoTheArray) {
  OVAdConcurrentArray<int> array;
  array.addObject(1);
  array.addObject(2);
  std::vector<int> visited;

  array.forEach([&](const int& element) {
    visited.push_back(element);
    if (element == 1) {
      array.addObject(3);  // same thread, lock already held
    }
    EXPECT_GE(array.count(), 2u);
  });

  EXPECT_EQ(visited, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace plexora
