// A scroll view: its content offset is its bounds origin, over a content
// size of its own. Without touch-driven panning in the headless model, a
// host or test scrolls it with setContentOffset() or simulates a whole drag
// with drag(); the delegate hears what a user's scrolling would tell it.
//
// Thread safety: main thread only.
// Ownership: the delegate is held weakly.
#pragma once

#include <memory>
#include <utility>

#include "platform/Export.h"
#include "platform/ui/View.h"

namespace plexora::platform {

class ScrollView;

class PLEXORA_EXPORT ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView& /*scrollView*/) {}
  virtual void scrollViewWillBeginDragging(ScrollView& /*scrollView*/) {}
  // May change where the scrolling comes to rest.
  virtual void scrollViewWillEndDragging(ScrollView& /*scrollView*/, Point /*velocity*/,
                                         Point& /*targetContentOffset*/) {}
  virtual void scrollViewDidEndDragging(ScrollView& /*scrollView*/, bool /*willDecelerate*/) {}
  virtual void scrollViewWillBeginDecelerating(ScrollView& /*scrollView*/) {}
  virtual void scrollViewDidEndDecelerating(ScrollView& /*scrollView*/) {}
  virtual void scrollViewDidEndScrollingAnimation(ScrollView& /*scrollView*/) {}
};

class PLEXORA_EXPORT ScrollView : public View {
 public:
  // How long an animated setContentOffset() takes.
  static constexpr double kScrollAnimationSeconds = 0.3;

  ScrollView();
  explicit ScrollView(Rect frame);

  Point contentOffset() const { return bounds().origin; }
  // Tells the delegate scrollViewDidScroll when the offset changes; when
  // animated, scrollViewDidEndScrollingAnimation once the animation's time
  // has passed.
  void setContentOffset(Point offset, bool animated = false);
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size) { contentSize_ = size; }
  // Paging drags come to rest on a multiple of the bounds size.
  bool isPagingEnabled() const { return pagingEnabled_; }
  void setPagingEnabled(bool enabled) { pagingEnabled_ = enabled; }

  std::shared_ptr<ScrollViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<ScrollViewDelegate> delegate) { delegate_ = std::move(delegate); }

  // A user's drag that lifts the finger at `offset` with `velocity`: the
  // dragging callbacks, the scroll to `offset`, then, unless it already rests
  // there, deceleration to the resting offset (the nearest page when paging,
  // else `offset` kept within the content).
  void drag(Point offset, Point velocity = {});

  void setBounds(Rect bounds) override;

 private:
  Point restingOffset(Point offset) const;

  Size contentSize_;
  bool pagingEnabled_ = false;
  std::weak_ptr<ScrollViewDelegate> delegate_;
};

}  // namespace plexora::platform
