// The "Learn More" button of an in-stream video ad, also the call-to-action
// button of the video interstitial with the ad's own text: an in-stream
// text button fitted once to its text.
//
// Thread safety: main thread only.
// Ownership: the video view that shows it owns it.
#pragma once

#include <memory>
#include <string>

#include "adapters/views/video/OVInstreamAdButton.h"

namespace plexora {

inline constexpr const char* kOVInstreamLearnMoreText = "Learn More";

class OVInstreamLearnMoreView : public OVInstreamAdButton {
 public:
  // Reads kOVInstreamLearnMoreText.
  static std::shared_ptr<OVInstreamLearnMoreView> init() { return initWithText(kOVInstreamLearnMoreText); }
  static std::shared_ptr<OVInstreamLearnMoreView> initWithText(const std::string& text) {
    return std::make_shared<OVInstreamLearnMoreView>(text);
  }

  // The text, then the size fitted to it.
  explicit OVInstreamLearnMoreView(const std::string& text);
};

}  // namespace plexora
