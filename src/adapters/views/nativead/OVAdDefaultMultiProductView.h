// The library's carousel: a pager (OVAdScrollView) as large as the view
// with one OVAdMultiProductCell per product. A product's impression is its
// cell's first viewable check, reported once for each set of products even
// though every resize makes new cells; a tap reports the product with the
// tap's place in its cell and the cell's rectangle in the window. The
// delegate hears of the load once per set of products, from the first
// product's cell.
//
// Thread safety: main thread only.
// Ownership: the view tree owns the pager and its cells; the carousel keeps
// the products and both handlers and holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <set>

#include "adapters/views/nativead/OVAdMultiProductCell.h"
#include "adapters/views/nativead/OVAdMultiProductView.h"
#include "adapters/views/nativead/utility/OVAdScrollView.h"

namespace plexora {

class OVAdDefaultMultiProductView final : public OVAdMultiProductView,
                                          public OVAdMultiProductCellDelegate,
                                          public OVAdScrollViewDelegate {
 public:
  // The index reported for a cell whose product is not in the set.
  static constexpr std::uint64_t kNotFound = OVAdScrollView::kNotFound;

  static std::shared_ptr<OVAdDefaultMultiProductView> create();

  void setDelegate(std::weak_ptr<OVAdMultiProductViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  // Stores the products and handlers and builds one cell per product.
  void setMultiProductAds(Products products, ImpressionHandler impressionHandler, ClickHandler clickHandler) override;
  Products multiProductAds() const override { return products_; }
  // Stores the products alone; the cells stay as they are.
  void setMultiProductAds(Products products) { products_ = std::move(products); }
  bool loadedWasCalled() const { return loadedWasCalled_; }

  std::shared_ptr<OVAdScrollView> scrollView() const { return scrollView_.lock(); }

  // Changed when the rectangle differs and is not empty.
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  // The pager takes the bounds when changed.
  void updateView(bool changed);

  void multiProductCellLoaded(const std::shared_ptr<OVAdMultiProductCell>& cell) override;
  void multiProductCellVisible(const std::shared_ptr<OVAdMultiProductCell>& cell) override;
  void multiProductCellClicked(const std::shared_ptr<OVAdMultiProductCell>& cell, platform::Point position,
                               platform::Rect rect) override;

 private:
  void build();
  std::uint64_t indexOf(const std::shared_ptr<OVAdMultiProductCell>& cell) const;

  std::weak_ptr<OVAdMultiProductViewDelegate> delegate_;
  std::weak_ptr<OVAdScrollView> scrollView_;
  Products products_;
  ImpressionHandler impressionHandler_;
  ClickHandler clickHandler_;
  bool loadedWasCalled_ = false;
  // The products of this set whose impression went out.
  std::set<std::uint64_t> reported_;
};

}  // namespace plexora
