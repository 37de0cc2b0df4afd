// The adapter registry: which class serves a network identifier and
// placement type, and which classes it refuses.
#include "adapters/OVAdAdapterManager.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/OVAdAdapterManagerClassTable.h"
#include "support/doubles/FakeDisplayAdAdapter.h"

namespace plexora {
namespace {

using testing::FakeDisplayAdAdapter;
using Strings = std::vector<std::string>;

const Strings kBuiltInClassNames = {"OVPXBannerAdAdapter", "OVPXInterstitialAdAdapter", "OVPXNativeAdAdapter",
                                    "OVPXRewardedVideoAdAdapter", "OVPXInstreamAdAdapter"};

// Linked under an adapter's name but no adapter.
struct NotAnAdapter {};

class OVAdAdapterManagerTest : public ::testing::Test {
 protected:
  // Registers a fake under `className` until the test ends.
  void link(const std::string& className) { installations_.push_back(FakeDisplayAdAdapter::install(className, made_)); }

  // Registers a class that is no adapter under `className` until the test
  // ends.
  void linkNonAdapter(const std::string& className) {
    ASSERT_EQ(OVAdAdapterClassTable::classNamed(className), nullptr);
    OVAdAdapterClassTable::registerClass<NotAnAdapter>(className);
    nonAdapters_.push_back(className);
  }

  void linkBuiltIns() {
    for (const auto& name : kBuiltInClassNames) {
      link(name);
    }
  }

  void TearDown() override {
    for (const auto& name : nonAdapters_) {
      OVAdAdapterClassTable::unregisterClass(name);
    }
  }

  std::shared_ptr<FakeDisplayAdAdapter::Made> made_ = std::make_shared<FakeDisplayAdAdapter::Made>();

 private:
  std::vector<std::unique_ptr<FakeDisplayAdAdapter::Installation>> installations_;
  Strings nonAdapters_;
};

TEST_F(OVAdAdapterManagerTest, RegisteredAdaptersAreTheFourNetworksInOrder) {
  EXPECT_EQ(OVAdAdapterManager::registeredAdapters(), (Strings{"PX", "ADMOB", "INMOBI", "YAHOO"}));
}

TEST_F(OVAdAdapterManagerTest, ClassNamesFollowThePlacementTypesPatternWithTheIdentifierAsItStands) {
  struct Case {
    std::string adapterId;
    std::int64_t placementType;
    std::optional<std::string> className;
  };
  const std::vector<Case> cases = {
      {"ADMOB", 1, "OVADMOBBannerAdAdapter"},
      {"ADMOB", 2, "OVADMOBInterstitialAdAdapter"},
      {"INMOBI", 3, "OVINMOBINativeAdAdapter"},
      {"YAHOO", 4, "OVYAHOORewardedVideoAdAdapter"},
      {"PX", 5, "OVPXInstreamAdAdapter"},
      {"admob", 1, "OVadmobBannerAdAdapter"},
      {"", 2, "OVInterstitialAdAdapter"},
      {"ADMOB", 0, std::nullopt},
      {"ADMOB", 6, std::nullopt},
      {"ADMOB", -1, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OVAdAdapterManager::classNameForId(c.adapterId, c.placementType), c.className)
        << c.adapterId << " type " << c.placementType;
  }
}

TEST_F(OVAdAdapterManagerTest, BuiltInClassesNameTheOwnAdapterForTypesOneToFiveOnly) {
  for (std::int64_t type = 1; type <= 5; ++type) {
    EXPECT_EQ(OVAdAdapterManager::builtInClassesForPlacementType(type),
              (std::map<std::string, std::string>{{"PX", kBuiltInClassNames[type - 1]}}))
        << "type " << type;
  }
  EXPECT_TRUE(OVAdAdapterManager::builtInClassesForPlacementType(0).empty());
  EXPECT_TRUE(OVAdAdapterManager::builtInClassesForPlacementType(6).empty());
}

TEST_F(OVAdAdapterManagerTest, TheOwnNativeAdapterIsFoundForTypeThreeAndNothingForTypeSix) {
  linkBuiltIns();
  const auto nativeClass = OVAdAdapterManager::classForId("PX", 3);
  ASSERT_NE(nativeClass, nullptr);
  EXPECT_EQ(nativeClass->name(), "OVPXNativeAdAdapter");
  EXPECT_EQ(OVAdAdapterManager::classForId("PX", 6), nullptr);
  EXPECT_EQ(OVAdAdapterManager::classForId("PX", 0), nullptr);
}

TEST_F(OVAdAdapterManagerTest, EveryOwnAdapterIsLinkedIn) {
  struct Linked {
    std::int64_t placementType;
    const char* className;
    std::optional<std::string> network;  // the in-stream adapter names none
  };
  for (const Linked& linked :
       {Linked{1, "OVPXBannerAdAdapter", "PX"}, Linked{2, "OVPXInterstitialAdAdapter", "PX"},
        Linked{3, "OVPXNativeAdAdapter", "PX"}, Linked{4, "OVPXRewardedVideoAdAdapter", "PX"},
        Linked{5, "OVPXInstreamAdAdapter", std::nullopt}}) {
    const auto adapterClass = OVAdAdapterManager::classForId("PX", linked.placementType);
    ASSERT_NE(adapterClass, nullptr) << linked.className;
    EXPECT_EQ(adapterClass->name(), linked.className);
    const auto adapter = OVAdAdapterManager::adapterInstanceForId("PX", linked.placementType);
    ASSERT_NE(adapter, nullptr) << linked.className;
    EXPECT_EQ(adapter->className(), linked.className);
    EXPECT_EQ(adapter->getAdNetwork(), linked.network);
    EXPECT_EQ(OVAdAdapterManager::availableAdaptersForPlacementType(linked.placementType), Strings{"PX"});
  }
}

TEST_F(OVAdAdapterManagerTest, AnOutsideClassIsFoundOnlyWhenLinkedAndDerivedFromTheBase) {
  EXPECT_EQ(OVAdAdapterManager::classForId("ADMOB", 2), nullptr) << "not linked";

  linkNonAdapter("OVADMOBInterstitialAdAdapter");
  EXPECT_NE(OVAdAdapterClassTable::classNamed("OVADMOBInterstitialAdAdapter"), nullptr);
  EXPECT_EQ(OVAdAdapterManager::classForId("ADMOB", 2), nullptr) << "linked but no adapter";
  EXPECT_EQ(OVAdAdapterManager::adapterInstanceForId("ADMOB", 2), nullptr);
  EXPECT_EQ(OVAdAdapterManager::availableAdaptersForPlacementType(2), Strings{"PX"}) << "the own one only";

  link("OVADMOBInterstitialAdAdapter");
  const auto interstitialClass = OVAdAdapterManager::classForId("ADMOB", 2);
  ASSERT_NE(interstitialClass, nullptr);
  EXPECT_EQ(interstitialClass->name(), "OVADMOBInterstitialAdAdapter");
  EXPECT_EQ(OVAdAdapterManager::classForId("ADMOB", 1), nullptr) << "only the interstitial class is linked";
}

TEST_F(OVAdAdapterManagerTest, AnIdentifierOutsideTheRegistryIsStillLookedUpByItsName) {
  link("OVACMEBannerAdAdapter");
  const auto bannerClass = OVAdAdapterManager::classForId("ACME", 1);
  ASSERT_NE(bannerClass, nullptr);
  EXPECT_EQ(bannerClass->name(), "OVACMEBannerAdAdapter");
  EXPECT_EQ(OVAdAdapterManager::availableAdaptersForPlacementType(1), Strings{"PX"})
      << "only registered identifiers are offered";
}

TEST_F(OVAdAdapterManagerTest, AvailableAdaptersAreTheOwnOnesForTypesOneToFiveWithNoOutsideAdapterLinked) {
  linkBuiltIns();
  for (std::int64_t type = 1; type <= 5; ++type) {
    EXPECT_EQ(OVAdAdapterManager::availableAdaptersForPlacementType(type), Strings{"PX"}) << "type " << type;
  }
  EXPECT_TRUE(OVAdAdapterManager::availableAdaptersForPlacementType(0).empty());
  EXPECT_TRUE(OVAdAdapterManager::availableAdaptersForPlacementType(6).empty());
}

TEST_F(OVAdAdapterManagerTest, AvailableAdaptersFollowTheRegistryOrderNotTheLinkOrder) {
  linkBuiltIns();
  link("OVYAHOONativeAdAdapter");
  link("OVADMOBNativeAdAdapter");
  linkNonAdapter("OVINMOBINativeAdAdapter");
  EXPECT_EQ(OVAdAdapterManager::availableAdaptersForPlacementType(3), (Strings{"PX", "ADMOB", "YAHOO"}));
  EXPECT_EQ(OVAdAdapterManager::availableAdaptersForPlacementType(1), Strings{"PX"});
}

TEST_F(OVAdAdapterManagerTest, AnInstanceIsANewAdapterOfTheFoundClassWithoutADelegate) {
  link("OVADMOBBannerAdAdapter");
  const auto first = OVAdAdapterManager::adapterInstanceForId("ADMOB", 1);
  const auto second = OVAdAdapterManager::adapterInstanceForId("ADMOB", 1);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->delegate(), nullptr);
  ASSERT_EQ(made_->adapters.size(), 2u);
  EXPECT_EQ(made_->adapters[0], first);
}

}  // namespace
}  // namespace plexora
