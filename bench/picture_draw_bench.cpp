// Drawing a populated native-ad-like view tree into an image: a card of
// about 40 views (icon, title, body, cover image, ten rows of thumbnail,
// name and detail, a call-to-action button, a badge), much what a filled
// template shows.
//   BM_DrawCard/<scale>   one picture of the whole card at that screen scale
//   BM_MeasureCardText    measuring every label of the card (what a layout
//                         pass asks of the text engine)
//   BM_DrawTemplate400/<scale>
//                         one picture of the library's tallest native
//                         template (400 points) filled from a loaded ad
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "adapters/views/nativead/image/OVAdBlurredImageView.h"
#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacement.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextMeasurement.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewRendering.h"
#include "plexora/OVMediaView.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdView.h"
#include "server/OVAdProvider.h"
#include "server/OVAdProviderResponse.h"
#include "util/cache/OVAdCache.h"

namespace {

using namespace plexora::platform;
using plexora::OVNativeAd;
using plexora::OVNativeAdView;

constexpr double kCardWidth = 320.0;
constexpr double kCardHeight = 480.0;
constexpr int kRows = 10;

// A picture with some detail, so scaling it does real work.
std::shared_ptr<Image> photo(std::uint32_t width, std::uint32_t height) {
  auto image = Image::create(width, height, 2.0, Color::white());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      image->setPixel(x, y, Pixel{static_cast<std::uint8_t>(x * 255 / width), static_cast<std::uint8_t>(y * 255 / height),
                                  static_cast<std::uint8_t>((x ^ y) & 0xFF), 255});
    }
  }
  return image;
}

std::shared_ptr<Label> label(Rect frame, std::string text, Font font, int lines) {
  auto view = std::make_shared<Label>(frame);
  view->setText(std::move(text));
  view->setFont(font);
  view->setNumberOfLines(lines);
  return view;
}

std::shared_ptr<View> makeCard() {
  auto card = std::make_shared<View>(Rect(0, 0, kCardWidth, kCardHeight));
  card->setBackgroundColor(Color::white());
  card->setCornerRadius(8);
  card->setBorderWidth(1);
  card->setBorderColor(Color::grey(0.8, 1));
  card->setClipsToBounds(true);

  auto icon = std::make_shared<ImageView>(photo(120, 120));
  icon->setFrame(Rect(10, 10, 60, 60));
  icon->setCornerRadius(7.5);
  icon->setClipsToBounds(true);
  card->addSubview(icon);
  card->addSubview(label(Rect(80, 10, 230, 22), "Sunset Valley Adventures", Font::boldSystemFont(16), 1));
  card->addSubview(label(Rect(80, 32, 230, 38),
                         "Build your own mountain village, trade with friends and explore the valley at dusk.",
                         Font::systemFont(Font::kSmallSystemFontSize), 2));

  auto cover = std::make_shared<ImageView>(photo(600, 320));
  cover->setFrame(Rect(0, 80, kCardWidth, 150));
  cover->setContentMode(ContentMode::ScaleAspectFill);
  cover->setClipsToBounds(true);
  card->addSubview(cover);

  for (int row = 0; row < kRows; ++row) {
    const double top = 236 + row * 19;
    auto thumbnail = std::make_shared<ImageView>(photo(32, 32));
    thumbnail->setFrame(Rect(10, top, 16, 16));
    card->addSubview(thumbnail);
    card->addSubview(label(Rect(32, top, 150, 16), "Item number " + std::to_string(row + 1), Font::systemFont(12), 1));
    card->addSubview(label(Rect(190, top, 120, 16), "4.5 stars, free", Font::systemFont(11), 1));
  }

  auto button = std::make_shared<Button>(Rect(10, 430, 300, 40));
  button->setBackgroundColor(Color{0.1, 0.45, 0.9, 1});
  button->setCornerRadius(2.5);
  button->setTitle("Install now", kControlStateNormal);
  card->addSubview(button);

  auto badge = std::make_shared<View>(Rect(270, 0, 50, 15));
  badge->setBackgroundColor(Color::grey(0, 0.7));
  badge->setMask(RoundedCornerMask{Rect(0, 0, 50, 15), kRectCornerBottomLeft, 5});
  badge->addSubview(label(Rect(4, 0, 46, 15), "Sponsored", Font::systemFont(8), 1));
  card->addSubview(badge);
  return card;
}

std::size_t countViews(const View& view) {
  std::size_t count = 1;
  for (const auto& subview : view.subviews()) count += countViews(*subview);
  return count;
}

void BM_DrawCard(benchmark::State& state) {
  const auto card = makeCard();
  const double scale = static_cast<double>(state.range(0));
  for (auto _ : state) {
    auto image = renderView(*card, card->bounds(), scale, Color::black());
    benchmark::DoNotOptimize(image);
  }
  state.counters["views"] = static_cast<double>(countViews(*card));
}
BENCHMARK(BM_DrawCard)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_MeasureCardText(benchmark::State& state) {
  const auto card = makeCard();
  std::vector<std::shared_ptr<Label>> labels;
  for (const auto& subview : card->subviews()) {
    if (auto found = std::dynamic_pointer_cast<Label>(subview)) labels.push_back(found);
  }
  for (auto _ : state) {
    for (const auto& each : labels) benchmark::DoNotOptimize(each->sizeThatFits(each->bounds().size));
  }
  state.counters["labels"] = static_cast<double>(labels.size());
}
BENCHMARK(BM_MeasureCardText)->Unit(benchmark::kMicrosecond);

constexpr const char* kIconURL = "http://127.0.0.1:9/icon.png";
constexpr const char* kCoverURL = "http://127.0.0.1:9/cover.jpg";
constexpr double kTemplateWidth = 375.0;
constexpr double kWaitSeconds = 20.0;

// A native ad loaded from an answer already in hand, with every text a
// template shows; its images are put into the resource cache beforehand,
// so nothing goes to the network.
// Whether the media view shows its cover: its blurred image view has the
// picture.
bool coverShows(const plexora::OVMediaView& mediaView) {
  for (const auto& subview : mediaView.subviews()) {
    if (const auto blurred = std::dynamic_pointer_cast<plexora::OVAdBlurredImageView>(subview); blurred && blurred->image()) {
      return true;
    }
  }
  return false;
}

std::shared_ptr<OVNativeAd> loadedNativeAd() {
  plexora::bench::useScratchDirectory("picture-draw-bench");
  const auto cache = plexora::OVAdCache::sharedCache();
  cache->setImage(photo(128, 128), *URL::parse(kIconURL));
  cache->setImage(photo(1200, 628), *URL::parse(kCoverURL));

  const Dictionary data{
      {"ct", "ct-bench"},
      {"title", "Trailblazer Boots"},
      {"subtitle", "Outdoor gear"},
      {"social_context", "12,400 people like this"},
      {"call_to_action", "Shop Now"},
      {"body", "Waterproof hiking boots built for every season. Free returns within 60 days."},
      {"star_rating", Dictionary{{"value", 4.5}, {"scale", 5}}},
      {"icon", Dictionary{{"url", kIconURL}, {"width", 128}, {"height", 128}}},
      {"image", Dictionary{{"url", kCoverURL}, {"width", 1200}, {"height", 628}}},
      {"ad_choices_text", "AdChoices"},
      {"ovad_command", "ovad://close"},
  };
  const plexora::OVAdProviderResponseAds response(std::make_shared<plexora::OVAdPlacement>(
      0, "", std::make_shared<plexora::OVAdPlacementDefinition>(),
      std::vector<std::shared_ptr<plexora::OVAdCandidate>>{
          std::make_shared<plexora::OVAdCandidate>("PX", data, Value(Array{}))}));
  auto ad = OVNativeAd::initWithPlacementID("picture-draw-bench",
                                            plexora::OVAdProviderWithResponse::initWithResponse(response, 0));
  ad->setMediaCachePolicy(plexora::kOVNativeAdMediaCachePolicyNone);
  ad->loadAd();
  MainLoop::instance().runUntil([&] { return ad->isAdValid(); }, kWaitSeconds);
  return ad;
}

void BM_DrawTemplate400(benchmark::State& state) {
  static const auto ad = loadedNativeAd();
  if (!ad->isAdValid()) {
    state.SkipWithError("the native ad did not load");
    return;
  }
  const auto view = OVNativeAdView::nativeAdViewWithNativeAd(
      ad, plexora::kOVNativeAdViewTypeGenericHeight400,
      plexora::OVNativeAdViewAttributes::internalAttributesForType(plexora::kOVNativeAdViewTypeGenericHeight400));
  view->setFrame(Rect(0, 0, kTemplateWidth, view->fixedHeight()));
  // The template takes its images from the cache a main-queue turn later.
  MainLoop::instance().runUntil([&] { return coverShows(*view->coverImageView()) && view->iconImageView()->image(); },
                                kWaitSeconds);
  if (!coverShows(*view->coverImageView())) {
    state.SkipWithError("the template's images did not arrive");
    return;
  }
  const double scale = static_cast<double>(state.range(0));
  for (auto _ : state) {
    auto image = renderView(*view, view->bounds(), scale, Color::white());
    benchmark::DoNotOptimize(image);
  }
  state.counters["views"] = static_cast<double>(countViews(*view));
}
BENCHMARK(BM_DrawTemplate400)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
