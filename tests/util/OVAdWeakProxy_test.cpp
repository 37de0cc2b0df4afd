#include "util/OVAdWeakProxy.h"

#include <gtest/gtest.h>

#include <memory>

namespace plexora {
namespace {

struct Counter {
  int calls = 0;
  int increment() { return ++calls; }
  void touch() { ++calls; }
};

TEST(OVAdWeakProxyTest, ForwardsToALiveTargetAndDropsCallsOnceItIsGone) {
  auto target = std::make_shared<Counter>();
  auto proxy = OVAdWeakProxy<Counter>::proxyForObject(target);

  EXPECT_EQ(proxy->forward([](Counter& counter) { return counter.increment(); }), 1);
  proxy->forward([](Counter& counter) { counter.touch(); });
  EXPECT_EQ(target->calls, 2);

  std::weak_ptr<Counter> watched = target;
  target.reset();

  EXPECT_TRUE(watched.expired()) << "the proxy must not keep its target alive";
  EXPECT_EQ(proxy->object(), nullptr);
  EXPECT_EQ(proxy->forward([](Counter& counter) { return counter.increment(); }), std::nullopt);
  proxy->forward([](Counter& counter) { counter.touch(); });  // no effect, no failure
}

TEST(OVAdWeakProxyTest, TargetCanBeReplaced) {
  auto first = std::make_shared<Counter>();
  auto second = std::make_shared<Counter>();
  OVAdWeakProxy<Counter> proxy(first);

  proxy.setObject(second);
  proxy.forward([](Counter& counter) { counter.touch(); });

  EXPECT_EQ(first->calls, 0);
  EXPECT_EQ(second->calls, 1);
}

}  // namespace
}  // namespace plexora
