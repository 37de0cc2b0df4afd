// One product's cell of the carousel: the product image over its blurred
// copy, a viewability check of its own whose first viewable result is the
// product's impression, and a tap that reports where it landed.
//
// A new content (a product other than the one shown) reloads the image; so
// does a change of the cell's frame to another non-empty rectangle. An image
// is blurred on the default global queue (once per image address: the copy
// is kept in the ad cache; and not at all for a load superseded or of a cell
// gone) and both images are shown on the main queue; an image that cannot
// be had still tells the delegate that the cell has loaded, so the
// carousel's owner is not left waiting on it.
//
// The model draws no opacity: debug mode shows as half alpha.
//
// Thread safety: main thread only, except the blur.
// Ownership: the view tree owns the image view; the cell owns its validator
// and holds its content and its delegate weakly. The image load holds the
// cell and its image view weakly.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "adapters/views/nativead/image/OVAdBlurredImageView.h"
#include "adapters/views/nativead/utility/OVAdScrollView.h"
#include "internal/OVAdViewabilityValidator.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdMultiProductCell;
class OVNativeAdMultiProductDataModel;

namespace platform {
class GestureRecognizer;
}

class OVAdMultiProductCellDelegate {
 public:
  virtual ~OVAdMultiProductCellDelegate() = default;
  // The cell's image load ended: shown, or not to be had.
  virtual void multiProductCellLoaded(const std::shared_ptr<OVAdMultiProductCell>& cell) = 0;
  // The cell was viewable for the first time.
  virtual void multiProductCellVisible(const std::shared_ptr<OVAdMultiProductCell>& cell) = 0;
  // A tap at `position` in the cell, whose bounds lie at `rect` in the window.
  virtual void multiProductCellClicked(const std::shared_ptr<OVAdMultiProductCell>& cell, platform::Point position,
                                       platform::Rect rect) = 0;
};

class OVAdMultiProductCell final : public platform::View,
                                   public OVAdViewabilityValidatorDelegate,
                                   public OVAdScrollViewCell,
                                   public OVAdBlurredImageViewDelegate {
 public:
  // The share of the cell that must be on screen for its impression.
  static constexpr std::int64_t kMinViewabilityPercentage = 50;
  static constexpr double kDebugAlpha = 0.5;

  static std::shared_ptr<OVAdMultiProductCell> create(platform::Rect frame = {});
  ~OVAdMultiProductCell() override;

  std::shared_ptr<OVNativeAdMultiProductDataModel> content() const { return content_.lock(); }
  // Reloads the image only for another product.
  void setContent(const std::shared_ptr<OVNativeAdMultiProductDataModel>& content);
  std::shared_ptr<OVAdMultiProductCellDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdMultiProductCellDelegate> delegate) { delegate_ = std::move(delegate); }
  bool debugMode() const { return debugMode_; }
  void setDebugMode(bool debugMode) { debugMode_ = debugMode; }

  std::shared_ptr<OVAdBlurredImageView> imageView() const { return imageView_.lock(); }
  const std::shared_ptr<OVAdViewabilityValidator>& viewabilityValidator() const { return viewabilityValidator_; }

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  // Reloads the image when changed; nothing otherwise.
  void updateView(bool changed);

  // Nothing outside a window; otherwise the tap's place in the cell and the
  // cell's bounds in the window go to the delegate.
  void gestureRecognizerTappedCell(platform::GestureRecognizer& recognizer);
  void dispatchClickedWithPosition(platform::Point position, platform::Rect rect);

  // Viewable reports the cell once and ends the checks.
  bool viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& validator,
                            OVAdViewabilityStatus status) override;
  void updateCellWithData(const std::shared_ptr<OVAdDataModel>& data) override;
  void blurredImageViewDidLoad(const std::shared_ptr<OVAdBlurredImageView>& blurredImageView) override;

 private:
  void build();
  void loadImage();
  void imageLoaded();
  std::shared_ptr<OVAdMultiProductCell> self();

  std::weak_ptr<OVAdBlurredImageView> imageView_;
  std::shared_ptr<OVAdViewabilityValidator> viewabilityValidator_;
  std::weak_ptr<OVNativeAdMultiProductDataModel> content_;
  std::weak_ptr<OVAdMultiProductCellDelegate> delegate_;
  bool debugMode_ = false;
  // Moves on with every image load and when the cell goes, so an older load
  // that answers late does not replace the newer image, and one that is no
  // longer wanted is not blurred. Read by the blur on a global queue.
  std::shared_ptr<std::atomic<std::uint64_t>> currentImageLoad_ = std::make_shared<std::atomic<std::uint64_t>>(0);
};

}  // namespace plexora
