// The carousel in a window, its product images from the loopback server and
// its viewability on the manual clock: the load signal (from the first
// product only, once per set, also when its image fails), impressions once
// per product per set however often a resize rebuilds the cells, taps with
// their place in the cell, and the cells' image loads.
#include "adapters/views/nativead/OVAdDefaultMultiProductView.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "MediaViewTestSupport.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "adapters/views/nativead/OVAdMultiProductCell.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdScreen.h"

namespace plexora::testing {
namespace {

using platform::Rect;

class RecordingCarouselDelegate final : public OVAdMultiProductViewDelegate {
 public:
  void multiProductViewDidLoad(const std::shared_ptr<OVAdMultiProductView>&) override { ++loads; }
  int loads = 0;
};

class OVAdDefaultMultiProductViewTest : public MediaViewTest {
 protected:
  OVAdDefaultMultiProductViewTest() {
    serve("p1.png", pngBody(30, 30));
    serve("p2.png", pngBody(30, 20));
    serve("p3.png", pngBody(20, 30));
    carousel_->setDelegate(carouselDelegate_);
  }

  // A product whose image is "media/<image>" of the server; none for "".
  std::shared_ptr<OVNativeAdMultiProductDataModel> product(const std::string& image) const {
    std::string json = R"({"title":"P")";
    if (!image.empty()) json += R"(,"image":{"url":")" + world_.server().baseURL() + "media/" + image + R"("})";
    const auto data = OVAdUtility::getObjectFromJSONString(json + "}");
    return OVNativeAdMultiProductDataModel::initWithMetadata(data.value_or(platform::Value()));
  }

  void show(OVAdMultiProductView::Products products) {
    carousel_->setMultiProductAds(
        std::move(products), [this](std::uint64_t index) { impressions_.push_back(index); },
        [this](std::uint64_t index, platform::Point position, Rect rect) {
          clicks_.emplace_back(index, position, rect);
        });
  }

  std::vector<std::shared_ptr<OVAdMultiProductCell>> cells() const {
    std::vector<std::shared_ptr<OVAdMultiProductCell>> cells;
    for (const auto& view : carousel_->scrollView()->cellViews()) {
      cells.push_back(std::dynamic_pointer_cast<OVAdMultiProductCell>(view));
    }
    return cells;
  }

  // Moves the clock past a few viewability checks and lets their results in.
  void runChecks() {
    for (int step = 0; step < 4; ++step) {
      world_.clock().advance(0.5);
      DisplayAdTestWorld::settle();
    }
  }

  std::shared_ptr<OVAdDefaultMultiProductView> carousel_ = OVAdDefaultMultiProductView::create();
  std::shared_ptr<RecordingCarouselDelegate> carouselDelegate_ = std::make_shared<RecordingCarouselDelegate>();
  std::vector<std::uint64_t> impressions_;
  std::vector<std::tuple<std::uint64_t, platform::Point, Rect>> clicks_;
};

TEST_F(OVAdDefaultMultiProductViewTest, OneCellPerProductEachShowingItsImageOverItsBlur) {
  window_->addSubview(carousel_);
  carousel_->setFrame(Rect(0, 100, 250, 180));
  show({product("p1.png"), product("p2.png"), product("p3.png")});
  const auto shown = cells();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(carousel_->scrollView()->frame(), Rect(0, 0, 250, 180));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] {
    for (const auto& cell : shown) {
      if (!cell->imageView()->image()) return false;
    }
    return true;
  }));
  for (const auto& cell : shown) {
    EXPECT_EQ(cell->frame().size, (platform::Size{180, 180}));
    EXPECT_EQ(cell->imageView()->frame(), Rect(0, 0, 180, 180));
    EXPECT_TRUE(cell->imageView()->blurredImage());
    EXPECT_EQ(cell->delegate(), carousel_);
  }
  EXPECT_EQ(shown[1]->imageView()->image()->size(), (platform::Size{30, 20}));
  EXPECT_EQ(carouselDelegate_->loads, 1);
}

TEST_F(OVAdDefaultMultiProductViewTest, TheLoadSignalComesFromTheFirstProductOnlyOncePerSet) {
  // The first product's image is held until the second's has been shown.
  auto released = std::make_shared<std::atomic<bool>>(false);
  testserver::Response slow = testserver::Response::text(200, pngBody(30, 30));
  slow.headers = {{"Content-Type", "image/png"}};
  slow.sendableBytes = [released] { return released->load() ? SIZE_MAX : std::size_t{0}; };
  world_.server().server().on("/media/slow.png", std::move(slow));
  window_->addSubview(carousel_);
  carousel_->setFrame(Rect(0, 100, 250, 180));
  show({product("slow.png"), product("p2.png")});
  const auto shown = cells();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return shown[1]->imageView()->image() != nullptr; }));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(carouselDelegate_->loads, 0) << "the second product's image came first";
  released->store(true);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return carouselDelegate_->loads > 0; }));
  EXPECT_TRUE(carousel_->loadedWasCalled());

  // A resize reloads every image: still one signal for this set.
  carousel_->setFrame(Rect(0, 100, 300, 200));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return cells()[0]->imageView()->image() != nullptr; }));
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(carouselDelegate_->loads, 1);

  // A new set signals again.
  show({product("p3.png")});
  EXPECT_FALSE(carousel_->loadedWasCalled());
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return carouselDelegate_->loads == 2; }));
}

TEST_F(OVAdDefaultMultiProductViewTest, AFirstProductWithoutAnImageStillSignalsTheLoad) {
  serve("missing.png", "", 404);
  for (const std::string& image : {std::string("missing.png"), std::string()}) {
    const auto carousel = OVAdDefaultMultiProductView::create();
    const auto delegate = std::make_shared<RecordingCarouselDelegate>();
    carousel->setDelegate(delegate);
    window_->addSubview(carousel);
    carousel->setFrame(Rect(0, 100, 250, 180));
    carousel->setMultiProductAds({product(image), product("p2.png")}, nullptr, nullptr);
    ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return delegate->loads > 0; })) << image;
    const auto first = std::dynamic_pointer_cast<OVAdMultiProductCell>(carousel->scrollView()->cellViews()[0]);
    EXPECT_FALSE(first->imageView()->image()) << image;
    EXPECT_FALSE(first->imageView()->blurredImage()) << image;
    carousel->removeFromSuperview();
  }
}

TEST_F(OVAdDefaultMultiProductViewTest, EachProductIsReportedOncePerSetThoughResizesMakeNewCells) {
  // The second product's cell runs off the screen's right edge.
  const double left = OVAdScreen::boundsInOrientation().size.width - 250;
  window_->addSubview(carousel_);
  carousel_->setFrame(Rect(left, 100, 250, 180));
  const OVAdMultiProductView::Products products = {product("p1.png"), product("p2.png")};
  show(products);
  runChecks();
  EXPECT_EQ(impressions_, (std::vector<std::uint64_t>{0}));

  carousel_->setFrame(Rect(left, 100, 250, 181));
  runChecks();
  EXPECT_EQ(impressions_, (std::vector<std::uint64_t>{0})) << "the new cell of a product already seen";

  carousel_->scrollView()->scrollView()->setContentOffset({188, 0});
  runChecks();
  EXPECT_EQ(impressions_, (std::vector<std::uint64_t>{0, 1}));

  show(products);
  carousel_->scrollView()->scrollView()->setContentOffset({0, 0});
  runChecks();
  EXPECT_EQ(impressions_, (std::vector<std::uint64_t>{0, 1, 0})) << "a new set is reported anew";
}

TEST_F(OVAdDefaultMultiProductViewTest, ATapReportsTheProductItsPlaceInTheCellAndTheCellInTheWindow) {
  show({product("p1.png"), product("p2.png")});
  carousel_->setFrame(Rect(20, 100, 250, 180));
  // Outside a window a tap reports nothing.
  const auto tap = std::make_shared<platform::TapGestureRecognizer>();
  cells()[0]->gestureRecognizerTappedCell(*tap);
  EXPECT_TRUE(clicks_.empty());

  window_->addSubview(carousel_);
  world_.clock().advance(1.0);
  ASSERT_TRUE(platform::Application::shared()->sendTap({60, 150}));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(clicks_.size(), 1u);
  const auto& [index, position, rect] = clicks_[0];
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(position, (platform::Point{40, 50}));
  EXPECT_EQ(rect, Rect(20, 100, 180, 180));
}

TEST_F(OVAdDefaultMultiProductViewTest, ACellOutsideTheSetReportsNotFound) {
  show({product("p1.png")});
  const auto stranger = OVAdMultiProductCell::create(Rect(0, 0, 10, 10));
  stranger->setContent(product("p2.png"));
  carousel_->multiProductCellVisible(stranger);
  carousel_->multiProductCellClicked(stranger, {1, 2}, Rect(0, 0, 10, 10));
  carousel_->multiProductCellLoaded(stranger);
  EXPECT_EQ(impressions_, (std::vector<std::uint64_t>{OVAdDefaultMultiProductView::kNotFound}));
  ASSERT_EQ(clicks_.size(), 1u);
  EXPECT_EQ(std::get<0>(clicks_[0]), OVAdDefaultMultiProductView::kNotFound);
  EXPECT_FALSE(carousel_->loadedWasCalled());
}

TEST_F(OVAdDefaultMultiProductViewTest, OnlyAnotherProductReloadsACellsImage) {
  const auto cell = OVAdMultiProductCell::create(Rect(0, 0, 100, 100));
  const auto first = product("p1.png");
  cell->setContent(first);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return cell->imageView()->image() != nullptr; }));
  cell->setContent(first);
  EXPECT_TRUE(cell->imageView()->image()) << "the same product keeps its image";
  cell->setFrame(Rect(0, 0, 100, 100));
  EXPECT_TRUE(cell->imageView()->image()) << "the same frame keeps it too";
  cell->setContent(product("p2.png"));
  EXPECT_FALSE(cell->imageView()->image()) << "another product clears it at once";
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return cell->imageView()->image() != nullptr; }));
  EXPECT_EQ(cell->imageView()->image()->size(), (platform::Size{30, 20}));
}

TEST_F(OVAdDefaultMultiProductViewTest, ALateImageOfThePreviousProductDoesNotReplaceTheNewOne) {
  testserver::Response slow = testserver::Response::text(200, pngBody(40, 10), std::chrono::milliseconds(300));
  slow.headers = {{"Content-Type", "image/png"}};
  world_.server().server().on("/media/late.png", std::move(slow));
  const auto cell = OVAdMultiProductCell::create(Rect(0, 0, 100, 100));
  cell->setContent(product("late.png"));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return mediaRequests("late.png") > 0; }));
  cell->setContent(product("p2.png"));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return cell->imageView()->image() != nullptr; }));
  // Long enough for the late answer to have come.
  platform::MainLoop::instance().runUntil([] { return false; }, 0.8);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(cell->imageView()->image()->size(), (platform::Size{30, 20}));
}

// A resize of the carousel replaces every cell, and each new cell loads its
// product's image again: the blur, which costs far more than the load, is
// made once per image and never for a cell that is gone before its image
// arrives.
TEST_F(OVAdDefaultMultiProductViewTest, AnImageIsBlurredOnceAndNotForACellGoneBeforeItArrives) {
  const auto first = OVAdMultiProductCell::create(Rect(0, 0, 100, 100));
  first->setContent(product("p3.png"));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return first->imageView()->blurredImage() != nullptr; }));
  const auto second = OVAdMultiProductCell::create(Rect(0, 0, 120, 100));
  second->setContent(product("p3.png"));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return second->imageView()->blurredImage() != nullptr; }));
  EXPECT_EQ(second->imageView()->blurredImage(), first->imageView()->blurredImage());

  testserver::Response slow = testserver::Response::text(200, pngBody(40, 10), std::chrono::milliseconds(300));
  slow.headers = {{"Content-Type", "image/png"}};
  world_.server().server().on("/media/gone.png", std::move(slow));
  auto gone = OVAdMultiProductCell::create(Rect(0, 0, 100, 100));
  gone->setContent(product("gone.png"));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return mediaRequests("gone.png") > 0; }));
  gone.reset();
  // Long enough for the image to have come and a blur to have been made.
  platform::MainLoop::instance().runUntil([] { return false; }, 0.8);
  DisplayAdTestWorld::settle();
  const auto url = platform::URL::parse(world_.server().baseURL() + "media/gone.png");
  ASSERT_TRUE(url);
  EXPECT_FALSE(OVAdCache::sharedCache()->blurredImageForURL(*url));
}

TEST_F(OVAdDefaultMultiProductViewTest, EmptyAndHugeSetsAreShownWithoutTrouble) {
  window_->addSubview(carousel_);
  carousel_->setFrame(Rect(0, 100, 250, 180));
  show({});
  EXPECT_EQ(carousel_->scrollView()->count(), 0u);
  runChecks();
  EXPECT_EQ(carouselDelegate_->loads, 0);
  EXPECT_TRUE(impressions_.empty());

  OVAdMultiProductView::Products many;
  for (int index = 0; index < 500; ++index) many.push_back(product(""));
  many.push_back(nullptr);
  show(many);
  EXPECT_EQ(carousel_->scrollView()->count(), 501u);
  carousel_->scrollView()->scrollView()->setContentOffset({188.0 * 400, 0});
  runChecks();
  EXPECT_EQ(carouselDelegate_->loads, 1);
  EXPECT_FALSE(impressions_.empty());
  for (const auto index : impressions_) EXPECT_LT(index, 500u);
}

}  // namespace
}  // namespace plexora::testing
