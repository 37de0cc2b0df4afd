// The library's carousel: a horizontally scrolling row of square cards as
// tall as the view, 8 points apart, each with its product's image and its
// title along the bottom. A card registers its impression the first time at
// least half of it shows inside the carousel while the carousel is in a
// window; a tap on a card reports the card and the point of the tap in the
// carousel's superview (the media view, whose bounds the carousel fills).
//
// Thread safety: main thread only.
// Ownership: the carousel owns its scroll view and cards (through its view
// tree) and the two handlers; it holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "adapters/views/nativead/utility/OVAdMultiProductView.h"
#include "platform/ui/ScrollView.h"

namespace plexora {

class OVAdDefaultMultiProductView final : public OVAdMultiProductView, public platform::ScrollViewDelegate {
 public:
  static constexpr double kCardSpacing = 8.0;
  // The part of a card that must show for its impression.
  static constexpr double kImpressionFraction = 0.5;

  static std::shared_ptr<OVAdDefaultMultiProductView> create();

  void setDelegate(std::weak_ptr<OVAdMultiProductViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  // Builds one card per product and loads their images; the delegate hears
  // of the load when the first card's image is in.
  void setMultiProductAds(Products products, ImpressionHandler impressionHandler, ClickHandler clickHandler) override;
  Products multiProductAds() const override { return products_; }

  std::shared_ptr<platform::ScrollView> scrollView() const { return scrollView_.lock(); }
  // The card views, in product order.
  std::vector<std::shared_ptr<platform::View>> cards() const;

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void didMoveToWindow() override;
  void scrollViewDidScroll(platform::ScrollView& scrollView) override;

 private:
  void build();
  void layout();
  void buildCards();
  void loadCardImages();
  void tapCard(std::uint64_t index, const platform::GestureRecognizer& recognizer);
  // Reports the cards that show now and have not reported before.
  void checkImpressions();

  std::weak_ptr<OVAdMultiProductViewDelegate> delegate_;
  std::weak_ptr<platform::ScrollView> scrollView_;
  std::vector<std::weak_ptr<platform::View>> cards_;
  std::vector<bool> impressed_;
  Products products_;
  ImpressionHandler impressionHandler_;
  ClickHandler clickHandler_;
  // Moves on with every set of products, so images still loading for an
  // earlier set are dropped.
  std::uint64_t generation_ = 0;
};

}  // namespace plexora
