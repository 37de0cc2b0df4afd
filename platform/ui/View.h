// Views of the headless UI model: rectangles in a tree, with the geometry,
// hierarchy, state and events of a real view system. Nothing is drawn until
// someone asks for a picture (a host does through OVHostDisplay).
//
// Geometry: the frame is the view's rectangle in its superview's bounds
// coordinates; the bounds are the view's own coordinate system (a bounds
// origin other than zero scrolls the content). Setting the bounds keeps the
// centre; a change of the bounds size resizes the subviews by their
// autoresizing masks and asks for a layout pass. Rectangles with a value
// that is not finite are ignored.
//
// Hierarchy: a superview holds its subviews strongly (index 0 at the back),
// a subview holds its superview weakly, and a view finds its window by
// walking up to the root of its tree. Views must be owned by a shared_ptr
// before they take subviews or gesture recognisers (build subviews after
// construction, not in a constructor). Moving a view sends, in this order,
// willMoveToSuperview, willMoveToWindow (whole subtree, only when the window
// changes), the move itself, didMoveToWindow (likewise), didMoveToSuperview
// and the new superview's didAddSubview. A view destroyed with subviews that
// live on detaches them with didMoveToWindow (when it was a window) and
// didMoveToSuperview only.
//
// Layout: setNeedsLayout() marks the view and queues one layout pass on the
// main queue for everything marked in the meantime; layoutIfNeeded() runs
// the pass for this view's subtree at once, parents before children.
//
// Animations: animate() applies the changes at once (the model has no
// presentation layer) and calls the completion on the main queue when the
// duration has passed on the current Clock; under a ManualClock, when the
// test advances it. A zero duration completes on the next turn of the main
// loop.
//
// Picture: a view shows its background colour (rounded by the corner
// radius), then its gradient layer, then what draw() draws, then its
// subviews from back to front, then its border, which follows the corner
// radius inside the bounds. clipsToBounds clips the drawing and the
// subviews to the (rounded) bounds; a mask clips all of it. Alpha applies
// to the view and its subviews as one picture; hidden views show nothing.
//
// Thread safety: main thread only (debug builds assert it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/LayerStyle.h"
#include "platform/ui/Responder.h"

namespace plexora::platform {

class GestureRecognizer;
class GraphicsContext;
class ViewController;
class Window;

// Which of a view's margins and sizes follow its superview's size.
using AutoresizingMask = std::uint32_t;
inline constexpr AutoresizingMask kAutoresizingNone = 0;
inline constexpr AutoresizingMask kAutoresizingFlexibleLeftMargin = 1u << 0;
inline constexpr AutoresizingMask kAutoresizingFlexibleWidth = 1u << 1;
inline constexpr AutoresizingMask kAutoresizingFlexibleRightMargin = 1u << 2;
inline constexpr AutoresizingMask kAutoresizingFlexibleTopMargin = 1u << 3;
inline constexpr AutoresizingMask kAutoresizingFlexibleHeight = 1u << 4;
inline constexpr AutoresizingMask kAutoresizingFlexibleBottomMargin = 1u << 5;

enum class ContentMode : std::int64_t {
  ScaleToFill = 0,
  ScaleAspectFit = 1,
  ScaleAspectFill = 2,
  Redraw = 3,
  Center = 4,
  Top = 5,
  Bottom = 6,
  Left = 7,
  Right = 8,
  TopLeft = 9,
  TopRight = 10,
  BottomLeft = 11,
  BottomRight = 12,
};

// Options of animate(); with no presentation layer they change nothing.
using AnimationOptions = std::uint64_t;
inline constexpr AnimationOptions kAnimationOptionBeginFromCurrentState = 1u << 2;
inline constexpr AnimationOptions kAnimationOptionAllowAnimatedContent = 1u << 7;

// An intrinsic size component the view does not have.
inline constexpr double kNoIntrinsicMetric = -1.0;

class PLEXORA_EXPORT View : public Responder {
 public:
  View();
  explicit View(Rect frame);
  ~View() override;

  // --- Geometry
  Rect frame() const;
  virtual void setFrame(Rect frame);
  Rect bounds() const;
  virtual void setBounds(Rect bounds);
  Point center() const;
  void setCenter(Point center);

  // --- Hierarchy
  std::shared_ptr<View> superview() const;
  // A copy: changing the tree while walking it is safe.
  std::vector<std::shared_ptr<View>> subviews() const;
  std::shared_ptr<Window> window() const;
  // Adds on top, or moves an existing subview on top. Adding a view to
  // itself or to one of its own subviews is refused (it would close a
  // cycle), as is a null view.
  void addSubview(const std::shared_ptr<View>& view);
  // An index past the end adds on top.
  void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
  // A sibling that is not a subview makes these plain addSubview calls.
  void insertSubviewAbove(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void insertSubviewBelow(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void bringSubviewToFront(const std::shared_ptr<View>& view);
  void sendSubviewToBack(const std::shared_ptr<View>& view);
  void removeFromSuperview();
  // Whether `view` is this view or one of its ancestors.
  bool isDescendantOfView(const View* view) const;
  // This view or the first descendant (depth first, back to front) with the
  // tag.
  std::shared_ptr<View> viewWithTag(std::int64_t tag);

  // --- State
  bool isHidden() const { return hidden_; }
  virtual void setHidden(bool hidden);
  double alpha() const { return alpha_; }
  // Clamped to 0...1.
  void setAlpha(double alpha);
  bool clipsToBounds() const { return clipsToBounds_; }
  void setClipsToBounds(bool clips) { clipsToBounds_ = clips; }
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
  // None by default (a transparent view).
  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color) { backgroundColor_ = color; }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius) { cornerRadius_ = radius; }
  double borderWidth() const { return borderWidth_; }
  // Not a positive finite number: 0 (no border).
  void setBorderWidth(double width);
  // Black by default.
  const Color& borderColor() const { return borderColor_; }
  void setBorderColor(Color color) { borderColor_ = color; }
  const std::optional<RoundedCornerMask>& mask() const { return mask_; }
  void setMask(std::optional<RoundedCornerMask> mask) { mask_ = mask; }
  const std::optional<GradientLayer>& gradientLayer() const { return gradientLayer_; }
  void setGradientLayer(std::optional<GradientLayer> gradient) { gradientLayer_ = std::move(gradient); }
  ContentMode contentMode() const { return contentMode_; }
  void setContentMode(ContentMode mode) { contentMode_ = mode; }
  std::int64_t tag() const { return tag_; }
  void setTag(std::int64_t tag) { tag_ = tag; }
  AutoresizingMask autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(AutoresizingMask mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool autoresizes) { autoresizesSubviews_ = autoresizes; }

  // --- Layout
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  void layoutIfNeeded();
  // Places the subviews; the base does nothing.
  virtual void layoutSubviews() {}
  // The size the view would like within `size`; the base answers its
  // current size.
  virtual Size sizeThatFits(Size size) const;
  // Resizes the view to sizeThatFits(its bounds size), keeping the origin.
  void sizeToFit();
  // The base has none: kNoIntrinsicMetric in both components.
  virtual Size intrinsicContentSize() const;

  // --- Drawing. Draws the view's own content into `context`, whose
  // coordinates are the bounds (`rect`); the base draws nothing. Called
  // whenever a picture of the view is made.
  virtual void draw(GraphicsContext& /*context*/, Rect /*rect*/) const {}

  // --- Coordinates. A null view stands for the window (for a view outside
  // any window: the root of its tree). Views in different windows convert
  // through the screen.
  Point convertPointToView(Point point, const View* view) const;
  Point convertPointFromView(Point point, const View* view) const;
  Rect convertRectToView(Rect rect, const View* view) const;
  Rect convertRectFromView(Rect rect, const View* view) const;
  // The screen's coordinate space; a view outside any window has no place
  // on a screen and converts to and from the root of its tree instead.
  Point convertPointToScreen(Point point) const;
  Point convertPointFromScreen(Point point) const;
  Rect convertRectToScreen(Rect rect) const;
  Rect convertRectFromScreen(Rect rect) const;

  // --- Hit testing. The deepest view, front to back, that contains the
  // point (in this view's bounds coordinates); none when this view is
  // hidden, does not take touches, is nearly transparent (alpha below
  // 0.01) or does not contain the point.
  virtual std::shared_ptr<View> hitTest(Point point, const Event* event);
  virtual bool pointInside(Point point, const Event* event) const;

  // --- Gesture recognisers, owned by the view. Adding one that belongs to
  // another view moves it here.
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers() const { return gestureRecognizers_; }
  // Asked before one of this view's recognisers begins; NO makes it fail.
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer& /*recognizer*/) { return true; }

  // --- Hooks (the base does nothing).
  virtual void willMoveToSuperview(const std::shared_ptr<View>& /*newSuperview*/) {}
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(const std::shared_ptr<Window>& /*newWindow*/) {}
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(const std::shared_ptr<View>& /*subview*/) {}
  virtual void willRemoveSubview(const std::shared_ptr<View>& /*subview*/) {}

  // The view controller whose view this is, else the superview.
  std::shared_ptr<Responder> nextResponder() const override;

  // --- Animations
  using Animations = std::function<void()>;
  using AnimationCompletion = std::function<void(bool finished)>;
  static void animate(double duration, const Animations& animations, AnimationCompletion completion = {});
  // Completes after delay + duration.
  static void animate(double duration, double delay, AnimationOptions options, const Animations& animations,
                      AnimationCompletion completion = {});

 protected:
  struct WindowRoot {};
  View(Rect frame, WindowRoot);

  // This view as a shared_ptr; throws std::logic_error while no shared_ptr
  // owns it yet (inside a constructor).
  std::shared_ptr<View> sharedView();

 private:
  friend class ViewController;

  struct RootOffset {
    const View* root;
    Point offset;  // added to a point in this view's bounds to reach the root's
  };
  RootOffset rootOffset() const;
  // Adds the root window's place on the screen (nothing for other roots).
  static Point screenOffset(const View* root);
  Point pointInSuperview(Point point) const;
  Point pointFromSuperview(Point point) const;

  // Detaches `view` from its superview (with the hooks) and inserts it at
  // the index `place` answers once it is detached.
  void attach(const std::shared_ptr<View>& view, const std::function<std::size_t()>& place);
  void eraseSubview(const View* view);
  void notifyWillMoveToWindow(const std::shared_ptr<Window>& newWindow);
  void notifyDidMoveToWindow();
  void boundsSizeDidChange(Size oldSize);
  void resizeWithOldSuperviewSize(Size oldSize, Size newSize);

  const bool isWindow_ = false;
  Point origin_;
  Rect bounds_;
  std::weak_ptr<View> superview_;
  std::vector<std::shared_ptr<View>> subviews_;
  std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers_;
  std::weak_ptr<ViewController> viewController_;

  bool hidden_ = false;
  double alpha_ = 1.0;
  bool clipsToBounds_ = false;
  bool userInteractionEnabled_ = true;
  std::optional<Color> backgroundColor_;
  double cornerRadius_ = 0.0;
  double borderWidth_ = 0.0;
  Color borderColor_ = Color::black();
  std::optional<RoundedCornerMask> mask_;
  std::optional<GradientLayer> gradientLayer_;
  ContentMode contentMode_ = ContentMode::ScaleToFill;
  std::int64_t tag_ = 0;
  AutoresizingMask autoresizingMask_ = kAutoresizingNone;
  bool autoresizesSubviews_ = true;
  bool needsLayout_ = false;
};

}  // namespace plexora::platform
