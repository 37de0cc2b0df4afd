#include "dto/OVAdBidPayload.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "platform/device/DeviceProvider.h"
#include "util/FakeDeviceProvider.h"
#include "util/OVAdError.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

constexpr const char* kPlacement = "123_456";
constexpr std::int64_t kTemplate = 4;
constexpr const char* kDeviceID = "00000000-1111-2222-3333-444444444444";

class OVAdBidPayloadTest : public ::testing::Test {
 protected:
  std::shared_ptr<OVAdBidPayload> parse(const std::string& json) {
    error_.reset();
    return OVAdBidPayload::initWithJsonData(json, kPlacement, kTemplate, &error_);
  }

  std::shared_ptr<testing::FakeDeviceProvider> provider_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedProvider_{provider_};
  std::optional<platform::Error> error_;
};

TEST_F(OVAdBidPayloadTest, ABidIdentifierAlone) {
  const auto payload = parse(R"({"bid_id": "123"})");
  ASSERT_NE(payload, nullptr);
  EXPECT_FALSE(error_.has_value());
  EXPECT_EQ(payload->payloadType(), "ID");
  EXPECT_EQ(payload->bidID(), 123);
  EXPECT_TRUE(payload->hasBidID());
  EXPECT_FALSE(payload->hasServerResponse());
  EXPECT_EQ(payload->serverResponse(), std::nullopt);
}

TEST_F(OVAdBidPayloadTest, ACreativeInAnyCaseCarriesThePayloadBytes) {
  const std::string json = std::string(R"({"bid_id": "-9223372036854775808", "type": "creative", "payload": "{\"type\":\"ads\"}",)") +
                           R"("sdk_version": ")" + kOVAdLibraryVersion + R"(", "placement_id": "123_456",)" +
                           R"("template": 4, "device_id": ")" + kDeviceID + R"("})";
  const auto payload = parse(json);
  ASSERT_NE(payload, nullptr) << (error_ ? error_->localizedDescription() : "");
  EXPECT_EQ(payload->payloadType(), "CREATIVE");
  EXPECT_EQ(payload->bidID(), std::numeric_limits<std::int64_t>::min());
  EXPECT_TRUE(payload->hasServerResponse());
  EXPECT_TRUE(payload->hasBidID());
  const std::string creative = R"({"type":"ads"})";
  EXPECT_EQ(payload->serverResponse(), platform::Bytes(creative.begin(), creative.end()));
}

TEST_F(OVAdBidPayloadTest, AnotherTypeKeepsTheIdentifierOnly) {
  const auto payload = parse(R"({"bid_id": "7", "type": "BANNER", "payload": "x"})");
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->payloadType(), "ID");
  EXPECT_EQ(payload->serverResponse(), std::nullopt);
}

TEST_F(OVAdBidPayloadTest, InvalidPayloadsFailWithAnInternalError) {
  const struct {
    const char* name;
    std::string json;
    std::string message;
  } cases[] = {
      {"not JSON", "bid_id=123", "Invalid bid payload"},
      {"empty text", "", "Invalid bid payload"},
      {"a JSON array", R"(["bid_id", "123"])", "Invalid bid payload"},
      {"a JSON string", R"("123")", "Invalid bid payload"},
      {"no bid_id", R"({"type": "ID"})", "Invalid bid payload"},
      {"empty bid_id", R"({"bid_id": ""})", "Invalid bid payload"},
      {"bid_id not a number", R"({"bid_id": "abc"})", "Invalid bid payload"},
      {"bid_id with trailing text", R"({"bid_id": "12x"})", "Invalid bid payload"},
      {"bid_id with a plus sign", R"({"bid_id": "+12"})", "Invalid bid payload"},
      {"bid_id with spaces", R"({"bid_id": " 12"})", "Invalid bid payload"},
      {"bid_id beyond 64 bits", R"({"bid_id": "9223372036854775808"})", "Invalid bid payload"},
      {"bid_id as a JSON number", R"({"bid_id": 123})", "Invalid bid payload"},
      {"bid_id null", R"({"bid_id": null})", "Invalid bid payload"},
      {"creative without payload", R"({"bid_id": "123", "type": "CREATIVE"})", "Invalid bid payload"},
      {"creative with empty payload", R"({"bid_id": "123", "type": "Creative", "payload": ""})",
       "Invalid bid payload"},
      {"creative payload as an object", R"({"bid_id": "123", "type": "CREATIVE", "payload": {"a": 1}})",
       "Invalid bid payload"},
      {"type as a number", R"({"bid_id": "123", "type": 3})", "Invalid bid payload"},
      {"placement as a number", R"({"bid_id": "123", "placement_id": 123456})", "Invalid bid payload"},
      {"template as text", R"({"bid_id": "123", "template": "4"})", "Invalid bid payload"},
      {"template as a fraction", R"({"bid_id": "123", "template": 4.5})", "Invalid bid payload"},
      {"sdk_version as an array", R"({"bid_id": "123", "sdk_version": []})", "Invalid bid payload"},
      {"device_id as a bool", R"({"bid_id": "123", "device_id": true})", "Invalid bid payload"},
      {"another library version", R"({"bid_id": "123", "sdk_version": "9.9.9"})",
       std::string("Bid 123 for SDK version 9.9.9 being used on SDK version ") + kOVAdLibraryVersion},
      {"another placement", R"({"bid_id": "123", "placement_id": "999_1"})",
       "Bid 123 for placement 999_1 being used on placement 123_456"},
      {"another template", R"({"bid_id": "123", "template": 200})", "Bid 123 for type 200 being used on template 4"},
      {"another device", R"({"bid_id": "123", "device_id": "AAAA"})",
       std::string("Bid 123 for device id AAAA being used on device id ") + kDeviceID},
      {"the first mismatch wins", R"({"bid_id": "5", "template": 1, "placement_id": "x"})",
       "Bid 5 for placement x being used on placement 123_456"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse(c.json), nullptr) << c.name;
    ASSERT_TRUE(error_.has_value()) << c.name;
    EXPECT_EQ(error_->code(), kOVAdErrorCodeInternalError) << c.name;
    EXPECT_EQ(error_->localizedDescription(), c.message) << c.name;
  }
}

TEST_F(OVAdBidPayloadTest, WithoutAPlacementKeyThePlacementIsNotCompared) {
  EXPECT_NE(OVAdBidPayload::initWithJsonData(R"({"bid_id": "1", "template": 4})", "any placement", kTemplate, nullptr),
            nullptr);
}

TEST_F(OVAdBidPayloadTest, ADeviceWithoutAnAdvertisingIdentifierMatchesNoDeviceID) {
  provider_->updateProfile([](platform::DeviceProfile& profile) { profile.advertisingIdentifier.reset(); });
  EXPECT_EQ(parse(R"({"bid_id": "1", "device_id": "AAAA"})"), nullptr);
  ASSERT_TRUE(error_.has_value());
  EXPECT_EQ(error_->localizedDescription(), "Bid 1 for device id AAAA being used on device id (null)");
}

TEST_F(OVAdBidPayloadTest, ValidationAloneAnswersForAParsedDictionary) {
  using platform::Dictionary;
  std::optional<platform::Error> error;
  EXPECT_TRUE(OVAdBidPayload::isPayloadValid(platform::Value(Dictionary{{"placement_id", kPlacement}}), kPlacement,
                                             kTemplate, &error));
  EXPECT_FALSE(error.has_value());
  EXPECT_FALSE(OVAdBidPayload::isPayloadValid(platform::Value(Dictionary{{"bid_id", "8"}, {"template", 5}}),
                                              kPlacement, kTemplate, &error));
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->localizedDescription(), "Bid 8 for type 5 being used on template 4");
}

}  // namespace
}  // namespace plexora
