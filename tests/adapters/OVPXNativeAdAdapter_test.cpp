#include "adapters/OVPXNativeAdAdapter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapters/OVNativeAdDataModel.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

constexpr const char* kAdData = R"({"ct":"ct-native","title":"Boots","call_to_action":"Shop",
  "image":{"url":"https://cdn.plexora.test/cover.jpg"},"ovad_command":"ovad://close",
  "snapshot_log_delay_second":3})";

class RecordingAdapterDelegate final : public OVDisplayAdAdapterDelegate {
 public:
  void adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>&, const std::optional<platform::URL>& url,
                       bool playerHandles) override {
    messages.push_back(url || playerHandles ? "click with url" : "click");
  }
  void adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>&) override { messages.push_back("loaded"); }
  void adapter(const std::shared_ptr<OVDisplayAdAdapter>&, const platform::Error& error) override {
    messages.push_back("error " + std::to_string(error.code()));
  }
  void adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>&) override {
    messages.push_back("impression");
  }

  std::vector<std::string> messages;
};

class OVPXNativeAdAdapterTest : public testing::EventManagerTest {
 protected:
  void SetUp() override {
    EventManagerTest::SetUp();
    platform::setCachesDirectory(directory_.path().string());
    adapter_->setEventManager(manager_);
  }
  void TearDown() override {
    adapter_.reset();
    EventManagerTest::TearDown();
    platform::setCachesDirectory("");
  }

  void load(const std::string& data = kAdData) {
    const auto value = OVAdUtility::getObjectFromJSONString(data);
    ASSERT_TRUE(value && value->isDictionary());
    adapter_->loadAdData(value->asDictionary(), kOVAdSizeNative, 0, "native", nullptr, nullptr);
  }
  // The stored events' types and data.
  std::vector<std::pair<std::string, Value>> events() {
    EXPECT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    std::vector<std::pair<std::string, Value>> found;
    for (const auto& event : stored()) {
      found.emplace_back(event.type,
                         OVAdUtility::getObjectFromJSONString(event.data.value_or("null")).value_or(Value()));
    }
    return found;
  }

  std::shared_ptr<RecordingAdapterDelegate> delegate_ = std::make_shared<RecordingAdapterDelegate>();
  std::shared_ptr<OVPXNativeAdAdapter> adapter_ = std::make_shared<OVPXNativeAdAdapter>(delegate_);
};

TEST_F(OVPXNativeAdAdapterTest, ValidDataLoadsAtOnceAndInvalidDataFailsWithNoFill) {
  load();
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"loaded"}) << "reported inside the call";
  ASSERT_TRUE(adapter_->nativeAdData());
  EXPECT_EQ(adapter_->nativeAdData()->title(), "Boots");
  EXPECT_EQ(adapter_->getAdNetwork(), "PX");

  for (const char* broken : {R"({"ct":"ct-native","title":"Boots","image":{"url":"https://c.plexora.test/c.jpg"}})",
                             R"({"title":"Boots","call_to_action":"Shop","image":{"url":"https://c.plexora.test/c.jpg"}})",
                             R"({"ct":"ct-native","title":"Boots","call_to_action":"Shop","image":"cover.jpg"})"}) {
    delegate_->messages.clear();
    load(broken);
    EXPECT_EQ(delegate_->messages, std::vector<std::string>{"error 1001"}) << broken;
  }
}

TEST_F(OVPXNativeAdAdapterTest, AnImpressionIsLoggedOncePerLoadAndItsViewTreeFollowsAfterTheDelay) {
  load();
  const Dictionary extra{{"vrc", "1"}};
  adapter_->onImpressionWithExtraData(extra, Dictionary{{"view", "{\"id\":\"0x1\"}"}});
  adapter_->onImpressionWithExtraData(extra, Dictionary{{"view", "again"}});
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression"}));
  auto logged = events();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].first, "impression");
  EXPECT_EQ(logged[0].second.find("vrc")->asString(), "1");

  advance(2.9);
  EXPECT_EQ(events().size(), 1u);
  advance(0.1);
  logged = events();
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[1].first, "native_view");
  EXPECT_EQ(logged[1].second.find("vrc")->asString(), "1");
  EXPECT_EQ(logged[1].second.find("view")->asString(), "{\"id\":\"0x1\"}");

  // A new load may log its own impression; empty post data schedules no
  // view-tree event.
  load();
  adapter_->onImpressionWithExtraData(extra, {});
  advance(5);
  logged = events();
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[2].first, "impression");
}

TEST_F(OVPXNativeAdAdapterTest, AnImpressionMissIsLoggedOnceInTheAdaptersLife) {
  load();
  adapter_->onImpressionMissWithExtraData(Dictionary{{"miss_reason", 1}}, {});
  load();
  adapter_->onImpressionMissWithExtraData(Dictionary{{"miss_reason", 1}}, {});
  const auto logged = events();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].first, "impression_miss");
  EXPECT_EQ(logged[0].second.find("miss_reason")->asInteger(), 1);
}

TEST_F(OVPXNativeAdAdapterTest, AClickRunsTheCommandAndTheControllerHearsOfItFromTheCompletion) {
  load();
  adapter_->onClickForViewController(nullptr, Dictionary{{"touch", "{}"}});
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "click"}));
  const auto logged = events();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].first, "close");
  EXPECT_EQ(logged[0].second.find("touch")->asString(), "{}");
}

}  // namespace
}  // namespace plexora
