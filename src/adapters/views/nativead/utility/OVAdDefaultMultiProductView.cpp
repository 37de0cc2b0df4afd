#include "adapters/views/nativead/utility/OVAdDefaultMultiProductView.h"

#include <algorithm>
#include <mutex>

#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "platform/ui/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdImage.h"

namespace plexora {

namespace {

constexpr double kTitleHeightFraction = 0.2;
constexpr double kTitleFontSize = 12.0;
constexpr platform::Color kTitleBackground{0.0, 0.0, 0.0, 0.5};

platform::Rect cardFrame(std::size_t index, double side) {
  return {static_cast<double>(index) * (side + OVAdDefaultMultiProductView::kCardSpacing), 0, side, side};
}

}  // namespace

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
  setClipsToBounds(true);
  auto scroll = std::make_shared<platform::ScrollView>(bounds());
  scroll->setDelegate(std::static_pointer_cast<OVAdDefaultMultiProductView>(sharedView()));
  addSubview(scroll);
  scrollView_ = scroll;
}

std::vector<std::shared_ptr<platform::View>> OVAdDefaultMultiProductView::cards() const {
  std::vector<std::shared_ptr<platform::View>> views;
  for (const auto& card : cards_) {
    if (auto view = card.lock()) views.push_back(std::move(view));
  }
  return views;
}

void OVAdDefaultMultiProductView::setMultiProductAds(Products products, ImpressionHandler impressionHandler,
                                                     ClickHandler clickHandler) {
  products_ = std::move(products);
  impressionHandler_ = std::move(impressionHandler);
  clickHandler_ = std::move(clickHandler);
  ++generation_;
  buildCards();
  loadCardImages();
  checkImpressions();
}

void OVAdDefaultMultiProductView::buildCards() {
  for (const auto& card : cards()) card->removeFromSuperview();
  cards_.clear();
  impressed_.assign(products_.size(), false);
  const auto scroll = scrollView();
  if (!scroll) return;
  const std::weak_ptr<OVAdDefaultMultiProductView> weakSelf =
      std::static_pointer_cast<OVAdDefaultMultiProductView>(sharedView());
  for (std::size_t index = 0; index < products_.size(); ++index) {
    auto card = std::make_shared<platform::View>();
    card->setClipsToBounds(true);
    card->addSubview(std::make_shared<platform::ImageView>());
    auto title = std::make_shared<platform::Label>();
    title->setText(products_[index] ? products_[index]->title().value_or("") : "");
    title->setFont(platform::Font::boldSystemFont(kTitleFontSize));
    title->setTextColor(platform::Color::white());
    title->setBackgroundColor(kTitleBackground);
    card->addSubview(title);
    card->addGestureRecognizer(
        std::make_shared<platform::TapGestureRecognizer>([weakSelf, index](platform::GestureRecognizer& recognizer) {
          if (recognizer.state() != platform::GestureRecognizerState::Ended) return;
          if (const auto self = weakSelf.lock()) self->tapCard(index, recognizer);
        }));
    scroll->addSubview(card);
    cards_.push_back(card);
  }
  layout();
}

void OVAdDefaultMultiProductView::layout() {
  const auto scroll = scrollView();
  if (!scroll) return;
  scroll->setFrame(bounds());
  const double side = bounds().size.height;
  const auto views = cards();
  for (std::size_t index = 0; index < views.size(); ++index) {
    views[index]->setFrame(cardFrame(index, side));
    const auto parts = views[index]->subviews();
    if (parts.size() < 2) continue;
    parts[0]->setFrame({0, 0, side, side});
    const double titleHeight = side * kTitleHeightFraction;
    parts[1]->setFrame({0, side - titleHeight, side, titleHeight});
  }
  const double width = views.empty() ? 0.0 : cardFrame(views.size() - 1, side).maxX();
  scroll->setContentSize({width, side});
}

void OVAdDefaultMultiProductView::loadCardImages() {
  const std::weak_ptr<OVAdDefaultMultiProductView> weakSelf =
      std::static_pointer_cast<OVAdDefaultMultiProductView>(sharedView());
  const std::uint64_t generation = generation_;
  for (std::size_t index = 0; index < products_.size(); ++index) {
    const auto image = products_[index] ? products_[index]->image() : nullptr;
    if (!image) continue;
    image->loadImageAsyncWithBlock([weakSelf, generation, index](const std::shared_ptr<platform::Image>& loaded) {
      const auto self = weakSelf.lock();
      if (!self || generation != self->generation_ || index >= self->cards_.size()) return;
      const auto card = self->cards_[index].lock();
      const auto parts = card ? card->subviews() : std::vector<std::shared_ptr<platform::View>>{};
      if (const auto imageView = parts.empty() ? nullptr : std::dynamic_pointer_cast<platform::ImageView>(parts[0])) {
        imageView->setImage(loaded);
      }
      if (index != 0 || !loaded) return;
      if (const auto listener = self->delegate_.lock()) listener->multiProductViewDidLoad(self);
    });
  }
}

void OVAdDefaultMultiProductView::tapCard(std::uint64_t index, const platform::GestureRecognizer& recognizer) {
  if (!clickHandler_ || index >= cards_.size()) return;
  const auto card = cards_[index].lock();
  const auto host = superview();
  if (!card) return;
  const platform::Point position = recognizer.locationInView(host ? host.get() : this);
  clickHandler_(index, position, card->convertRectToView(card->bounds(), nullptr));
}

void OVAdDefaultMultiProductView::checkImpressions() {
  if (!window() || isHidden() || !impressionHandler_) return;
  const auto scroll = scrollView();
  if (!scroll) return;
  const platform::Rect visible = scroll->bounds();
  const auto views = cards();
  for (std::size_t index = 0; index < views.size() && index < impressed_.size(); ++index) {
    if (impressed_[index]) continue;
    const platform::Rect card = views[index]->frame();
    const platform::Rect shown = card.intersection(visible);
    const double area = card.size.width * card.size.height;
    if (area <= 0 || shown.size.width * shown.size.height < area * kImpressionFraction) continue;
    impressed_[index] = true;
    impressionHandler_(index);
  }
}

void OVAdDefaultMultiProductView::setFrame(platform::Rect frame) {
  OVAdMultiProductView::setFrame(frame);
  layout();
  checkImpressions();
}

void OVAdDefaultMultiProductView::setBounds(platform::Rect bounds) {
  OVAdMultiProductView::setBounds(bounds);
  layout();
  checkImpressions();
}

void OVAdDefaultMultiProductView::didMoveToWindow() { checkImpressions(); }

void OVAdDefaultMultiProductView::scrollViewDidScroll(platform::ScrollView&) { checkImpressions(); }

}  // namespace plexora
