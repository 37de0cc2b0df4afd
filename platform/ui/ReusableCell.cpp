#include "platform/ui/ReusableCell.h"

#include <utility>

namespace plexora::platform {

ReusableCell::ReusableCell(std::string reuseIdentifier)
    : View(Rect::zero()), reuseIdentifier_(std::move(reuseIdentifier)) {}

std::shared_ptr<View> ReusableCell::contentView() {
  if (auto view = contentView_.lock()) return view;
  auto view = std::make_shared<View>(bounds());
  view->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  addSubview(view);
  contentView_ = view;
  return view;
}

}  // namespace plexora::platform
