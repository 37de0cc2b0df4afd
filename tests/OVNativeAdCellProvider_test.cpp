// The table and collection view cell providers with a manager loaded from
// the loopback ad server's native fixture, on the manual clock: cells that
// show each ad in a template registered with it (a tap on the call to
// action reaches the click path), positions that keep their ads while the
// cells are reused across scrolls, the heights of each template type, and
// cells sized to their items.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "NativeAdTestSupport.h"
#include "adapters/views/nativead/OVAdBodyView.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVNativeAdCollectionViewCell.h"
#include "plexora/OVNativeAdCollectionViewCellProvider.h"
#include "plexora/OVNativeAdTableViewCell.h"
#include "plexora/OVNativeAdTableViewCellProvider.h"
#include "support/doubles/FakeBrowser.h"
#include "util/OVAdConfigManager.h"

namespace plexora::testing {
namespace {

using platform::IndexPath;
using platform::Rect;

// Rows as tall as the provider's template.
class TemplateHeights final : public platform::TableViewDelegate {
 public:
  explicit TemplateHeights(std::shared_ptr<OVNativeAdTableViewCellProvider> provider)
      : provider_(std::move(provider)) {}
  double heightForRowAtIndexPath(platform::TableView& table, const IndexPath& path) override {
    return provider_->heightForRowAtIndexPath(table, path);
  }

 private:
  std::shared_ptr<OVNativeAdTableViewCellProvider> provider_;
};

class OVNativeAdCellProviderTest : public NativeAdTest {
 protected:
  OVNativeAdCellProviderTest() {
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~OVNativeAdCellProviderTest() override {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(platform::Dictionary{}));
    platform::Application::shared()->reset();
  }

  // The fixture's two ads, delivered with their images.
  std::shared_ptr<OVNativeAdsManager> loadedManager() {
    auto manager = OVNativeAdsManager::initWithPlacementID(std::string(kNativeFixturePlacement), 2);
    manager->setDelegate(managerDelegate_);
    manager->setMediaCachePolicy(kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
    manager->loadAds();
    EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return !managerDelegate_->messages.empty(); }));
    DisplayAdTestWorld::settle();
    EXPECT_EQ(manager->uniqueNativeAdCount(), 2u);
    return manager;
  }

  std::shared_ptr<RecordingNativeAdsManagerDelegate> managerDelegate_ =
      std::make_shared<RecordingNativeAdsManagerDelegate>();
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browserScope_ = FakeSafariPresenter::install(presentations_);
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
};

std::shared_ptr<OVNativeAdTableViewCell> adCellAt(const platform::TableView& table, std::size_t row) {
  return std::dynamic_pointer_cast<OVNativeAdTableViewCell>(table.cellForRowAtIndexPath(IndexPath::forRow(row, 0)));
}

TEST_F(OVNativeAdCellProviderTest, TableCellsShowEachAdInATemplateRegisteredForImpressionsAndClicks) {
  OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(
      platform::Value(platform::Dictionary{{"ad_clickability_threshold_ms", 500}}));
  const auto manager = loadedManager();
  const auto provider = OVNativeAdTableViewCellProvider::initWithManager(manager);
  provider->setDelegate(delegate_);
  EXPECT_EQ(provider->type(), kOVNativeAdViewTypeGenericHeight300);
  EXPECT_FALSE(provider->tableCellIdentifier()) << "no cell asked for yet";

  const auto heights = std::make_shared<TemplateHeights>(provider);
  const auto table = std::make_shared<platform::TableView>(Rect(0, 20, 375, 640));
  window_->addSubview(table);
  table->setDataSource(provider);
  table->setDelegate(heights);
  table->reloadData();
  ASSERT_EQ(table->numberOfRowsInSection(0), 2u);
  ASSERT_TRUE(provider->tableCellIdentifier());

  const std::string titles[] = {"Trailblazer Boots", "Pocket Budget"};
  for (std::size_t row = 0; row < 2; ++row) {
    SCOPED_TRACE(row);
    const auto cell = adCellAt(*table, row);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->reuseIdentifier(), *provider->tableCellIdentifier());
    EXPECT_EQ(cell->frame(), Rect(0, 300.0 * static_cast<double>(row), 375, 300));
    const auto view = cell->nativeAdView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->type(), kOVNativeAdViewTypeGenericHeight300);
    EXPECT_EQ(view->frame(), cell->bounds()) << "the template follows the cell";
    const auto& ad = manager->currentNativeAds()[row];
    EXPECT_EQ(view->nativeAd(), ad);
    // The body's own label: the template's accessor may name the label the
    // body replaced when the placeholder gave way to an ad with a social
    // context.
    ASSERT_TRUE(view->bodyView() && view->bodyView()->titleLabel());
    EXPECT_EQ(view->bodyView()->titleLabel()->text(), titles[row]);
    EXPECT_EQ(ad->nativeAdView(), view) << "registered with its ad";
    EXPECT_EQ(ad->delegate(), provider);
  }

  // Both rows are in view: the checks log an impression of each.
  DisplayAdTestWorld::settle();
  world_.clock().advance(0.5);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->count("impression"), 2u);

  // A tap on the first row's call to action, past the click threshold.
  world_.clock().advance(4.0);
  DisplayAdTestWorld::settle();
  const auto button = adCellAt(*table, 0)->nativeAdView()->callToActionButton();
  ASSERT_TRUE(button);
  const Rect bounds = button->bounds();
  const platform::Point tap = button->convertPointToView({bounds.midX(), bounds.midY()}, nullptr);
  EXPECT_TRUE(platform::Application::shared()->sendTap(tap));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(presentations_->size(), 1u);
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), "https://shop.plexora.test/boots");
  EXPECT_EQ(delegate_->count("click"), 1u);
  FakeSafariPresenter::dismiss((*presentations_)[0]);
  DisplayAdTestWorld::settle();
}

// A feed of 20 content rows with an ad cell every third row, all 100
// points tall, in a window 250 points tall.
class MixedFeed final : public platform::TableViewDataSource, public platform::TableViewDelegate {
 public:
  static constexpr std::uint64_t kStride = 3;
  explicit MixedFeed(std::shared_ptr<OVNativeAdTableViewCellProvider> provider) : provider_(std::move(provider)) {}

  std::size_t numberOfRowsInSection(platform::TableView&, std::size_t) override {
    return OVNativeAdListAdProvider::adjustCount(20, kStride);
  }
  std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(platform::TableView& table,
                                                                 const IndexPath& path) override {
    if (OVNativeAdListAdProvider::isAdCellAtIndexPath(path, kStride)) {
      return provider_->cellForRowAtIndexPath(table, path);
    }
    return table.dequeueReusableCellWithIdentifier("content", path);
  }
  double heightForRowAtIndexPath(platform::TableView&, const IndexPath&) override { return 100.0; }

 private:
  std::shared_ptr<OVNativeAdTableViewCellProvider> provider_;
};

TEST_F(OVNativeAdCellProviderTest, CellsReusedAcrossScrollsLeaveEachPositionItsOwnAd) {
  const auto manager = loadedManager();
  const auto provider = OVNativeAdTableViewCellProvider::initWithManager(manager, kOVNativeAdViewTypeGenericHeight100);
  const auto feed = std::make_shared<MixedFeed>(provider);
  const auto table = std::make_shared<platform::TableView>(Rect(0, 0, 375, 250));
  window_->addSubview(table);
  table->registerClass([](const std::string& id) { return std::make_shared<platform::TableViewCell>(id); }, "content");
  table->setDataSource(feed);
  table->setDelegate(feed);
  table->reloadData();
  ASSERT_EQ(table->numberOfRowsInSection(0), 29u);

  std::map<std::size_t, std::shared_ptr<OVNativeAd>> adOfRow;
  std::set<const platform::TableViewCell*> adCells;
  const auto look = [&] {
    for (const auto& path : table->indexPathsForVisibleRows()) {
      const auto cell = adCellAt(*table, path.row);
      ASSERT_EQ(cell != nullptr, OVNativeAdListAdProvider::isAdCellAtIndexPath(path, MixedFeed::kStride)) << path;
      if (!cell) continue;
      adCells.insert(cell.get());
      const auto ad = cell->nativeAdView()->nativeAd();
      const auto [placed, first] = adOfRow.emplace(path.row, ad);
      EXPECT_EQ(placed->second, ad) << "row " << path.row << " changed its ad";
      EXPECT_EQ(ad->nativeAdView(), cell->nativeAdView()) << "row " << path.row;
    }
  };
  // Down to the end, back up, and down again.
  for (int pass = 0; pass < 3; ++pass) {
    for (int step = 0; step <= 53; ++step) {
      const double offset = pass == 1 ? 2650.0 - 50.0 * step : 50.0 * step;
      table->setContentOffset({0, offset});
      look();
    }
  }

  ASSERT_EQ(adOfRow.size(), 9u) << "rows 2, 5, ..., 26";
  EXPECT_EQ(adOfRow[2], manager->currentNativeAds()[0]);
  EXPECT_EQ(adOfRow[5], manager->currentNativeAds()[1]);
  std::set<const OVNativeAd*> distinct;
  std::set<const platform::View*> registeredViews;
  for (const auto& [row, ad] : adOfRow) {
    distinct.insert(ad.get());
    if (const auto view = ad->nativeAdView()) {
      EXPECT_TRUE(registeredViews.insert(view.get()).second) << "an ad moved to another cell left its old one";
    }
  }
  EXPECT_EQ(distinct.size(), 9u) << "each position owns its ad object";
  EXPECT_LE(adCells.size(), 3u) << "the ad cells were reused";
}

TEST_F(OVNativeAdCellProviderTest, EachTemplateTypeHasItsHeightAndATypeWithoutATemplateShowsNothing) {
  const auto manager = loadedManager();
  platform::TableView table;
  platform::CollectionView collection;
  struct Case {
    OVNativeAdViewTemplateType type;
    std::optional<double> height;
  };
  const Case cases[] = {{1, 100}, {2, 120}, {3, 300}, {4, 400}, {kOVNativeAdViewTypeNone, 250},
                        {5, std::nullopt}, {0, std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const auto tableProvider = OVNativeAdTableViewCellProvider::initWithManager(manager, c.type);
    const auto collectionProvider = OVNativeAdCollectionViewCellProvider::initWithManager(manager, c.type);
    if (c.height) {
      EXPECT_EQ(tableProvider->heightForRowAtIndexPath(table, IndexPath{}), *c.height);
      EXPECT_EQ(tableProvider->estimatedHeightForRowAtIndexPath(table, IndexPath{}), *c.height);
      EXPECT_EQ(collectionProvider->heightForRowAtIndexPath(collection, IndexPath{}), *c.height);
      continue;
    }
    const auto reasonOf = [](const auto& ask) -> std::string {
      try {
        ask();
      } catch (const platform::Exception& exception) {
        EXPECT_EQ(exception.name(), platform::kInternalInconsistencyException);
        return exception.reason();
      }
      return "nothing thrown";
    };
    EXPECT_EQ(reasonOf([&] { tableProvider->heightForRowAtIndexPath(table, IndexPath{}); }),
              "[OVNativeAdTableViewCellProvider heightForRowAtIndexPath:] not implemented.");
    EXPECT_EQ(reasonOf([&] { tableProvider->estimatedHeightForRowAtIndexPath(table, IndexPath{}); }),
              "[OVNativeAdTableViewCellProvider heightForRowAtIndexPath:] not implemented.");
    EXPECT_EQ(reasonOf([&] { collectionProvider->heightForRowAtIndexPath(collection, IndexPath{}); }),
              "[OVNativeAdCollectionViewCellProvider heightForRowAtIndexPath:] not implemented.");
  }

  // The type of a template made without one has a height but no template:
  // its cells stay empty rather than registering no view.
  const auto provider = OVNativeAdTableViewCellProvider::initWithManager(manager, kOVNativeAdViewTypeNone);
  EXPECT_EQ(provider->attributes(), nullptr);
  const auto heights = std::make_shared<TemplateHeights>(provider);
  const auto shown = std::make_shared<platform::TableView>(Rect(0, 0, 375, 600));
  shown->setDataSource(provider);
  shown->setDelegate(heights);
  shown->reloadData();
  ASSERT_EQ(shown->visibleCells().size(), 2u);
  EXPECT_EQ(adCellAt(*shown, 0)->nativeAdView(), nullptr);
  EXPECT_FALSE(manager->currentNativeAds()[0]->isRegistered());
}

// Items as wide as the view and as tall as the provider's template.
class CollectionFeed final : public platform::CollectionViewDataSource, public platform::CollectionViewDelegate {
 public:
  explicit CollectionFeed(std::shared_ptr<OVNativeAdCollectionViewCellProvider> provider)
      : provider_(std::move(provider)) {}
  std::size_t numberOfItemsInSection(platform::CollectionView& view, std::size_t section) override {
    return provider_->numberOfRowsInSection(view, section);
  }
  std::shared_ptr<platform::CollectionViewCell> cellForItemAtIndexPath(platform::CollectionView& view,
                                                                       const IndexPath& path) override {
    return provider_->cellForItemAtIndexPath(view, path);
  }
  platform::Size sizeForItemAtIndexPath(platform::CollectionView& view, const IndexPath& path) override {
    return {view.bounds().size.width, provider_->heightForRowAtIndexPath(view, path)};
  }

 private:
  std::shared_ptr<OVNativeAdCollectionViewCellProvider> provider_;
};

TEST_F(OVNativeAdCellProviderTest, CollectionCellsShowTheirAdsInTemplatesOfTheirItemsSize) {
  const auto manager = loadedManager();
  const auto provider =
      OVNativeAdCollectionViewCellProvider::initWithManager(manager, kOVNativeAdViewTypeGenericHeight120);
  const auto feed = std::make_shared<CollectionFeed>(provider);
  const auto collection = std::make_shared<platform::CollectionView>(Rect(0, 0, 360, 600));
  window_->addSubview(collection);
  collection->setDataSource(feed);
  collection->setDelegate(feed);
  collection->reloadData();
  ASSERT_TRUE(provider->collectionCellIdentifier());
  ASSERT_EQ(collection->visibleCells().size(), 2u);
  for (std::size_t item = 0; item < 2; ++item) {
    SCOPED_TRACE(item);
    const auto cell = std::dynamic_pointer_cast<OVNativeAdCollectionViewCell>(
        collection->cellForItemAtIndexPath(IndexPath::forItem(item, 0)));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->reuseIdentifier(), *provider->collectionCellIdentifier());
    EXPECT_EQ(cell->frame(), Rect(0, 120.0 * static_cast<double>(item), 360, 120));
    const auto view = cell->nativeAdView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame(), cell->bounds()) << "the template follows the cell it was made before";
    const auto& ad = manager->currentNativeAds()[item];
    EXPECT_EQ(view->nativeAd(), ad);
    EXPECT_EQ(ad->nativeAdView(), view);
  }
}

}  // namespace
}  // namespace plexora::testing
