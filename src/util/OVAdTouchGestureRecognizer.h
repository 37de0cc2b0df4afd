// A recogniser that only watches: it hands every raw touch on an ad view to
// its delegate (the HTML content containers keep them as the click's
// "touch" data) and never recognises a gesture, fires an action or keeps a
// touch from the views under it, so the ad's own buttons and links still
// get their taps.
//
// Thread safety: main thread only.
// Ownership: the view owns the recogniser; the recogniser holds its
// delegate weakly.
#pragma once

#include <memory>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/LongPressGestureRecognizer.h"

namespace plexora {

class OVAdTouchGestureRecognizer;

// Each operation is optional: the base does nothing.
class OVAdTouchGestureRecognizerDelegate : public platform::GestureRecognizerDelegate {
 public:
  virtual void gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer& recognizer,
                                                 const platform::Touches& touches, const platform::Event& event) {}
  virtual void gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer& recognizer,
                                                 const platform::Touches& touches, const platform::Event& event) {}
  virtual void gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer& recognizer,
                                                 const platform::Touches& touches, const platform::Event& event) {}
  virtual void gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer& recognizer,
                                                     const platform::Touches& touches, const platform::Event& event) {}
};

class OVAdTouchGestureRecognizer final : public platform::LongPressGestureRecognizer {
 public:
  OVAdTouchGestureRecognizer();

  // The delegate when it is a touch delegate; none otherwise.
  std::shared_ptr<OVAdTouchGestureRecognizerDelegate> touchDelegate() const;

  void touchesBegan(const platform::Touches& touches, const platform::Event& event) override;
  void touchesMoved(const platform::Touches& touches, const platform::Event& event) override;
  void touchesEnded(const platform::Touches& touches, const platform::Event& event) override;
  void touchesCancelled(const platform::Touches& touches, const platform::Event& event) override;
};

}  // namespace plexora
