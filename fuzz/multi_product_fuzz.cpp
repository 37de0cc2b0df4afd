// Feeds arbitrary text to a native ad's data model as a carousel ad's data
// could arrive from the ad server, then builds the library's carousel from
// its products, headless, in a window. The input is the ad's data; after a
// NUL byte, optional bytes choose the carousel's frame (any numbers, not
// finite ones included) and a second frame it is resized to.
// It must never crash, and every answer must be consistent: one product per
// dictionary in the "carousel" array, in order, each carrying the ad's
// client token; the carousel keeps every product it was given and tells its
// delegate of the load only for a set with products.
//
// The products' images are left out of the carousel's copies: a cell
// fetches its image, and a fuzzer fetches nothing from the addresses its
// input names.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "adapters/OVNativeAdDataModel.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "adapters/views/nativead/OVAdDefaultMultiProductView.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Window.h"
#include "util/OVAdUtility.h"

using plexora::OVAdDefaultMultiProductView;
using plexora::OVNativeAdDataModel;
using plexora::OVNativeAdMultiProductDataModel;
using plexora::platform::Rect;
using plexora::platform::Value;

namespace {

constexpr const char* kImageKey = "image";
constexpr const char* kCarouselKey = "carousel";

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "multi_product_fuzz: %s\n", what);
  std::abort();
}

class LoadCounter final : public plexora::OVAdMultiProductViewDelegate {
 public:
  void multiProductViewDidLoad(const std::shared_ptr<plexora::OVAdMultiProductView>&) override { ++loads; }
  int loads = 0;
};

Rect frameOf(FuzzedDataProvider& geometry, Rect fallback) {
  if (geometry.remaining_bytes() == 0) return fallback;
  const double x = geometry.ConsumeFloatingPoint<double>();
  const double y = geometry.ConsumeFloatingPoint<double>();
  const double width = geometry.ConsumeFloatingPoint<double>();
  const double height = geometry.ConsumeFloatingPoint<double>();
  return Rect(x, y, width, height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Timers (the cells' viewability checks) wait on a clock nobody moves,
  // and go with it at the end of the run.
  const plexora::platform::ScopedClock scopedClock(std::make_shared<plexora::platform::ManualClock>());

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t end = input.find('\0');
  const std::string_view text = input.substr(0, end);
  const std::string_view rest = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  FuzzedDataProvider geometry(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());

  std::optional<Value> metadata = plexora::OVAdUtility::getObjectFromJSONString(text);
  if (!metadata) return 0;
  // The feature configuration is the configuration manager's to read (and
  // save to disk), not this model's.
  if (metadata->isDictionary()) metadata->erase(plexora::kOVAdDataModelFeatureConfigKey);
  const auto model = OVNativeAdDataModel::initWithMetadata(*metadata);
  require(model != nullptr, "no model");

  const auto& cards = model->multiProductAdContent();
  std::size_t dictionaries = 0;
  if (const Value* carousel = metadata->isDictionary() ? metadata->find(kCarouselKey) : nullptr;
      carousel != nullptr && carousel->isArray()) {
    for (const Value& entry : carousel->asArray()) dictionaries += entry.isDictionary() ? 1 : 0;
  }
  require(cards.size() == dictionaries, "a product lost or made up");
  const auto& token = model->inlineClientToken();
  OVAdDefaultMultiProductView::Products products;
  for (const auto& card : cards) {
    require(card != nullptr, "a missing product");
    if (token && !token->empty()) require(card->inlineClientToken() == token, "a product without the ad's token");
    Value copy = card->metadata();
    copy.erase(kImageKey);
    products.push_back(OVNativeAdMultiProductDataModel::initWithMetadata(copy));
  }

  auto window = std::make_shared<plexora::platform::Window>(Rect(0, 0, 375, 667));
  window->makeKeyAndVisible();
  auto delegate = std::make_shared<LoadCounter>();
  {
    auto carousel = OVAdDefaultMultiProductView::create();
    carousel->setDelegate(delegate);
    window->addSubview(carousel);
    carousel->setFrame(frameOf(geometry, Rect(0, 0, 320, 180)));
    std::size_t impressions = 0;
    carousel->setMultiProductAds(
        products, [&impressions](std::uint64_t) { ++impressions; },
        [](std::uint64_t, plexora::platform::Point, Rect) {});
    plexora::platform::DispatchQueue::settle();
    carousel->setFrame(frameOf(geometry, carousel->frame()));
    plexora::platform::DispatchQueue::settle();
    require(carousel->multiProductAds().size() == products.size(), "the carousel dropped a product");
    if (products.empty()) require(delegate->loads == 0 && !carousel->loadedWasCalled(), "a load without products");
    require(delegate->loads <= 1, "more than one load for one set");
    carousel->removeFromSuperview();
  }
  window.reset();
  plexora::platform::DispatchQueue::settle();
  return 0;
}
