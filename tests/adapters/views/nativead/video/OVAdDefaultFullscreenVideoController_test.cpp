// The library's fullscreen video controller under a media view: a tap on
// the renderer presents it with the renderer lifted into it, the call to
// action is the ad's click, and the close button dismisses it, puts the
// renderer back and reports both steps, in order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "adapters/views/nativead/video/OVAdDefaultFullscreenVideoController.h"
#include "support/doubles/FakeVideoViews.h"

namespace plexora::testing {
namespace {

using platform::Rect;

class DefaultFullscreenVideoControllerTest : public MediaViewTest {
 protected:
  DefaultFullscreenVideoControllerTest() {
    serve("media-cover.png", pngBody(12, 6));
    serve("media-icon.png", pngBody(4, 4));
  }

  void finishTransition() {
    world_.clock().advance(platform::ViewController::kTransitionSeconds);
    DisplayAdTestWorld::settle();
  }

  MadeList<FakeMediaViewDefaultVideoRenderer> renderers_ = makeMadeList<FakeMediaViewDefaultVideoRenderer>();
  OVMediaViewDefaultVideoRenderer::Maker::Scope rendererScope_ = FakeMediaViewDefaultVideoRenderer::install(renderers_);
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

  const auto controller = std::dynamic_pointer_cast<OVAdDefaultFullscreenVideoController>(
      root_->presentedViewController());
  ASSERT_TRUE(controller);
  EXPECT_EQ(mediaDelegate_->messages, std::vector<std::string>{"enter"});
  EXPECT_EQ(renderer->superview(), controller->view()) << "lifted into the controller";
  EXPECT_EQ(renderer->frame(), controller->view()->bounds());
  EXPECT_EQ(renderer->playCalls, 1);
  ASSERT_TRUE(controller->callToActionButton());
  EXPECT_EQ(controller->callToActionButton()->currentTitle(), "Install");

  controller->callToActionButton()->sendTap();
  EXPECT_EQ(clicks, std::vector<std::string>{"vc"});

  controller->closeButton()->sendTap();
  EXPECT_EQ(renderer->playCalls, 2) << "the video plays on in the view";
  EXPECT_EQ(mediaDelegate_->messages, std::vector<std::string>{"enter"}) << "not dismissed yet";
  finishTransition();
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"enter", "exit"}));
  EXPECT_FALSE(root_->presentedViewController());
  EXPECT_EQ(renderer->superview(), view) << "back in the media view";
  EXPECT_EQ(renderer->frame(), view->bounds());

  // The media view made a new controller for the next tap.
  renderer->delegate()->defaultVideoRendererWasTapped(renderer->self());
  finishTransition();
  EXPECT_NE(root_->presentedViewController(), controller);
  EXPECT_TRUE(std::dynamic_pointer_cast<OVAdDefaultFullscreenVideoController>(root_->presentedViewController()));
  root_->dismiss(false);
  DisplayAdTestWorld::settle();
  ad->unregisterView();
}

}  // namespace
}  // namespace plexora::testing
