// The library's fullscreen video controller under a media view: a tap on
// the renderer presents it with the renderer lifted into it, the dismiss
// button dismisses it, puts the renderer back and reports both steps, in
// order, and the call to action becomes the ad's click once the controller
// has gone. On its own, with a renderer double: its layout (also after a
// rotation), its buttons (made once), the volume on each side, and what
// happens when the renderer's old superview is gone.
#include "adapters/views/nativead/video/OVAdDefaultFullscreenVideoController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "support/doubles/FakeVideoViews.h"

namespace plexora::testing {
namespace {

using platform::Rect;

// Records the controller's reports as words.
struct RecordingDelegate final : OVAdFullscreenVideoControllerDelegate {
  void videoControllerWillDismiss(const std::shared_ptr<OVAdFullscreenVideoController>&) override {
    messages.push_back("will");
  }
  void videoControllerDidDismiss(const std::shared_ptr<OVAdFullscreenVideoController>&) override {
    messages.push_back("did");
  }
  void videoControllerDidTapCallToAction(const std::shared_ptr<OVAdFullscreenVideoController>&,
                                         const std::shared_ptr<platform::Button>& button,
                                         const platform::Event*) override {
    messages.push_back("tap");
    tappedButton = button;
  }
  std::vector<std::string> messages;
  std::shared_ptr<platform::Button> tappedButton;
};

class DefaultFullscreenVideoControllerTest : public MediaViewTest {
 protected:
  DefaultFullscreenVideoControllerTest() {
    serve("media-cover.png", pngBody(12, 6));
    serve("media-icon.png", pngBody(4, 4));
  }

  // Runs what the main queue holds (a dismissal starts there), then lets
  // the presentation or dismissal animation finish.
  void finishTransition() {
    DisplayAdTestWorld::settle();
    world_.clock().advance(platform::ViewController::kTransitionSeconds);
    DisplayAdTestWorld::settle();
  }

  // A controller for a renderer double that sits in `home_`, presented
  // from the root with the recording delegate.
  std::shared_ptr<OVAdDefaultFullscreenVideoController> presentOwnController() {
    root_->view()->addSubview(home_);
    home_->addSubview(renderer_);
    auto controller = OVAdDefaultFullscreenVideoController::initWithVideoRenderer(renderer_, "Install now");
    controller->setDelegate(recorder_);
    EXPECT_TRUE(root_->present(controller, true));
    finishTransition();
    return controller;
  }

  MadeList<FakeMediaViewDefaultVideoRenderer> renderers_ = makeMadeList<FakeMediaViewDefaultVideoRenderer>();
  OVMediaViewDefaultVideoRenderer::Maker::Scope rendererScope_ = FakeMediaViewDefaultVideoRenderer::install(renderers_);
  std::shared_ptr<platform::View> home_ = std::make_shared<platform::View>(Rect(10, 50, 300, 170));
  std::shared_ptr<FakeMediaViewDefaultVideoRenderer> renderer_ = std::make_shared<FakeMediaViewDefaultVideoRenderer>();
  std::shared_ptr<RecordingDelegate> recorder_ = std::make_shared<RecordingDelegate>();
};

TEST_F(DefaultFullscreenVideoControllerTest, ATapShowsTheVideoFullScreenUntilClosed) {
  std::vector<std::string> clicks;
  const auto ad = adFrom(mediaAdData(true, false));
  ad->populateFromDataModel(ad->dataModel(), nullptr, {}, {},
                            [&clicks](const std::shared_ptr<platform::ViewController>& controller,
                                      const platform::Dictionary&) { clicks.push_back(controller ? "vc" : "none"); });
  const auto view = mediaViewFor(ad, Rect(0, 100, 320, 180));
  ad->registerViewForInteraction(view, root_, {view});
  const auto renderer = renderers_->back();
  renderer->delegate()->defaultVideoRendererWasTapped(renderer->self());
  finishTransition();

  const auto controller =
      std::dynamic_pointer_cast<OVAdDefaultFullscreenVideoController>(root_->presentedViewController());
  ASSERT_TRUE(controller);
  EXPECT_EQ(mediaDelegate_->messages, std::vector<std::string>{"enter"});
  EXPECT_EQ(renderer->superview(), controller->view()) << "lifted into the controller";
  EXPECT_EQ(renderer->frame(), controller->view()->bounds());
  EXPECT_EQ(renderer->playCalls, 1);
  ASSERT_TRUE(controller->callToActionButton());
  EXPECT_EQ(controller->callToActionButton()->currentTitle(), "Install");

  controller->dismissButton()->sendTap();
  EXPECT_EQ(renderer->playCalls, 2) << "the video plays on in the view";
  EXPECT_EQ(mediaDelegate_->messages, std::vector<std::string>{"enter"}) << "not dismissed yet";
  finishTransition();
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"enter", "exit"}));
  EXPECT_FALSE(root_->presentedViewController());
  EXPECT_EQ(renderer->superview(), view) << "back in the media view";
  EXPECT_EQ(renderer->frame(), view->bounds());
  EXPECT_TRUE(clicks.empty());

  // The media view made a new controller for the next tap; its call to
  // action is the ad's click, once the controller has gone.
  renderer->delegate()->defaultVideoRendererWasTapped(renderer->self());
  finishTransition();
  const auto second = std::dynamic_pointer_cast<OVAdDefaultFullscreenVideoController>(root_->presentedViewController());
  ASSERT_TRUE(second);
  EXPECT_NE(second, controller);
  second->callToActionButton()->sendTap();
  EXPECT_TRUE(clicks.empty()) << "not before the dismissal";
  finishTransition();
  EXPECT_EQ(clicks, std::vector<std::string>{"vc"});
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"enter", "exit", "enter", "exit"}));
  EXPECT_FALSE(root_->presentedViewController());
  EXPECT_EQ(renderer->superview(), view);
  ad->unregisterView();
}

TEST_F(DefaultFullscreenVideoControllerTest, TheButtonsSitInTheCornersAlsoAfterARotation) {
  const auto controller = presentOwnController();
  const auto root = controller->view();
  EXPECT_EQ(root->backgroundColor(), platform::Color::black());
  EXPECT_EQ(renderer_->inlineModes, std::vector<bool>{false});
  EXPECT_EQ(controller->originalSuperView(), home_);
  EXPECT_EQ(controller->supportedInterfaceOrientations(), 26U) << "no upside-down portrait";
  EXPECT_TRUE(controller->prefersStatusBarHidden());

  const auto dismiss = controller->dismissButton();
  ASSERT_TRUE(dismiss);
  EXPECT_EQ(dismiss->frame(), Rect(4, 4, 36, 36));
  EXPECT_EQ(dismiss->alpha(), 0.75);
  EXPECT_EQ(root->subviews().back(), dismiss) << "above the renderer and the call to action";
  EXPECT_EQ(root->subviews().front(), renderer_);

  for (const Rect bounds : {root->bounds(), Rect(0, 0, 667, 375)}) {
    root->setFrame(bounds);
    root->layoutIfNeeded();
    const Rect button = controller->callToActionButton()->frame();
    EXPECT_EQ(renderer_->frame(), Rect(0, 0, bounds.size.width, bounds.size.height));
    EXPECT_GT(button.size.width, 0);
    EXPECT_EQ(button.size.height, OVAdVideoCallToActionButton::kHeight);
    EXPECT_EQ(button.origin.x, bounds.size.width - button.size.width - 12);
    EXPECT_EQ(button.origin.y, 9);
  }

  // Loading again finds the buttons made.
  controller->viewDidLoad();
  int callToActions = 0;
  int dismisses = 0;
  for (const auto& subview : root->subviews()) {
    callToActions += std::dynamic_pointer_cast<OVAdVideoCallToActionButton>(subview) ? 1 : 0;
    dismisses += std::dynamic_pointer_cast<OVAdVideoDismissButton>(subview) ? 1 : 0;
  }
  EXPECT_EQ(callToActions, 1);
  EXPECT_EQ(dismisses, 1);
}

TEST_F(DefaultFullscreenVideoControllerTest, FullVolumeWhileShownAndMutedInlineAgain) {
  renderer_->volumeValue = 0.0F;
  const auto controller = presentOwnController();
  EXPECT_EQ(renderer_->volume(), 1.0F);

  controller->dismissButton()->sendTap();
  EXPECT_EQ(recorder_->messages, std::vector<std::string>{"will"});
  DisplayAdTestWorld::settle();
  EXPECT_EQ(renderer_->superview(), home_) << "put back before the dismissal animation";
  EXPECT_EQ(renderer_->frame(), Rect(0, 0, 300, 170)) << "the old superview's bounds";
  EXPECT_EQ(renderer_->inlineModes, (std::vector<bool>{false, true}));
  EXPECT_EQ(renderer_->volume(), 0.0F);
  EXPECT_FALSE(controller->videoRenderer());
  EXPECT_EQ(recorder_->messages, std::vector<std::string>{"will"});
  finishTransition();
  EXPECT_EQ(recorder_->messages, (std::vector<std::string>{"will", "did"}));
}

TEST_F(DefaultFullscreenVideoControllerTest, TheCallToActionIsReportedAfterTheDismissalAndBeforeItsEnd) {
  const auto controller = presentOwnController();
  controller->callToActionButton()->sendTap();
  controller->callToActionButton()->sendTap();
  controller->dismissButton()->sendTap();
  EXPECT_EQ(recorder_->messages, std::vector<std::string>{"will"}) << "one dismissal at a time";
  DisplayAdTestWorld::settle();
  EXPECT_EQ(recorder_->messages, std::vector<std::string>{"will"});
  finishTransition();
  EXPECT_EQ(recorder_->messages, (std::vector<std::string>{"will", "tap", "did"}));
  EXPECT_EQ(recorder_->tappedButton, controller->callToActionButton());
  EXPECT_FALSE(root_->presentedViewController());
}

TEST_F(DefaultFullscreenVideoControllerTest, WithoutItsOldSuperviewTheRendererIsLeftOutEmpty) {
  const auto controller = presentOwnController();
  home_->removeFromSuperview();
  home_.reset();
  controller->dismissButton()->sendTap();
  finishTransition();
  EXPECT_FALSE(renderer_->superview());
  EXPECT_EQ(renderer_->frame(), Rect());
  EXPECT_EQ(renderer_->inlineModes, (std::vector<bool>{false, true}));
  EXPECT_EQ(recorder_->messages, (std::vector<std::string>{"will", "did"}));
}

}  // namespace
}  // namespace plexora::testing
