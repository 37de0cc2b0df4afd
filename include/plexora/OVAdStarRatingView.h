// A row of five-pointed stars showing a native ad's rating: stars up to the
// rating in the primary colour, the rest in the secondary colour, and the
// right half of the last primary star in the secondary colour when the
// rating has a fraction. The host places it in its own native ad layout.
//
// The row has as many stars as the rating's scale: 3 of 10 colours three
// stars of ten. A rating that is not a number counts as 0; values below 0
// or above the scale are drawn as 0 or as the full scale, and at most
// kOVAdStarRatingMaxStars stars are drawn, so an absurd scale from the
// server can never make the row run away (the stars drawn keep the
// rating's own scale).
//
// Thread safety: main thread only.
// Ownership: a plain view; the host's view tree owns it.
#pragma once

#include "platform/Export.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"
#include "plexora/OVAdStarRating.h"

namespace plexora {

// The most stars a row draws, far more than any view is wide enough for.
inline constexpr std::int64_t kOVAdStarRatingMaxStars = 100;

class PLEXORA_EXPORT OVAdStarRatingView : public platform::View {
 public:
  explicit OVAdStarRatingView(platform::Rect frame = {}, OVAdStarRating rating = {});

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  // Star size 0.9 of the shorter side, the first star centred half the
  // shorter side in from the top left, each next star one size further.
  void updateDrawingAttributesFromSize(platform::Size size);

  const OVAdStarRating& rating() const { return rating_; }
  void setRating(OVAdStarRating rating) { rating_ = rating; }
  const platform::Color& primaryColor() const { return primaryColor_; }
  void setPrimaryColor(platform::Color color) { primaryColor_ = color; }
  const platform::Color& secondaryColor() const { return secondaryColor_; }
  void setSecondaryColor(platform::Color color) { secondaryColor_ = color; }
  double xCenter() const { return xCenter_; }
  double yCenter() const { return yCenter_; }
  double xIncrement() const { return xIncrement_; }
  double width() const { return width_; }

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 private:
  OVAdStarRating rating_;
  platform::Color primaryColor_{0.937, 0.871, 0.043, 1.0};
  platform::Color secondaryColor_ = platform::Color::grey(0.918, 1.0);
  double xCenter_ = 0.0;
  double yCenter_ = 0.0;
  double xIncrement_ = 0.0;
  double width_ = 0.0;
};

}  // namespace plexora
