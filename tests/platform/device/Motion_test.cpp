#include "platform/device/Motion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace plexora::platform {
namespace {

// Collects the readings handed to it; each arrives as an operation on the
// queue.
class Readings {
 public:
  MotionHandler handler() {
    return [this](const MotionReading& reading) {
      std::lock_guard lock(mutex_);
      readings_.push_back(reading);
    };
  }
  std::vector<MotionReading> received() {
    std::lock_guard lock(mutex_);
    return readings_;
  }

 private:
  std::mutex mutex_;
  std::vector<MotionReading> readings_;
};

class MotionTest : public ::testing::Test {
 protected:
  std::vector<MotionReading> read(MotionProvider& provider, MotionSensor sensor) {
    Readings readings;
    provider.requestReading(sensor, queue_, readings.handler());
    EXPECT_TRUE(queue_->waitUntilAllOperationsAreFinished(5.0));
    return readings.received();
  }

  std::shared_ptr<OperationQueue> queue_ = OperationQueue::create("motion test");
};

TEST_F(MotionTest, WithoutSensorsEveryReadingIsTheUnavailableError) {
  LinuxMotionProvider provider;
  for (const auto sensor : {MotionSensor::Accelerometer, MotionSensor::Gyroscope}) {
    const auto readings = read(provider, sensor);
    ASSERT_EQ(readings.size(), 1u);
    const auto* error = std::get_if<Error>(&readings[0]);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(*error, motionSensorUnavailableError(sensor));
    EXPECT_EQ(error->domain(), kMotionErrorDomain);
    EXPECT_EQ(error->code(), kMotionErrorSensorUnavailable);
  }
  EXPECT_NE(motionSensorUnavailableError(MotionSensor::Accelerometer).localizedDescription(),
            motionSensorUnavailableError(MotionSensor::Gyroscope).localizedDescription());
}

TEST_F(MotionTest, ASetSampleAnswersItsSensorOnlyUntilCleared) {
  LinuxMotionProvider provider;
  EXPECT_FALSE(provider.hasSensor(MotionSensor::Accelerometer));
  EXPECT_FALSE(provider.hasSensor(MotionSensor::Gyroscope));
  const MotionSample tilt{0.1, -0.98, 0.05, 1234.5};
  provider.setSample(MotionSensor::Accelerometer, tilt);
  EXPECT_TRUE(provider.hasSensor(MotionSensor::Accelerometer));
  EXPECT_FALSE(provider.hasSensor(MotionSensor::Gyroscope));

  auto readings = read(provider, MotionSensor::Accelerometer);
  ASSERT_EQ(readings.size(), 1u);
  EXPECT_EQ(std::get<MotionSample>(readings[0]), tilt);
  readings = read(provider, MotionSensor::Gyroscope);
  ASSERT_EQ(readings.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<Error>(readings[0]));

  provider.setSample(MotionSensor::Accelerometer, std::nullopt);
  EXPECT_FALSE(provider.hasSensor(MotionSensor::Accelerometer));
  readings = read(provider, MotionSensor::Accelerometer);
  ASSERT_EQ(readings.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<Error>(readings[0]));
}

TEST_F(MotionTest, TheReadingArrivesOnTheQueueNotInTheCall) {
  LinuxMotionProvider provider;
  provider.setSample(MotionSensor::Gyroscope, MotionSample{1.0, 2.0, 3.0, 4.0});
  queue_->setMaxConcurrentOperationCount(0);
  std::atomic<int> calls = 0;
  provider.requestReading(MotionSensor::Gyroscope, queue_, [&](const MotionReading&) { ++calls; });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(queue_->operationCount(), 1u);

  queue_->setMaxConcurrentOperationCount(1);
  ASSERT_TRUE(queue_->waitUntilAllOperationsAreFinished(5.0));
  EXPECT_EQ(calls, 1);
}

TEST_F(MotionTest, AReadingNeedsAQueueAndAHandler) {
  LinuxMotionProvider provider;
  Readings readings;
  EXPECT_THROW(provider.requestReading(MotionSensor::Accelerometer, nullptr, readings.handler()),
               std::invalid_argument);
  EXPECT_THROW(provider.requestReading(MotionSensor::Accelerometer, queue_, nullptr), std::invalid_argument);
}

// A provider a test drives by hand: it answers whatever the test scripted.
class ScriptedMotionProvider final : public MotionProvider {
 public:
  explicit ScriptedMotionProvider(MotionReading answer) : answer_(std::move(answer)) {}
  void requestReading(MotionSensor, std::shared_ptr<OperationQueue> queue, MotionHandler handler) override {
    queue->addOperation([handler = std::move(handler), answer = answer_] { handler(answer); });
  }

 private:
  MotionReading answer_;
};

TEST_F(MotionTest, ATestProviderReplacesTheSystemOneForItsScope) {
  const auto system = MotionProvider::current();
  ASSERT_NE(std::dynamic_pointer_cast<LinuxMotionProvider>(system), nullptr);

  const Error failure("TestDomain", 7);
  {
    ScopedMotionProvider scoped(std::make_shared<ScriptedMotionProvider>(failure));
    const auto readings = read(*MotionProvider::current(), MotionSensor::Accelerometer);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(std::get<Error>(readings[0]), failure);
  }
  EXPECT_EQ(MotionProvider::current(), system);

  MotionProvider::setCurrent(std::make_shared<ScriptedMotionProvider>(MotionSample{}));
  EXPECT_NE(MotionProvider::current(), system);
  MotionProvider::setCurrent(nullptr);
  EXPECT_EQ(MotionProvider::current(), system);
}

}  // namespace
}  // namespace plexora::platform
