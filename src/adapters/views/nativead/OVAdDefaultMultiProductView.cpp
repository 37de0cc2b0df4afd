#include "adapters/views/nativead/OVAdDefaultMultiProductView.h"

#include <mutex>

#include "adapters/OVNativeAdMultiProductDataModel.h"

namespace plexora {

OVAdMultiProductView::Maker& OVAdMultiProductView::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([]() -> std::shared_ptr<OVAdMultiProductView> { return OVAdDefaultMultiProductView::create(); });
  });
  return instance;
}

std::shared_ptr<OVAdDefaultMultiProductView> OVAdDefaultMultiProductView::create() {
  auto view = std::make_shared<OVAdDefaultMultiProductView>();
  view->build();
  return view;
}

void OVAdDefaultMultiProductView::build() {
  const auto self = std::static_pointer_cast<OVAdDefaultMultiProductView>(sharedView());
  auto pager = OVAdScrollView::create(bounds());
  pager->setDelegate(std::weak_ptr<OVAdScrollViewDelegate>(self));
  addSubview(pager);
  scrollView_ = pager;
}

void OVAdDefaultMultiProductView::setMultiProductAds(Products products, ImpressionHandler impressionHandler,
                                                     ClickHandler clickHandler) {
  loadedWasCalled_ = false;
  reported_.clear();
  products_ = std::move(products);
  impressionHandler_ = std::move(impressionHandler);
  clickHandler_ = std::move(clickHandler);
  const auto pager = scrollView();
  if (!pager) return;
  pager->setData(OVAdScrollView::Data(products_.begin(), products_.end()));
  const std::weak_ptr<OVAdDefaultMultiProductView> weakSelf =
      std::static_pointer_cast<OVAdDefaultMultiProductView>(sharedView());
  pager->setChildViewProvider([weakSelf](const OVAdScrollView::CellData& data, std::uint64_t) {
    auto cell = OVAdMultiProductCell::create();
    cell->setContent(std::dynamic_pointer_cast<OVNativeAdMultiProductDataModel>(data));
    cell->setDelegate(std::weak_ptr<OVAdMultiProductCellDelegate>(weakSelf.lock()));
    return cell;
  });
  pager->updateView(true);
}

void OVAdDefaultMultiProductView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  OVAdMultiProductView::setFrame(frame);
  updateView(changed);
}

void OVAdDefaultMultiProductView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  OVAdMultiProductView::setBounds(bounds);
  updateView(changed);
}

void OVAdDefaultMultiProductView::updateView(bool changed) {
  if (!changed) return;
  if (const auto pager = scrollView()) pager->setFrame(bounds());
}

std::uint64_t OVAdDefaultMultiProductView::indexOf(const std::shared_ptr<OVAdMultiProductCell>& cell) const {
  const auto content = cell ? cell->content() : nullptr;
  for (std::uint64_t index = 0; index < products_.size(); ++index) {
    if (content && products_[index] == content) return index;
  }
  return kNotFound;
}

void OVAdDefaultMultiProductView::multiProductCellLoaded(const std::shared_ptr<OVAdMultiProductCell>& cell) {
  if (products_.empty() || loadedWasCalled_) return;
  const auto content = cell ? cell->content() : nullptr;
  if (!content || content != products_.front()) return;
  loadedWasCalled_ = true;
  if (const auto listener = delegate_.lock()) {
    listener->multiProductViewDidLoad(std::static_pointer_cast<OVAdMultiProductView>(sharedView()));
  }
}

void OVAdDefaultMultiProductView::multiProductCellVisible(const std::shared_ptr<OVAdMultiProductCell>& cell) {
  if (!impressionHandler_) return;
  const std::uint64_t index = indexOf(cell);
  // A resize makes new cells that check again: the product was seen already.
  if (index != kNotFound && !reported_.insert(index).second) return;
  impressionHandler_(index);
}

void OVAdDefaultMultiProductView::multiProductCellClicked(const std::shared_ptr<OVAdMultiProductCell>& cell,
                                                          platform::Point position, platform::Rect rect) {
  if (clickHandler_) clickHandler_(indexOf(cell), position, rect);
}

}  // namespace plexora
