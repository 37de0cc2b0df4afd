// The table and collection view ad providers over a native ads manager
// loaded from the loopback ad server's native fixture (two ads), on the
// manual clock: the manager's validity, the index arithmetic at a stride,
// each position keeping its ad until the next delivery, and the placed
// ads' messages passed on.
#include "plexora/OVNativeAdListAdProvider.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "NativeAdTestSupport.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/TableView.h"
#include "plexora/OVNativeAdCollectionViewAdProvider.h"
#include "plexora/OVNativeAdCollectionViewCellProvider.h"
#include "plexora/OVNativeAdTableViewAdProvider.h"
#include "plexora/OVNativeAdTableViewCellProvider.h"

namespace plexora::testing {
namespace {

using platform::IndexPath;

constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();

class OVNativeAdListAdProviderTest : public NativeAdTest {
 protected:
  // The fixture's two ads, delivered.
  std::shared_ptr<OVNativeAdsManager> loadedManager() {
    auto manager = OVNativeAdsManager::initWithPlacementID(std::string(kNativeFixturePlacement), 2);
    manager->setDelegate(managerDelegate_);
    manager->loadAds();
    EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return !managerDelegate_->messages.empty(); }));
    DisplayAdTestWorld::settle();
    EXPECT_EQ(managerDelegate_->messages, std::vector<std::string>{"loaded"});
    EXPECT_EQ(manager->uniqueNativeAdCount(), 2u);
    return manager;
  }

  std::shared_ptr<RecordingNativeAdsManagerDelegate> managerDelegate_ =
      std::make_shared<RecordingNativeAdsManagerDelegate>();
  platform::TableView table_;
  platform::CollectionView collection_;
};

// The reason of the exception `make` throws; none when it throws nothing.
template <class Make>
std::optional<std::string> reasonOf(Make make) {
  try {
    make();
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInvalidArgumentException);
    return exception.reason();
  }
  return std::nullopt;
}

TEST_F(OVNativeAdListAdProviderTest, EveryProviderRefusesAManagerThatHasNotDelivered) {
  const std::string reason = kOVNativeAdProviderInvalidManagerReason;
  const auto unloaded = OVNativeAdsManager::initWithPlacementID(std::string(kNativeFixturePlacement), 2);
  EXPECT_EQ(reasonOf([] { OVNativeAdTableViewAdProvider::init(); }), reason);
  EXPECT_EQ(reasonOf([] { OVNativeAdCollectionViewAdProvider::init(); }), reason);
  EXPECT_EQ(reasonOf([&] { OVNativeAdTableViewAdProvider::initWithManager(unloaded); }), reason);
  EXPECT_EQ(reasonOf([&] { OVNativeAdCollectionViewAdProvider::initWithManager(nullptr); }), reason);
  EXPECT_EQ(reasonOf([&] { OVNativeAdTableViewCellProvider::initWithManager(unloaded, 2); }), reason);
  EXPECT_EQ(reasonOf([&] { OVNativeAdCollectionViewCellProvider::initWithManager(unloaded); }), reason);
  EXPECT_EQ(unloaded->delegate(), nullptr) << "a refused provider does not take the manager over";
}

TEST_F(OVNativeAdListAdProviderTest, IndexArithmeticAtAStrideIncludingTheStridesAndCountsItIsNotMadeFor) {
  const auto manager = loadedManager();
  const auto table = OVNativeAdTableViewAdProvider::initWithManager(manager);
  const auto collection = OVNativeAdCollectionViewAdProvider::initWithManager(manager);

  struct RowCase {
    std::size_t row;
    std::uint64_t stride;
    bool isAd;
    std::size_t contentRow;  // for rows that are not ads
  };
  const RowCase rows[] = {
      {4, 5, true, 0},   {9, 5, true, 0},    {14, 5, true, 0},  {3, 5, false, 3},
      {10, 5, false, 8}, {0, 5, false, 0},   {5, 5, false, 4},  {1, 2, true, 0},
      {2, 2, false, 1},  {7, 0, false, 7},  // stride 0 places no ads
      {0, 1, true, 0},   {6, 1, true, 0},   // stride 1 makes every row an ad
      {kLargest, 5, false, kLargest - kLargest / 5},  // row + 1 would wrap to 0, a multiple of 5
      {kLargest, 2, true, 0},
      {kLargest - 1, 2, false, kLargest / 2},
  };
  for (const RowCase& c : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << c.row << " stride " << c.stride);
    const IndexPath path = IndexPath::forRow(c.row, 3);
    EXPECT_EQ(OVNativeAdListAdProvider::isAdCellAtIndexPath(path, c.stride), c.isAd);
    if (c.isAd) {
      EXPECT_EQ(reasonOf([&] { table->adjustNonAdCellIndexPath(path, c.stride); }),
                std::string(kOVNativeAdTableViewAdjustReason));
      EXPECT_EQ(reasonOf([&] { collection->adjustNonAdCellIndexPath(path, c.stride); }),
                std::string(kOVNativeAdCollectionViewAdjustReason));
    } else {
      EXPECT_EQ(table->adjustNonAdCellIndexPath(path, c.stride), IndexPath::forRow(c.contentRow, 3));
      EXPECT_EQ(collection->adjustNonAdCellIndexPath(path, c.stride), IndexPath::forRow(c.contentRow, 3));
    }
  }

  struct CountCase {
    std::uint64_t count;
    std::uint64_t stride;
    std::uint64_t rows;
  };
  const CountCase counts[] = {
      {10, 5, 12}, {4, 5, 4},  {5, 5, 6},  {1, 5, 1}, {3, 2, 5},
      {0, 5, 0},                    // no wrap-around of count - 1
      {0, 0, 0},   {0, 1, 0},  {7, 0, 7},  {7, 1, 7},  // no division by zero
      {kLargest, 2, kLargest},      // the sum does not fit
      {kLargest / 2 + 1, 2, kLargest},  // just fits
      {kLargest / 2 + 2, 2, kLargest},
  };
  for (const CountCase& c : counts) {
    EXPECT_EQ(OVNativeAdListAdProvider::adjustCount(c.count, c.stride), c.rows)
        << "count " << c.count << " stride " << c.stride;
  }
}

TEST_F(OVNativeAdListAdProviderTest, APositionKeepsItsAdUntilTheManagerDeliversANewSet) {
  const auto manager = loadedManager();
  const std::vector<std::shared_ptr<OVNativeAd>> firstSet = manager->currentNativeAds();
  const auto provider = OVNativeAdTableViewAdProvider::initWithManager(manager);
  EXPECT_EQ(manager->delegate(), provider) << "the provider took the manager over";

  const IndexPath a = IndexPath::forRow(4, 0);
  const IndexPath b = IndexPath::forRow(9, 0);
  const IndexPath c = IndexPath::forRow(4, 1);
  const auto adA = provider->nativeAdForRowAtIndexPath(table_, a);
  const auto adB = provider->nativeAdForRowAtIndexPath(table_, b);
  const auto adC = provider->nativeAdForRowAtIndexPath(table_, c);
  EXPECT_EQ(adA, firstSet[0]);
  EXPECT_EQ(adB, firstSet[1]);
  ASSERT_TRUE(adC);
  EXPECT_NE(adC, firstSet[0]) << "past the set, each position owns a copy";
  EXPECT_EQ(adC->title(), firstSet[0]->title());
  for (int ask = 0; ask < 3; ++ask) {
    EXPECT_EQ(provider->nativeAdForRowAtIndexPath(table_, b), adB);
    EXPECT_EQ(provider->nativeAdForRowAtIndexPath(table_, c), adC);
  }
  EXPECT_EQ(provider->currentIndexPathToAdMap().size(), 3u);
  EXPECT_EQ(adA->delegate(), provider);
  EXPECT_EQ(adC->delegate(), provider);

  // The refresh on the manual clock delivers a new set of the same fixture.
  world_.clock().advance(kOVNativeAdsManagerDefaultRefreshInterval);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return manager->currentNativeAds()[0] != firstSet[0]; }));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(managerDelegate_->messages, std::vector<std::string>{"loaded"}) << "the host's delegate hears no more";
  EXPECT_TRUE(provider->currentIndexPathToAdMap().empty());
  EXPECT_EQ(provider->nativeAdForRowAtIndexPath(table_, b), manager->currentNativeAds()[0])
      << "the position takes the next ad of the new set";
  EXPECT_EQ(provider->nativeAdForRowAtIndexPath(table_, a), manager->currentNativeAds()[1]);
}

TEST_F(OVNativeAdListAdProviderTest, ThePlacedAdsClicksAndImpressionsAreHandedOnToTheDelegate) {
  const auto manager = loadedManager();
  const auto provider = OVNativeAdCollectionViewAdProvider::initWithManager(manager);
  provider->setDelegate(delegate_);
  const auto ad = provider->nativeAdForRowAtIndexPath(collection_, IndexPath::forItem(0, 0));
  EXPECT_EQ(ad, provider->nativeAdForRowAtIndexPath(collection_, IndexPath::forItem(0, 0)));
  ASSERT_EQ(ad->delegate(), provider);
  ad->delegate()->nativeAdWillLogImpression(ad);
  ad->delegate()->nativeAdDidClick(ad);
  ad->delegate()->nativeAdDidFinishHandlingClick(ad);
  ad->delegate()->nativeAdDidLoad(ad);
  ad->delegate()->nativeAd(ad, platform::Error("domain", 1));
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"impression", "click", "finished"}));
}

}  // namespace
}  // namespace plexora::testing
