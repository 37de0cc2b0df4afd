// Doubles of the native-ad views: the multi-product carousel, the blurred
// image view and the body view. Each keeps what it is given; the carousel
// lets the test play its products' impressions and taps and its load.
#pragma once

#include <memory>
#include <vector>

#include "adapters/views/nativead/OVAdBodyView.h"
#include "adapters/views/nativead/image/OVAdBlurredImageView.h"
#include "adapters/views/nativead/OVAdMultiProductView.h"
#include "platform/ui/Label.h"
#include "support/doubles/MadeList.h"

namespace plexora::testing {

class FakeMultiProductView final : public OVAdMultiProductView {
 public:
  static Maker::Scope install(const MadeList<FakeMultiProductView>& made) {
    return Maker::Scope(OVAdMultiProductView::maker(), [made] {
      auto view = std::make_shared<FakeMultiProductView>();
      made->push_back(view);
      return view;
    });
  }

  void setDelegate(std::weak_ptr<OVAdMultiProductViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  void setMultiProductAds(Products products, ImpressionHandler impressionHandler, ClickHandler clickHandler) override {
    products_ = std::move(products);
    impressionHandler_ = std::move(impressionHandler);
    clickHandler_ = std::move(clickHandler);
  }
  Products multiProductAds() const override { return products_; }

  void finishLoad() {
    if (auto listener = delegate_.lock()) {
      listener->multiProductViewDidLoad(std::static_pointer_cast<OVAdMultiProductView>(shared_from_this()));
    }
  }
  void showProduct(std::uint64_t index) {
    if (impressionHandler_) impressionHandler_(index);
  }
  void tapProduct(std::uint64_t index, platform::Point position, platform::Rect cellRect) {
    if (clickHandler_) clickHandler_(index, position, cellRect);
  }

 private:
  std::weak_ptr<OVAdMultiProductViewDelegate> delegate_;
  Products products_;
  ImpressionHandler impressionHandler_;
  ClickHandler clickHandler_;
};

class FakeBlurredImageView final : public OVAdBlurredImageView {
 public:
  static Maker::Scope install(const MadeList<FakeBlurredImageView>& made) {
    return Maker::Scope(OVAdBlurredImageView::maker(), [made] {
      auto view = std::make_shared<FakeBlurredImageView>();
      made->push_back(view);
      return view;
    });
  }

  void setDelegate(std::weak_ptr<OVAdBlurredImageViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  std::shared_ptr<platform::Image> image() const override { return image_; }
  void setImage(std::shared_ptr<platform::Image> image) override { image_ = std::move(image); }
  std::shared_ptr<platform::Image> blurredImage() const override { return blurredImage_; }
  void setBlurredImage(std::shared_ptr<platform::Image> blurredImage) override {
    blurredImage_ = std::move(blurredImage);
  }

  // The view shows its images.
  void finishLoad() {
    if (auto listener = delegate_.lock()) {
      listener->blurredImageViewDidLoad(std::static_pointer_cast<OVAdBlurredImageView>(shared_from_this()));
    }
  }

 private:
  std::weak_ptr<OVAdBlurredImageViewDelegate> delegate_;
  std::shared_ptr<platform::Image> image_;
  std::shared_ptr<platform::Image> blurredImage_;
};

class FakeBodyView final : public OVAdBodyView {
 public:
  static Maker::Scope install(const MadeList<FakeBodyView>& made) {
    return Maker::Scope(OVAdBodyView::maker(), [made](platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                                                      const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
      auto view = std::make_shared<FakeBodyView>(frame);
      view->nativeAd = nativeAd;
      view->attributes = attributes;
      made->push_back(view);
      return view;
    });
  }

  explicit FakeBodyView(platform::Rect frame) { setFrame(frame); }

  void setAnimationEnabled(bool enabled) override { animationEnabled = enabled; }
  std::shared_ptr<platform::Label> titleLabel() const override { return titleLabel_; }
  std::shared_ptr<platform::Label> descriptionLabel() const override { return descriptionLabel_; }
  std::shared_ptr<platform::Label> socialContextLabel() const override { return socialContextLabel_; }

  std::weak_ptr<OVNativeAd> nativeAd;
  std::weak_ptr<OVNativeAdViewAttributes> attributes;
  bool animationEnabled = false;

 private:
  std::shared_ptr<platform::Label> titleLabel_ = std::make_shared<platform::Label>();
  std::shared_ptr<platform::Label> descriptionLabel_ = std::make_shared<platform::Label>();
  std::shared_ptr<platform::Label> socialContextLabel_ = std::make_shared<platform::Label>();
};

}  // namespace plexora::testing
