// A single tap: recognised when the touch ends without having moved more
// than kTapAllowableMovement points from where it began; fails when it moves
// further or is cancelled.
//
// Thread safety: main thread only.
#pragma once

#include "platform/Export.h"
#include "platform/ui/GestureRecognizer.h"

namespace plexora::platform {

inline constexpr double kTapAllowableMovement = 10.0;

class PLEXORA_EXPORT TapGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  void touchesBegan(const Touches& touches, const Event& event) override;
  void touchesMoved(const Touches& touches, const Event& event) override;
  void touchesEnded(const Touches& touches, const Event& event) override;
  void touchesCancelled(const Touches& touches, const Event& event) override;

 protected:
  void reset() override;

 private:
  Point start_;
};

}  // namespace plexora::platform
