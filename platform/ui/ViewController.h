// View controllers: each manages one view (loaded on first use), may hold
// child controllers, and may present another controller modally over its
// window.
//
// Presentation: present() puts the presented controller's view on top of
// the presenter's window, filling it. Children present through their
// top-most parent, which becomes the presenting controller (so
// presentingViewController / presentedViewController chains can be walked
// from a window's root). A full-screen presentation takes the presenter's
// view out of the window once it has completed and puts it back when the
// presented controller is dismissed; an over-full-screen one leaves it in
// place. The appearance hooks run around each transition (children get
// their parents' calls). Completions, the did-appear and did-disappear
// hooks and the end of each transition run on the main queue: after
// kTransitionSeconds of the current Clock when animated, on the next turn
// of the main loop otherwise. While a transition runs, the controllers
// involved refuse to present or dismiss again.
//
// Refused (answering false, with a log line, and no completion): presenting
// a null controller or oneself, a controller that is already presented or
// is a child, presenting from a controller that already presents one or
// whose view is not in a window; dismissing when nothing is presented.
//
// Thread safety: main thread only.
// Ownership: a controller owns its view, its children and the controller
// it presents; a child holds its parent, a presented controller its
// presenter, and a view its controller, weakly. Controllers must be owned by
// a shared_ptr before their view is loaded or set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/ui/Responder.h"

namespace plexora::platform {

class View;

enum class ModalPresentationStyle : std::int64_t { FullScreen = 0, OverFullScreen = 5 };

class PLEXORA_EXPORT ViewController : public Responder {
 public:
  static constexpr double kTransitionSeconds = 0.3;

  ViewController() = default;
  ~ViewController() override;

  // Loads the view first when needed: loadView(), then viewDidLoad().
  std::shared_ptr<View> view();
  std::shared_ptr<View> viewIfLoaded() const { return view_; }
  bool isViewLoaded() const { return view_ != nullptr; }
  void setView(std::shared_ptr<View> view);
  // The base makes a plain view the size of the main screen.
  virtual void loadView();
  virtual void viewDidLoad() {}

  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}

  // All orientations but upside down, unless overridden.
  virtual InterfaceOrientationMask supportedInterfaceOrientations() const;
  // The current status-bar orientation, unless overridden.
  virtual InterfaceOrientation preferredInterfaceOrientationForPresentation() const;
  virtual bool prefersStatusBarHidden() const { return false; }

  // --- Children. addChildViewController() calls the child's
  // willMoveToParentViewController(this); the caller adds the child's view
  // and then calls didMoveToParentViewController(this). Removal is the
  // mirror: the caller calls willMoveToParentViewController(nullptr),
  // removeFromParentViewController() calls didMoveToParentViewController(nullptr).
  std::shared_ptr<ViewController> parentViewController() const { return parent_.lock(); }
  std::vector<std::shared_ptr<ViewController>> childViewControllers() const { return children_; }
  void addChildViewController(const std::shared_ptr<ViewController>& child);
  void removeFromParentViewController();
  virtual void willMoveToParentViewController(const std::shared_ptr<ViewController>& /*parent*/) {}
  virtual void didMoveToParentViewController(const std::shared_ptr<ViewController>& /*parent*/) {}

  // --- Presentation (see the header comment).
  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
  std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
  ModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
  void setModalPresentationStyle(ModalPresentationStyle style) { presentationStyle_ = style; }
  bool present(const std::shared_ptr<ViewController>& controller, bool animated,
               std::function<void()> completion = {});
  // Dismisses what this controller (or its top-most parent) presents, with
  // everything presented above it; called on a presented controller, asks
  // its presenter to dismiss it.
  bool dismiss(bool animated, std::function<void()> completion = {});

  // The presenting controller, else the view's superview, else the parent.
  std::shared_ptr<Responder> nextResponder() const override;

 private:
  friend class Window;

  enum class Appearance { WillAppear, DidAppear, WillDisappear, DidDisappear };

  std::shared_ptr<ViewController> sharedController();
  std::shared_ptr<ViewController> topMostParent();
  void sendAppearance(Appearance appearance, bool animated);
  bool dismissPresented(bool animated, std::function<void()> completion);
  void coverView();
  void uncoverView();

  std::shared_ptr<View> view_;
  bool loadingView_ = false;
  std::weak_ptr<ViewController> parent_;
  std::vector<std::shared_ptr<ViewController>> children_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  ModalPresentationStyle presentationStyle_ = ModalPresentationStyle::FullScreen;
  bool transitioning_ = false;
  // Where the view was when a full-screen presentation took it away.
  std::weak_ptr<View> coveredSuperview_;
  std::size_t coveredIndex_ = 0;
};

}  // namespace plexora::platform
