// Feeds arbitrary text to the native data model as a candidate's data could
// arrive from the ad server, then reads every asset the ad and its views
// use. It must never crash, and every answer must be consistent: a valid
// model has a title, a call to action and a cover with a location; images
// keep their role and a 32-bit size; the snapshot quality lies from 0 to 1;
// every carousel card carries the ad's client token; colours of the style
// lie from 0 to 1; the shortened body never grows past its limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>

#include "OVNativeAdBody.h"
#include "adapters/OVNativeAdDataModel.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAdViewAttributes.h"
#include "util/OVAdUtility.h"

using plexora::OVAdImage;
using plexora::OVNativeAdDataModel;
using plexora::platform::Color;
using plexora::platform::Value;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "native_data_model_fuzz: %s\n", what);
  std::abort();
}

void checkImage(const std::shared_ptr<OVAdImage>& image, plexora::OVAdImageType type) {
  if (!image) return;
  require(image->url().has_value(), "an image without a location");
  require(image->type() == type, "an image in the wrong role");
  constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kHighest = std::numeric_limits<std::int32_t>::max();
  require(image->width() >= kLowest && image->width() <= kHighest, "a width beyond 32 bits");
  require(image->height() >= kLowest && image->height() <= kHighest, "a height beyond 32 bits");
}

void checkColor(const std::optional<Color>& color) {
  if (!color) return;
  for (const double component : {color->red, color->green, color->blue, color->alpha}) {
    require(component >= 0.0 && component <= 1.0, "a colour component out of range");
  }
}

// Characters of UTF-8 text, each lead byte or stray byte counted once.
std::size_t characters(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<Value> metadata = plexora::OVAdUtility::getObjectFromJSONString(text);
  if (!metadata) return 0;
  // The feature configuration is the configuration manager's to read (and
  // save to disk), not this model's.
  if (metadata->isDictionary()) metadata->erase(plexora::kOVAdDataModelFeatureConfigKey);

  const auto model = OVNativeAdDataModel::initWithMetadata(*metadata);
  require(model != nullptr, "no model");
  if (model->isValid()) {
    require(model->title() && !model->title()->empty(), "valid without a title");
    require(model->callToAction() && !model->callToAction()->empty(), "valid without a call to action");
    require(model->image() && model->image()->url(), "valid without a cover");
    require(model->inlineClientToken() && !model->inlineClientToken()->empty(), "valid without a token");
  }
  checkImage(model->icon(), plexora::kOVAdImageTypeIcon);
  checkImage(model->image(), plexora::kOVAdImageTypeCover);
  checkImage(model->adChoicesIcon(), plexora::kOVAdImageTypeOther);
  const double quality = model->snapshotCompressionQuality();
  require(quality >= 0.0 && quality <= 1.0, "a snapshot quality out of range");

  const auto& token = model->inlineClientToken();
  for (const auto& card : model->multiProductAdContent()) {
    require(card != nullptr, "a missing card");
    checkImage(card->image(), plexora::kOVAdImageTypeCover);
    if (token && !token->empty()) require(card->inlineClientToken() == token, "a card without the ad's token");
  }

  if (const auto& attributes = model->adViewAttributes()) {
    for (const auto& color : {attributes->backgroundColor, attributes->titleColor, attributes->descriptionColor,
                              attributes->buttonColor, attributes->buttonTitleColor, attributes->buttonBorderColor,
                              attributes->adChoicesTitleColor, attributes->adChoicesBackgroundColor}) {
      checkColor(color);
    }
  }

  if (const auto& body = model->body()) {
    const std::string shortened = plexora::OVNativeAdShortenedBody(*body);
    require(characters(shortened) <= plexora::kOVNativeAdBodyLimit + 3, "a shortened body past its limit");
    if (characters(*body) <= plexora::kOVNativeAdBodyLimit) require(shortened == *body, "a short body changed");
  }
  return 0;
}
