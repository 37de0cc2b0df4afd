// A slider: a control whose value lies between a minimum and a maximum and
// follows a finger along the control's width. It draws its minimum-track
// image from the left to the thumb, its maximum-track image from the thumb
// to the right and its thumb image over them; a missing image draws
// nothing (a missing thumb still takes kDefaultThumbSize for its place).
//
// A touch is followed when beginTracking() answers true, by default when it
// lands on the thumb; a followed touch sends the control's touch events,
// and each move that changes the value sends ValueChanged before them.
//
// Thread safety: main thread only.
// Ownership: the slider keeps its images.
#pragma once

#include <map>
#include <memory>

#include "platform/Export.h"
#include "platform/ui/Control.h"
#include "platform/ui/Image.h"

namespace plexora::platform {

class PLEXORA_EXPORT Slider : public Control {
 public:
  static constexpr double kDefaultThumbSize = 28.0;

  using Control::Control;

  float value() const { return value_; }
  // Clamped to the range; the model has no presentation layer, so
  // `animated` changes nothing but is kept for callers that animate.
  void setValue(float value, bool animated = false);
  float minimumValue() const { return minimumValue_; }
  // The value and the maximum are kept within the new range.
  void setMinimumValue(float minimumValue);
  float maximumValue() const { return maximumValue_; }
  void setMaximumValue(float maximumValue);

  // A null image for the normal state draws nothing; for another state it
  // makes that state use the normal state's image again, as does a state
  // never given one.
  void setThumbImage(std::shared_ptr<Image> image, ControlState state);
  std::shared_ptr<Image> thumbImage(ControlState state) const;
  void setMinimumTrackImage(std::shared_ptr<Image> image, ControlState state);
  std::shared_ptr<Image> minimumTrackImage(ControlState state) const;
  void setMaximumTrackImage(std::shared_ptr<Image> image, ControlState state);
  std::shared_ptr<Image> maximumTrackImage(ControlState state) const;

  // Where the thumb is drawn for the current value, in the bounds.
  Rect thumbRect() const;
  // The value a touch at `x` (in the bounds) stands for.
  float valueForLocation(double x) const;

  void touchesBegan(const Touches& touches, const Event& event) override;
  void touchesMoved(const Touches& touches, const Event& event) override;
  void touchesEnded(const Touches& touches, const Event& event) override;

  void draw(GraphicsContext& context, Rect rect) const override;

 protected:
  // Whether the touch starts tracking; by default when it lands on the
  // thumb.
  virtual bool beginTracking(const Touch& touch, const Event& event);

 private:
  using Images = std::map<ControlState, std::shared_ptr<Image>>;
  static std::shared_ptr<Image> imageFor(const Images& images, ControlState state);
  void setImage(Images& images, std::shared_ptr<Image> image, ControlState state);
  Size thumbSize() const;
  void follow(const Touches& touches, const Event& event);

  float value_ = 0.0F;
  float minimumValue_ = 0.0F;
  float maximumValue_ = 1.0F;
  Images thumbImages_;
  Images minimumTrackImages_;
  Images maximumTrackImages_;
};

}  // namespace plexora::platform
