// The layer between a paging strip and the narrower pager inside it: it
// covers the whole strip and hands every touch that lands on itself (beside
// the pager) to the pager, so a swipe anywhere across the strip pages it.
//
// Thread safety: main thread only.
// Ownership: the view holds the pager and its delegate weakly; the view
// tree owns the pager.
#pragma once

#include <memory>

#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdTouchPassthroughViewDelegate {
 public:
  virtual ~OVAdTouchPassthroughViewDelegate() = default;
  // A hit test with an event reached the view.
  virtual void passthroughViewDidTouch(const platform::Event& event) = 0;
};

class OVAdTouchPassthroughView final : public platform::View {
 public:
  OVAdTouchPassthroughView() = default;
  explicit OVAdTouchPassthroughView(platform::Rect frame) : platform::View(frame) {}

  // The pager for a hit on this view itself; a subview's hit stays that
  // subview, a miss stays a miss.
  std::shared_ptr<platform::View> hitTest(platform::Point point, const platform::Event* event) override;

  std::shared_ptr<platform::View> passthroughView() const { return passthroughView_.lock(); }
  void setPassthroughView(std::weak_ptr<platform::View> view) { passthroughView_ = std::move(view); }
  std::shared_ptr<OVAdTouchPassthroughViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdTouchPassthroughViewDelegate> delegate) { delegate_ = std::move(delegate); }

 private:
  std::weak_ptr<platform::View> passthroughView_;
  std::weak_ptr<OVAdTouchPassthroughViewDelegate> delegate_;
};

}  // namespace plexora
