// What a carousel native ad costs to fill: its view handed N products at
// once makes, places and fills one cell per product. The products name no
// image, so the figure is the cells' work, not downloads.
//   BM_CarouselCards/<N>   setMultiProductAds with N products, until its
//                          rebuild returns; per card the time should stay
//                          flat as N grows
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BenchProcess.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "adapters/views/nativead/OVAdDefaultMultiProductView.h"
#include "adapters/views/nativead/utility/OVAdScrollView.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Geometry.h"
#include "util/OVAdUtility.h"

namespace {

using namespace plexora;

const platform::Rect kCarouselFrame{0, 0, 320, 250};

OVAdMultiProductView::Products productsOf(std::int64_t count) {
  OVAdMultiProductView::Products products;
  for (std::int64_t index = 0; index < count; ++index) {
    const auto metadata = OVAdUtility::getObjectFromJSONString(R"({"title":"Product )" + std::to_string(index) +
                                                               R"(","subtitle":"Free delivery"})");
    products.push_back(OVNativeAdMultiProductDataModel::initWithMetadata(metadata.value_or(platform::Value())));
  }
  return products;
}

void BM_CarouselCards(benchmark::State& state) {
  static const std::string scratch = bench::useScratchDirectory("carousel-bench");
  const std::int64_t cards = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    auto carousel = OVAdDefaultMultiProductView::create();
    carousel->setFrame(kCarouselFrame);
    auto products = productsOf(cards);
    state.ResumeTiming();
    carousel->setMultiProductAds(std::move(products), nullptr, nullptr);
    state.PauseTiming();
    const bool complete = carousel->scrollView()->count() == static_cast<std::uint64_t>(cards);
    // The fades and layout passes the cells queued, and the carousel's end,
    // outside the figure.
    platform::DispatchQueue::settle();
    carousel.reset();
    platform::DispatchQueue::settle();
    state.ResumeTiming();
    if (!complete) {
      state.SkipWithError("the carousel did not make a cell per product");
      break;
    }
  }
  state.counters["per_card_us"] = benchmark::Counter(static_cast<double>(cards) * 1e-6,
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(BM_CarouselCards)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
