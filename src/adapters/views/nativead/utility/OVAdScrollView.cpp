#include "adapters/views/nativead/utility/OVAdScrollView.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "adapters/OVAdDataModel.h"
#include "adapters/views/nativead/OVGradientView.h"
#include "adapters/views/nativead/utility/OVAdTouchPassthroughView.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/foundation/Exception.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kAddingCellsMessage = "Adding %ld cells";
constexpr platform::Color kDebugBackground{0.5, 0.0, 0.0, 0.5};
constexpr platform::Point kGradientStart{0.0, 0.5};
constexpr platform::Point kGradientEnd{1.0, 0.5};

}  // namespace

std::shared_ptr<OVAdScrollView> OVAdScrollView::create(platform::Rect frame) {
  auto view = std::make_shared<OVAdScrollView>();
  view->platform::View::setFrame(frame);
  view->commonInitialization();
  return view;
}

std::shared_ptr<OVAdScrollView> OVAdScrollView::createWithCellData(Data data, ChildViewProvider childViewProvider) {
  auto view = std::make_shared<OVAdScrollView>();
  view->data_ = std::move(data);
  view->childViewProvider_ = std::move(childViewProvider);
  view->commonInitialization();
  view->loadCells();
  return view;
}

OVAdScrollView::~OVAdScrollView() {
  // The pager outlives this view only when someone else holds it; the cells
  // must not stay on it then.
  for (auto& cell : cellViews_) {
    if (const auto view = cell.lock()) view->removeFromSuperview();
  }
}

void OVAdScrollView::commonInitialization() {
  setUserInteractionEnabled(true);
  const auto self = std::static_pointer_cast<OVAdScrollView>(sharedView());

  auto container = std::make_shared<OVAdTouchPassthroughView>(bounds());
  addSubview(container);
  hitTestView_ = container;

  auto pager = std::make_shared<platform::ScrollView>(scrollFrame());
  pager->setDelegate(std::weak_ptr<platform::ScrollViewDelegate>(self));
  pager->setClipsToBounds(false);
  pager->setPagingEnabled(true);
  container->addSubview(pager);
  container->setPassthroughView(pager);
  scrollView_ = pager;

  const auto gradient = [this](std::vector<platform::Color> colors) {
    auto view = OVGradientView::newWithBackgroundColor(platform::Color::clear(), colors, {}, kGradientStart,
                                                       kGradientEnd, kGradientOpacity);
    view->setFrame(platform::Rect::zero());
    addSubview(view);
    return view;
  };
  leftGradientView_ = gradient({platform::Color::black(), platform::Color::clear()});
  rightGradientView_ = gradient({platform::Color::clear(), platform::Color::black()});
  positionGradient();
}

void OVAdScrollView::loadCells() {
  const std::weak_ptr<OVAdScrollView> weakSelf = std::static_pointer_cast<OVAdScrollView>(sharedView());
  OVAdUtility::animateWithFadeOut(cellViews(), [weakSelf](bool) {
    const auto self = weakSelf.lock();
    if (!self) return;
    self->loading_ = true;
    self->removeAllCells();
    self->addAllCells();
    self->loading_ = false;
  });
}

std::vector<std::shared_ptr<platform::View>> OVAdScrollView::cellViews() const {
  std::vector<std::shared_ptr<platform::View>> views;
  std::vector<std::weak_ptr<platform::View>> compacted;
  for (const auto& cell : cellViews_) {
    if (auto view = cell.lock()) {
      compacted.push_back(view);
      views.push_back(std::move(view));
    }
  }
  cellViews_ = std::move(compacted);
  knownCellCount_ = views.size();
  return views;
}

std::uint64_t OVAdScrollView::count() const {
  knownCellCount_ = static_cast<std::size_t>(
      std::count_if(cellViews_.begin(), cellViews_.end(), [](const auto& cell) { return !cell.expired(); }));
  return knownCellCount_;
}

bool OVAdScrollView::isNormalRect(platform::Rect rect) {
  return std::isnormal(rect.origin.x) || std::isnormal(rect.origin.y) || std::isnormal(rect.size.width) ||
         std::isnormal(rect.size.height);
}

void OVAdScrollView::setFrame(platform::Rect frame) {
  if (!isNormalRect(frame)) return;
  platform::View::setFrame(frame);
  if (const auto container = hitTestView()) container->setFrame(bounds());
  updateView(true);
}

void OVAdScrollView::setBounds(platform::Rect bounds) {
  if (!isNormalRect(bounds)) return;
  platform::View::setBounds(bounds);
  if (const auto container = hitTestView()) container->setFrame(this->bounds());
  updateView(true);
}

void OVAdScrollView::didMoveToSuperview() {
  platform::View::didMoveToSuperview();
  setupContentSize();
  loadPages();
}

void OVAdScrollView::setDebugMode(bool debugMode) {
  if (debugMode_ == debugMode) return;
  debugMode_ = debugMode;
  updateView(true);
}

void OVAdScrollView::updateView(bool changed) {
  if (!changed) return;
  removeAllCells();
  addAllCells();
  setupScrollViewSize();
  setupContentSize();
  loadPages();
  repositionScrollView();
  positionGradient();
  if (const auto pager = scrollView()) {
    pager->setBackgroundColor(debugMode_ ? kDebugBackground : platform::Color::clear());
  }
}

// ---- Geometry ----

platform::Rect OVAdScrollView::scrollFrame() const {
  const platform::Rect own = bounds();
  const double side = std::min(own.size.width, own.size.height - 2.0 * yInset_);
  return {0.0, yInset_, side + xInset_, side};
}

void OVAdScrollView::setupScrollViewSize() {
  if (const auto pager = scrollView()) pager->setFrame(scrollFrame());
  repositionScrollView();
}

void OVAdScrollView::setupContentSize() {
  if (const auto pager = scrollView()) {
    const platform::Rect frame = pager->frame();
    pager->setContentSize(
        {paddingTotal() + static_cast<double>(knownCellCount_) * frame.size.width, frame.size.height});
  }
  repositionScrollView();
}

double OVAdScrollView::paddingTotal() const {
  const std::uint64_t cells = knownCellCount_;
  if (cells < 2) return 0.0;
  return paddingForPage(cells - 2) + paddingForPage(0);
}

double OVAdScrollView::ratio() const {
  const auto pager = scrollView();
  if (!pager) return std::nan("");
  const double divisor = pager->contentSize().width - pager->bounds().size.width - paddingTotal();
  // Nothing to page through (a single cell, or content no wider than a
  // page): there is no progress to speak of.
  if (!std::isnormal(divisor)) return std::nan("");
  return pager->contentOffset().x / divisor;
}

void OVAdScrollView::repositionScrollView() {
  const auto pager = scrollView();
  if (!pager) return;
  const double progress = ratio();
  const double travel = bounds().size.width - pager->bounds().size.width;
  // A finite progress of 0 counts: coming back to the first page must bring
  // the pager back to the left edge.
  if (!std::isfinite(progress) || !std::isnormal(travel)) return;
  platform::Rect frame = pager->frame();
  frame.origin.x = progress * travel;
  pager->setFrame(frame);
}

void OVAdScrollView::positionGradient() {
  const double progress = ratio();
  const platform::Rect own = bounds();
  const auto left = leftGradientView();
  const auto right = rightGradientView();
  const auto showLeft = [left, own] { left->setFrame({0.0, 0.0, kGradientWidth, own.size.height}); };
  const auto showRight = [right, own] {
    right->setFrame({own.size.width - kGradientWidth, 0.0, kGradientWidth, own.size.height});
  };
  const bool unknown = std::isnan(progress);
  if (left) {
    if (!unknown && progress <= kLeftGradientHiddenUpTo) {
      animateWithFade(true, left, nullptr, nullptr);
    } else {
      animateWithFade(false, left, showLeft, nullptr);
    }
  }
  if (right) {
    if (!unknown && progress >= kRightGradientHiddenFrom) {
      animateWithFade(true, right, nullptr, nullptr);
    } else {
      animateWithFade(false, right, showRight, nullptr);
    }
  }
}

void OVAdScrollView::animateWithFade(bool hide, const std::shared_ptr<OVGradientView>& view,
                                     const std::function<void()>& animations, std::function<void(bool)> completion) {
  const double target = hide ? 0.0 : kGradientOpacity;
  if (view->alpha() == target) {
    if (animations) animations();
    return;
  }
  view->setAlpha(hide ? kGradientOpacity : 0.0);
  OVAdUtility::animateWithStandardAnimations(
      [view, target, animations] {
        view->setAlpha(target);
        if (animations) animations();
      },
      kGradientFadeSeconds, std::move(completion));
}

void OVAdScrollView::loadPages() {
  const auto views = cellViews();
  for (std::uint64_t index = 0; index < views.size(); ++index) placeCell(views[index], index);
}

void OVAdScrollView::loadPage(std::uint64_t index) {
  const auto views = cellViews();
  if (index < views.size()) placeCell(views[index], index);
}

void OVAdScrollView::placeCell(const std::shared_ptr<platform::View>& cell, std::uint64_t index) {
  const auto pager = scrollView();
  if (!pager) return;
  cell->setContentMode(platform::ContentMode::ScaleAspectFit);
  const platform::Size page = pager->bounds().size;
  cell->setFrame({static_cast<double>(index) * page.width, 0.0, page.width - xInset_, page.height});
  if (cell->superview().get() != pager.get()) pager->addSubview(cell);
}

// ---- Cells ----

std::shared_ptr<platform::View> OVAdScrollView::childViewForData(const CellData& data, std::uint64_t position) {
  if (!childViewProvider_) {
    throw platform::Exception(platform::kInternalInconsistencyException, kOVAdScrollViewNoProviderReason);
  }
  return childViewProvider_(data, position);
}

void OVAdScrollView::populate(const CellData& data, std::uint64_t index) {
  const auto views = cellViews();
  if (index < views.size()) populateCell(views[index], data);
}

void OVAdScrollView::populateCell(const std::shared_ptr<platform::View>& cell, const CellData& data) {
  if (const auto filled = std::dynamic_pointer_cast<OVAdScrollViewCell>(cell)) filled->updateCellWithData(data);
}

void OVAdScrollView::addAllCells() {
  OV_LOG(kOVAdLogLevelVerbose, kAddingCellsMessage, static_cast<long>(data_.size()));
  // A copy: a provider may hand the pager new data while it runs.
  const Data data = data_;
  for (std::uint64_t position = 0; position < data.size(); ++position) addCellForData(data[position], position);
}

std::uint64_t OVAdScrollView::addCellForData(const CellData& data, std::uint64_t position) {
  const auto view = childViewForData(data, position);
  if (!view) return kNotFound;
  mapData(data, view);
  cellViews_.push_back(view);
  ++knownCellCount_;
  setupContentSize();
  // The new cell is alive and last: it is the one at count - 1.
  const std::uint64_t index = knownCellCount_ - 1;
  placeCell(view, index);
  populateCell(view, data);
  if (animationEnabled_) OVAdUtility::animateWithFadeIn({view}, nullptr);
  return index;
}

std::uint64_t OVAdScrollView::indexForData(const CellData& data) const {
  // The first live cell mapped to the data, in page order: the cells'
  // mapped data looked up once rather than the mapping searched per cell.
  std::unordered_map<const platform::View*, const CellData*> dataOfView;
  dataOfView.reserve(cellMapping_.size());
  for (const auto& entry : cellMapping_) {
    if (const auto view = entry.view.lock()) dataOfView.try_emplace(view.get(), &entry.data);
  }
  const auto views = cellViews();
  for (std::uint64_t index = 0; index < views.size(); ++index) {
    const auto found = dataOfView.find(views[index].get());
    if (found != dataOfView.end() && *found->second == data) return index;
  }
  return kNotFound;
}

std::shared_ptr<platform::View> OVAdScrollView::viewForData(const CellData& data) const {
  for (const auto& entry : cellMapping_) {
    if (entry.data != data) continue;
    if (auto view = entry.view.lock()) return view;
  }
  return nullptr;
}

OVAdScrollView::CellData OVAdScrollView::nativeAdForView(const platform::View* view) const {
  for (const auto& entry : cellMapping_) {
    if (const auto mapped = entry.view.lock(); mapped && mapped.get() == view) return entry.data;
  }
  return nullptr;
}

void OVAdScrollView::mapData(const CellData& data, const std::shared_ptr<platform::View>& view) {
  // Entries of views that are gone go now and then, not at every mapping.
  if (cellMapping_.size() >= 2 * mappingSizeAfterPurge_) {
    std::erase_if(cellMapping_, [](const Mapping& entry) { return entry.view.expired(); });
    mappingSizeAfterPurge_ = std::max<std::size_t>(cellMapping_.size(), 1);
  }
  cellMapping_.push_back({view, data});
}

void OVAdScrollView::removeAllCells() {
  detachAllNativeAds(cellViews());
  cellMapping_.clear();
  mappingSizeAfterPurge_ = 0;
  cellViews_.clear();
  knownCellCount_ = 0;
  setupContentSize();
}

void OVAdScrollView::detachAllNativeAds(const std::vector<std::shared_ptr<platform::View>>& views) {
  for (const auto& view : views) view->removeFromSuperview();
}

std::shared_ptr<OVAdViewControllerProxy> OVAdScrollView::viewController() const {
  return OVAdViewControllerProxy::proxyWithViewController(viewController_.lock());
}

// ---- Scroll callbacks ----

void OVAdScrollView::scrollViewDidScroll(platform::ScrollView& scrollView) {
  positionGradient();
  repositionScrollView();
  if (const auto listener = delegate()) listener->scrollViewDidScroll(scrollView);
}

void OVAdScrollView::scrollViewWillBeginDragging(platform::ScrollView& scrollView) {
  if (const auto listener = delegate()) listener->scrollViewWillBeginDragging(scrollView);
}

void OVAdScrollView::scrollViewWillEndDragging(platform::ScrollView& scrollView, platform::Point velocity,
                                               platform::Point& targetContentOffset) {
  if (const auto listener = delegate()) listener->scrollViewWillEndDragging(scrollView, velocity, targetContentOffset);
}

void OVAdScrollView::scrollViewDidEndDragging(platform::ScrollView& scrollView, bool willDecelerate) {
  if (const auto listener = delegate()) listener->scrollViewDidEndDragging(scrollView, willDecelerate);
}

void OVAdScrollView::scrollViewWillBeginDecelerating(platform::ScrollView& scrollView) {
  if (const auto listener = delegate()) listener->scrollViewWillBeginDecelerating(scrollView);
}

void OVAdScrollView::scrollViewDidEndDecelerating(platform::ScrollView& scrollView) {
  if (const auto listener = delegate()) listener->scrollViewDidEndDecelerating(scrollView);
}

void OVAdScrollView::scrollViewDidEndScrollingAnimation(platform::ScrollView& scrollView) {
  if (const auto listener = delegate()) listener->scrollViewDidEndScrollingAnimation(scrollView);
}

}  // namespace plexora
