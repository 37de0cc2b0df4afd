// The library's horizontal pager: one square cell per element of its cell
// data, one cell per page, each followed by a gap of xInset points. The
// pager is narrower than this view; while the user pages, the pager slides
// across this view so that the first page sits at the left edge and the last
// at the right edge, and two dark edge gradients fade in and out to hint at
// the pages on either side. Cells are made on demand by the owner's child
// view provider; every accepted frame change rebuilds them all.
//
// Geometry, with side = min(width, height - 2 * yInset):
//   pager      x 0, y yInset, side + xInset wide, side tall (one page);
//   cell i     x i * page, side wide, in the pager;
//   content    xInset * (count - 2) (none below 2 cells) + count pages;
//   progress   offset / (content - page - padding), 0 on the first page
//              and 1 on the last; not a number when there is nothing to
//              page through, which leaves the pager where it is.
//
// Thread safety: main thread only.
// Ownership: the view tree owns the pager, the touch container, the edge
// gradients and the cells while they are attached; the view keeps its cell
// data and holds the cells, its delegate and its view controller weakly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdDataModel;
class OVAdTouchPassthroughView;
class OVAdViewControllerProxy;
class OVGradientView;

namespace platform {
class ViewController;
}

// A cell that wants its data once it is placed on its page.
class OVAdScrollViewCell {
 public:
  virtual ~OVAdScrollViewCell() = default;
  virtual void updateCellWithData(const std::shared_ptr<OVAdDataModel>& data) = 0;
};

// Hears every scroll callback of the pager, after the pager has slid.
using OVAdScrollViewDelegate = platform::ScrollViewDelegate;

class OVAdScrollView final : public platform::View, public platform::ScrollViewDelegate {
 public:
  using CellData = std::shared_ptr<OVAdDataModel>;
  using Data = std::vector<CellData>;
  // Makes the cell view of one data element at its position.
  using ChildViewProvider =
      std::function<std::shared_ptr<platform::View>(const CellData& data, std::uint64_t position)>;

  static constexpr std::uint64_t kNotFound = std::numeric_limits<std::uint64_t>::max();
  static constexpr double kDefaultXInset = 8.0;
  static constexpr double kGradientWidth = 32.0;
  static constexpr double kGradientOpacity = 0.15;
  static constexpr double kGradientFadeSeconds = 0.2;
  // The left gradient hides at or below this progress, the right one at or
  // above kRightGradientHiddenFrom.
  static constexpr double kLeftGradientHiddenUpTo = 0.1;
  static constexpr double kRightGradientHiddenFrom = 0.9;

  // An empty pager; it builds cells once it has data and a provider.
  static std::shared_ptr<OVAdScrollView> create(platform::Rect frame = {});
  // A pager of the data that loads its cells at once.
  static std::shared_ptr<OVAdScrollView> createWithCellData(Data data, ChildViewProvider childViewProvider);
  ~OVAdScrollView() override;

  // Fades the current cells out, then replaces them with new ones.
  void loadCells();
  // Rebuilds every cell and the geometry when changed; nothing otherwise.
  void updateView(bool changed);

  // Ignored unless one of the four values is a normal number (finite and
  // not zero); otherwise applied and the cells rebuilt.
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void didMoveToSuperview() override;

  // ---- Geometry ----

  platform::Rect scrollFrame() const;
  void setupScrollViewSize();
  void setupContentSize();
  // Paging progress; not a number when the content is no wider than a page.
  double ratio() const;
  void repositionScrollView();
  void positionGradient();
  double paddingForPage(std::uint64_t page) const { return xInset_ * static_cast<double>(page); }
  double paddingTotal() const;
  void loadPages();
  // Places the cell at the index on its page; an index past the cells does
  // nothing.
  void loadPage(std::uint64_t index);

  // ---- Cells ----

  // Throws platform::Exception (kInternalInconsistencyException,
  // kOVAdScrollViewNoProviderReason) without a provider.
  std::shared_ptr<platform::View> childViewForData(const CellData& data, std::uint64_t position);
  void populate(const CellData& data, std::uint64_t index);
  void addAllCells();
  // Adds the cell of the data and answers its index; kNotFound when the
  // provider made no view.
  std::uint64_t addCellForData(const CellData& data, std::uint64_t position);
  // The index of the cell mapped to this very data object.
  std::uint64_t indexForData(const CellData& data) const;
  // The cells still alive; a count, no list is made.
  std::uint64_t count() const;
  std::shared_ptr<platform::View> viewForData(const CellData& data) const;
  CellData nativeAdForView(const platform::View* view) const;
  void removeAllCells();
  // The cells still alive, in page order.
  std::vector<std::shared_ptr<platform::View>> cellViews() const;

  // ---- Scroll callbacks of the pager, forwarded to the delegate ----

  void scrollViewDidScroll(platform::ScrollView& scrollView) override;
  void scrollViewWillBeginDragging(platform::ScrollView& scrollView) override;
  void scrollViewWillEndDragging(platform::ScrollView& scrollView, platform::Point velocity,
                                 platform::Point& targetContentOffset) override;
  void scrollViewDidEndDragging(platform::ScrollView& scrollView, bool willDecelerate) override;
  void scrollViewWillBeginDecelerating(platform::ScrollView& scrollView) override;
  void scrollViewDidEndDecelerating(platform::ScrollView& scrollView) override;
  void scrollViewDidEndScrollingAnimation(platform::ScrollView& scrollView) override;

  // ---- Properties ----

  const Data& data() const { return data_; }
  void setData(Data data) { data_ = std::move(data); }
  const ChildViewProvider& childViewProvider() const { return childViewProvider_; }
  void setChildViewProvider(ChildViewProvider provider) { childViewProvider_ = std::move(provider); }
  std::shared_ptr<OVAdScrollViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdScrollViewDelegate> delegate) { delegate_ = std::move(delegate); }
  bool animationEnabled() const { return animationEnabled_; }
  void setAnimationEnabled(bool enabled) { animationEnabled_ = enabled; }
  double xInset() const { return xInset_; }
  void setXInset(double inset) { xInset_ = inset; }
  double yInset() const { return yInset_; }
  void setYInset(double inset) { yInset_ = inset; }
  bool debugMode() const { return debugMode_; }
  // Rebuilds only when the value changes.
  void setDebugMode(bool debugMode);
  bool isLoading() const { return loading_; }
  // A proxy of the stored controller (or of the top one when none is).
  std::shared_ptr<OVAdViewControllerProxy> viewController() const;
  void setViewController(std::weak_ptr<platform::ViewController> viewController) {
    viewController_ = std::move(viewController);
  }

  std::shared_ptr<platform::ScrollView> scrollView() const { return scrollView_.lock(); }
  std::shared_ptr<OVAdTouchPassthroughView> hitTestView() const { return hitTestView_.lock(); }
  std::shared_ptr<OVGradientView> leftGradientView() const { return leftGradientView_.lock(); }
  std::shared_ptr<OVGradientView> rightGradientView() const { return rightGradientView_.lock(); }

 private:
  struct Mapping {
    std::weak_ptr<platform::View> view;
    CellData data;
  };

  void commonInitialization();
  // loadPage and populate for a cell in hand: adding cells one by one or
  // placing them all must not list the cells again for each.
  void placeCell(const std::shared_ptr<platform::View>& cell, std::uint64_t index);
  static void populateCell(const std::shared_ptr<platform::View>& cell, const CellData& data);
  void mapData(const CellData& data, const std::shared_ptr<platform::View>& view);
  void detachAllNativeAds(const std::vector<std::shared_ptr<platform::View>>& views);
  // Fades the gradient to its target alpha and runs `animations` with it;
  // a gradient already there runs them at once and skips the completion.
  static void animateWithFade(bool hide, const std::shared_ptr<OVGradientView>& view,
                              const std::function<void()>& animations, std::function<void(bool)> completion);
  static bool isNormalRect(platform::Rect rect);

  Data data_;
  ChildViewProvider childViewProvider_;
  std::weak_ptr<OVAdScrollViewDelegate> delegate_;
  bool animationEnabled_ = true;
  double xInset_ = kDefaultXInset;
  double yInset_ = 0.0;
  bool debugMode_ = false;
  bool loading_ = false;
  std::weak_ptr<platform::ViewController> viewController_;
  std::weak_ptr<platform::ScrollView> scrollView_;
  std::weak_ptr<OVAdTouchPassthroughView> hitTestView_;
  std::weak_ptr<OVGradientView> leftGradientView_;
  std::weak_ptr<OVGradientView> rightGradientView_;
  mutable std::vector<std::weak_ptr<platform::View>> cellViews_;
  // The live cells as last counted, kept up by adding and clearing cells:
  // the geometry asks for it on every added cell, and counting there made
  // adding N cells cost O(N^2). A cell that dies on its own (taken off the
  // pager by someone else) is noticed by the next count or listing.
  mutable std::size_t knownCellCount_ = 0;
  std::vector<Mapping> cellMapping_;
  // The mapping's size after its last purge of views that are gone: it is
  // purged again once it has doubled, so adding N cells costs O(N).
  std::size_t mappingSizeAfterPurge_ = 0;
};

inline constexpr const char* kOVAdScrollViewNoProviderReason = "No child view provider was created for this view.";

}  // namespace plexora
