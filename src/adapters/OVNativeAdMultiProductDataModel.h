// One card of a native carousel ad: its texts, its image and the command a
// tap on it runs. Its client token is the parent ad's, which the parent
// writes into the card's data, so every event of a card is logged against
// the ad.
//
// Thread safety: immutable after it is made; read on any thread.
// Ownership: shared by the parent data model and the views that show it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVAdDataModel.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"

namespace plexora {

class OVAdImage;

class OVNativeAdMultiProductDataModel final : public OVAdDataModel {
 public:
  // A card of the data (anything but a dictionary reads as an empty one).
  static std::shared_ptr<OVNativeAdMultiProductDataModel> initWithMetadata(const platform::Value& metadata);
  // A card of no data.
  static std::shared_ptr<OVNativeAdMultiProductDataModel> create();

  // A card needs only an image with a location; it carries its parent's
  // token, so the token is not checked here.
  bool isValid() const override;

  const platform::Value& metadata() const { return metadata_; }
  const std::optional<std::string>& title() const { return title_; }
  const std::optional<std::string>& subtitle() const { return subtitle_; }
  const std::optional<std::string>& body() const { return body_; }
  const std::optional<std::string>& callToAction() const { return callToAction_; }
  const std::shared_ptr<OVAdImage>& image() const { return image_; }
  const std::optional<platform::URL>& commandURL() const { return commandURL_; }

  explicit OVNativeAdMultiProductDataModel(const platform::Value& metadata);

 private:
  platform::Value metadata_;
  std::optional<std::string> title_;
  std::optional<std::string> subtitle_;
  std::optional<std::string> body_;
  std::optional<std::string> callToAction_;
  std::shared_ptr<OVAdImage> image_;
  std::optional<platform::URL> commandURL_;
};

}  // namespace plexora
