#include "adapters/views/video/OVInstreamSkipButtonView.h"

#include <cstdio>

namespace plexora {

namespace {

constexpr const char* kSkipAdInFormat = "%s %llu";

}  // namespace

OVInstreamSkipButtonView::OVInstreamSkipButtonView(std::uint64_t remainingSeconds) {
  setRemainingSeconds(remainingSeconds);
  sizeToFitText();
}

void OVInstreamSkipButtonView::setRemainingSeconds(std::uint64_t remainingSeconds) {
  if (remainingSeconds == remainingSeconds_ && !text().empty()) return;
  remainingSeconds_ = remainingSeconds;
  setText(textWithRemainingSeconds());
}

std::string OVInstreamSkipButtonView::textWithRemainingSeconds() const {
  if (remainingSeconds_ == 0) return kOVInstreamSkipAdText;
  char text[64];
  std::snprintf(text, sizeof text, kSkipAdInFormat, kOVInstreamSkipAdInText,
                static_cast<unsigned long long>(remainingSeconds_));
  return text;
}

}  // namespace plexora
