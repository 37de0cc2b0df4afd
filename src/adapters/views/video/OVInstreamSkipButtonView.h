// The skip button of an in-stream video ad: an in-stream text button that
// reads "Skip Ad in 5" while seconds remain before the ad may be skipped,
// and "Skip Ad" once none do. It is fitted once, to its first text; later
// texts are centred in that width.
//
// Thread safety: main thread only.
// Ownership: the in-stream content view owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "adapters/views/video/OVInstreamAdButton.h"

namespace plexora {

inline constexpr const char* kOVInstreamSkipAdInText = "Skip Ad in";
inline constexpr const char* kOVInstreamSkipAdText = "Skip Ad";

class OVInstreamSkipButtonView : public OVInstreamAdButton {
 public:
  static std::shared_ptr<OVInstreamSkipButtonView> initWithRemainingSeconds(std::uint64_t remainingSeconds) {
    return std::make_shared<OVInstreamSkipButtonView>(remainingSeconds);
  }

  // The text for the seconds, then the size fitted to it.
  explicit OVInstreamSkipButtonView(std::uint64_t remainingSeconds = 0);

  std::uint64_t remainingSeconds() const { return remainingSeconds_; }
  // Stores the seconds and shows their text; nothing when they are the
  // ones shown already.
  void setRemainingSeconds(std::uint64_t remainingSeconds);
  // The text for the stored seconds.
  std::string textWithRemainingSeconds() const;

 private:
  std::uint64_t remainingSeconds_ = 0;
};

}  // namespace plexora
