// Observations through the key-value-observing controller: the three
// callback forms, the first observation of a key path winning, observers and
// controllers that go away, and observing from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "util/OVAdKVOController.h"

namespace plexora {
namespace {

class Item final : public OVAdKeyValueObservable {
 public:
  platform::Value valueForKey(const std::string& key) const override {
    return key == "status" ? platform::Value(status.load()) : platform::Value();
  }
  void setStatus(int64_t value) {
    willChangeValueForKey("status");
    status = value;
    didChangeValueForKey("status");
  }
  std::atomic<int64_t> status{0};
};

class Watcher final : public OVAdKeyValueObserver {
 public:
  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable*, const platform::Dictionary& change,
                              void* context) override {
    plain.emplace_back(keyPath, change, context);
  }
  std::vector<std::tuple<std::string, platform::Dictionary, void*>> plain;
};

int64_t newValue(const platform::Dictionary& change) {
  const platform::Value* value = change.find(kOVAdKeyValueChangeNewKey);
  return value != nullptr ? value->toInt64() : -1;
}

TEST(OVAdKVOControllerTest, BlockActionAndContextForms) {
  auto item = std::make_shared<Item>();
  auto watcher = std::make_shared<Watcher>();
  auto controller = OVAdKVOController::controllerWithObserver(watcher);

  std::vector<platform::Dictionary> blockChanges;
  controller->observe(item, "status", kOVAdKeyValueObservingOptionNew,
                      OVAdKVOBlock([&](const std::shared_ptr<OVAdKeyValueObserver>& observer,
                                       OVAdKeyValueObservable* object, const platform::Dictionary& change) {
                        EXPECT_EQ(observer, watcher);
                        EXPECT_EQ(object, item.get());
                        blockChanges.push_back(change);
                      }));
  auto other = std::make_shared<Item>();
  std::vector<int64_t> actionValues;
  controller->observe(
      other, "status", kOVAdKeyValueObservingOptionNew,
      OVAdKVOAction{"statusChanged:", [&](OVAdKeyValueObserver& observer, const platform::Dictionary& change,
                                          OVAdKeyValueObservable* object) {
                      EXPECT_EQ(&observer, watcher.get());
                      EXPECT_EQ(object, other.get());
                      actionValues.push_back(newValue(change));
                    }});
  auto third = std::make_shared<Item>();
  int context = 0;
  controller->observe(third, std::vector<std::string>{"status"},
                      kOVAdKeyValueObservingOptionNew | kOVAdKeyValueObservingOptionInitial, &context);

  item->setStatus(1);
  other->setStatus(2);
  third->setStatus(3);

  ASSERT_EQ(blockChanges.size(), 1U);
  const platform::Value* keyPath = blockChanges[0].find(kOVAdKVONotificationKeyPathKey);
  ASSERT_NE(keyPath, nullptr);
  EXPECT_EQ(keyPath->asString(), "status");
  EXPECT_EQ(blockChanges[0].begin()->first, kOVAdKVONotificationKeyPathKey) << "the key path comes first";
  EXPECT_EQ(newValue(blockChanges[0]), 1);
  EXPECT_EQ(actionValues, std::vector<int64_t>{2});
  ASSERT_EQ(watcher->plain.size(), 2U) << "the initial value, then the change";
  EXPECT_EQ(newValue(std::get<1>(watcher->plain[0])), 0);
  EXPECT_EQ(newValue(std::get<1>(watcher->plain[1])), 3);
  EXPECT_EQ(std::get<2>(watcher->plain[1]), &context);
}

TEST(OVAdKVOControllerTest, TheFirstObservationOfAKeyPathIsKept) {
  auto item = std::make_shared<Item>();
  auto watcher = std::make_shared<Watcher>();
  auto controller = OVAdKVOController::controllerWithObserver(watcher);
  std::vector<std::string> calls;
  controller->observe(item, "status", kOVAdKeyValueObservingOptionNew,
                      OVAdKVOBlock([&](auto&, auto*, const platform::Dictionary& change) {
                        calls.push_back("first " + std::to_string(newValue(change)));
                      }));
  controller->observe(item, "status", kOVAdKeyValueObservingOptionOld,
                      OVAdKVOBlock([&](auto&, auto*, const platform::Dictionary&) { calls.push_back("second"); }));
  // Nothing is registered for an empty key path or a missing block.
  controller->observe(item, "", kOVAdKeyValueObservingOptionNew,
                      OVAdKVOBlock([&](auto&, auto*, auto&) { calls.push_back("empty"); }));
  controller->observe(item, "rate", kOVAdKeyValueObservingOptionNew, OVAdKVOBlock());
  EXPECT_FALSE(item->hasObservers("rate"));
  item->setStatus(5);
  EXPECT_EQ(calls, std::vector<std::string>{"first 5"});
}

TEST(OVAdKVOControllerTest, GoneObserversAndControllersAreNeverCalled) {
  auto item = std::make_shared<Item>();
  auto watcher = std::make_shared<Watcher>();
  auto controller = OVAdKVOController::controllerWithObserver(watcher);
  int calls = 0;
  controller->observe(item, "status", 0, OVAdKVOBlock([&](auto&, auto*, auto&) { ++calls; }));
  watcher.reset();
  item->setStatus(1);
  EXPECT_EQ(calls, 0) << "the observer is gone";

  EXPECT_TRUE(item->hasObservers("status"));
  controller.reset();
  EXPECT_FALSE(item->hasObservers("status")) << "the controller's release ends its registrations";
}

TEST(OVAdKVOControllerTest, RetainingAndNotRetainingObservedObjects) {
  auto watcher = std::make_shared<Watcher>();
  auto retaining = OVAdKVOController::controllerWithObserver(watcher);
  auto notRetaining = OVAdKVOController::initWithObserver(watcher, false);
  auto kept = std::make_shared<Item>();
  auto dropped = std::make_shared<Item>();
  std::weak_ptr<Item> weakKept = kept;
  std::weak_ptr<Item> weakDropped = dropped;
  retaining->observe(kept, "status", 0, nullptr);
  notRetaining->observe(dropped, "status", 0, nullptr);
  kept.reset();
  dropped.reset();
  EXPECT_NE(weakKept.lock(), nullptr);
  EXPECT_EQ(weakDropped.lock(), nullptr);
  retaining->unobserve(weakKept.lock().get());
  EXPECT_EQ(weakKept.lock(), nullptr) << "released with its last observation";
  notRetaining->unobserveAll();
}

TEST(OVAdKVOControllerTest, ACallbackMayUnobserveItself) {
  auto item = std::make_shared<Item>();
  auto watcher = std::make_shared<Watcher>();
  auto controller = OVAdKVOController::controllerWithObserver(watcher);
  int calls = 0;
  controller->observe(item, "status", 0, OVAdKVOBlock([&](auto&, OVAdKeyValueObservable* object, auto&) {
                        ++calls;
                        controller->unobserve(object, "status");
                      }));
  item->setStatus(1);
  item->setStatus(2);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(item->hasObservers("status"));
}

TEST(OVAdKVOControllerTest, Descriptions) {
  auto watcher = std::make_shared<Watcher>();
  auto controller = OVAdKVOController::controllerWithObserver(watcher);
  const OVAdKVOInfo info(controller, "status", kOVAdKeyValueObservingOptionOld | kOVAdKeyValueObservingOptionNew,
                         nullptr, OVAdKVOAction{"statusChanged:", nullptr}, nullptr);
  const std::string text = info.debugDescription();
  EXPECT_EQ(text.rfind("<OVAdKVOInfo:", 0), 0U);
  EXPECT_NE(text.find(" keyPath:status options:NSKeyValueObservingOptionNew|NSKeyValueObservingOptionOld"
                      " action:statusChanged:>"),
            std::string::npos)
      << text;
  EXPECT_EQ(OVAdKVOOptionDescription(kOVAdKeyValueObservingOptionPrior | kOVAdKeyValueObservingOptionInitial),
            "NSKeyValueObservingOptionInitial|NSKeyValueObservingOptionPrior");

  auto item = std::make_shared<Item>();
  EXPECT_EQ(controller->debugDescription().find('\n'), std::string::npos) << "nothing observed";
  controller->observe(item, "status", kOVAdKeyValueObservingOptionNew, nullptr);
  const std::string described = controller->debugDescription();
  EXPECT_NE(described.find("\n  <OVAdKeyValueObservable:"), std::string::npos) << described;
  EXPECT_NE(described.find("keyPath:status"), std::string::npos) << described;
}

// Observations made and ended on several threads while the object changes
// on another: every observation ends cleanly.
TEST(OVAdKVOControllerTest, ObservingFromSeveralThreads) {
  auto item = std::make_shared<Item>();
  std::atomic<bool> stop{false};
  std::thread changer([&] {
    int64_t value = 0;
    while (!stop) item->setStatus(++value);
  });
  std::vector<std::thread> observers;
  std::atomic<int> calls{0};
  for (int thread = 0; thread < 3; ++thread) {
    observers.emplace_back([&] {
      for (int round = 0; round < 200; ++round) {
        auto watcher = std::make_shared<Watcher>();
        auto controller = OVAdKVOController::controllerWithObserver(watcher);
        controller->observe(item, "status", kOVAdKeyValueObservingOptionNew,
                            OVAdKVOBlock([&](auto&, auto*, auto&) { ++calls; }));
        if (round % 2 == 0) controller->unobserveAll();
      }
    });
  }
  for (auto& thread : observers) thread.join();
  stop = true;
  changer.join();
  EXPECT_FALSE(item->hasObservers("status"));
}

}  // namespace
}  // namespace plexora
