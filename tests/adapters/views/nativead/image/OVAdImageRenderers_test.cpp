// The backdrop's renderers: both show the blurred picture they are given,
// stretched over their view, the GL one drawn and read back; their image
// contexts follow the configuration; the GL one stays off GL while the
// application is not active.
#include <gtest/gtest.h>

#include <memory>

#include "adapters/views/nativead/image/BlurredImageTestSupport.h"
#include "adapters/views/nativead/image/OVAdDefaultBlurredImageView.h"
#include "adapters/views/nativead/image/OVAdImageOpenGLRenderer.h"
#include "adapters/views/nativead/image/OVAdImageSoftwareRenderer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Blur.h"
#include "platform/ui/ViewRendering.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {
namespace {

using platform::ApplicationState;
using platform::Rect;

constexpr const char* kSkippedMessage = "OVAdImageOpenGLRenderer skipped rendering due to app being backgrounded.";
// Above this the pictures differ only by rounding and filtering.
constexpr double kSamePictureDecibels = 35.0;

class ImageRendererTest : public BlurredImageTest {
 protected:
  void SetUp() override {
    BlurredImageTest::SetUp();
    if (!hasGL()) GTEST_SKIP() << "no GL context on this machine";
    window_ = makeKeyWindow();
  }

  // The renderer's view in the window at `frame`, showing `image`.
  std::shared_ptr<platform::Image> rendered(OVAdImageRenderer& renderer, Rect frame,
                                            const std::shared_ptr<platform::Image>& image) {
    const auto view = renderer.imageView();
    view->setFrame(frame);
    window_->addSubview(view);
    renderer.renderCIImage(image);
    runMainQueue();
    return platform::renderView(*view, view->bounds(), kScreenScale);
  }

  static constexpr double kScreenScale = 2.0;
  std::shared_ptr<platform::Window> window_;
};

TEST_F(ImageRendererTest, BothRenderersShowTheBlurredPictureTheyAreGiven) {
  // 120 x 60 pixels at the screen's scale: one drawable pixel each.
  const auto sharp = checkerboard(120, 60, kScreenScale);
  const auto blurred = OVAdUtility::addGaussianBlurToImage(sharp);
  ASSERT_TRUE(blurred);
  const auto reference = platform::gaussianBlur(*sharp, 2.0);

  const auto software = OVAdImageSoftwareRenderer::create();
  const auto openGL = OVAdImageOpenGLRenderer::create();
  ASSERT_TRUE(openGL);
  for (OVAdImageRenderer* renderer :
       {static_cast<OVAdImageRenderer*>(software.get()), static_cast<OVAdImageRenderer*>(openGL.get())}) {
    SCOPED_TRACE(renderer == software.get() ? "software" : "OpenGL");
    const auto picture = rendered(*renderer, Rect(0, 0, 60, 30), blurred);
    ASSERT_TRUE(picture);
    EXPECT_GT(psnr(*picture, *reference), kSamePictureDecibels);
    EXPECT_LT(psnr(*picture, *sharp), 20.0) << "the sharp picture is not what shows";
  }
}

TEST_F(ImageRendererTest, StretchedOverALargerViewTheTwoRenderersAgree) {
  const auto blurred = OVAdUtility::addGaussianBlurToImage(checkerboard(40, 30, 1.0));
  const auto software = OVAdImageSoftwareRenderer::create();
  const auto openGL = OVAdImageOpenGLRenderer::create();
  ASSERT_TRUE(openGL);
  // Not the image's aspect ratio: stretched, not fitted.
  const auto fromSoftware = rendered(*software, Rect(0, 0, 100, 40), blurred);
  const auto fromOpenGL = rendered(*openGL, Rect(0, 0, 100, 40), blurred);
  ASSERT_TRUE(fromSoftware);
  ASSERT_TRUE(fromOpenGL);
  EXPECT_EQ(fromOpenGL->pixelWidth(), 200u);
  EXPECT_GT(psnr(*fromSoftware, *fromOpenGL), 30.0);
  // Corners keep the image's corner colours, the right way up.
  EXPECT_NEAR(fromOpenGL->pixel(0, 0).red, blurred->pixel(0, 0).red, 6);
  EXPECT_NEAR(fromOpenGL->pixel(199, 79).blue, blurred->pixel(39, 29).blue, 6);
}

TEST_F(ImageRendererTest, NothingRendersAnEmptyPictureOrAHiddenOrEmptyView) {
  const auto openGL = OVAdImageOpenGLRenderer::create();
  ASSERT_TRUE(openGL);
  const auto image = checkerboard(20, 20, 1.0);
  ASSERT_TRUE(rendered(*openGL, Rect(0, 0, 20, 20), image));
  const auto shown = openGL->glView()->image();
  ASSERT_TRUE(shown);

  openGL->glView()->setHidden(true);
  openGL->renderCIImage(checkerboard(20, 20, 1.0, 2));
  runMainQueue();
  EXPECT_EQ(openGL->glView()->image(), shown) << "a hidden view is not drawn";
  openGL->glView()->setHidden(false);
  openGL->renderCIImage(nullptr);
  runMainQueue();
  EXPECT_EQ(openGL->glView()->image(), shown) << "no picture, no draw";

  const auto software = OVAdImageSoftwareRenderer::create();
  software->renderCIImage(image);
  software->renderCIImage(nullptr);
  EXPECT_FALSE(std::static_pointer_cast<platform::ImageView>(software->imageView())->image());
}

TEST_F(ImageRendererTest, TheGLDrawableIsClearedToTheViewsBackgroundBeforeTheImage) {
  const auto openGL = OVAdImageOpenGLRenderer::create();
  ASSERT_TRUE(openGL);
  // Half-transparent red over the background.
  const auto image = platform::Image::create(10, 10, 1.0, {1, 0, 0, 0.5});
  const auto clear = rendered(*openGL, Rect(0, 0, 10, 10), image);
  ASSERT_TRUE(clear);
  EXPECT_NEAR(clear->pixel(5, 5).red, 255, 2);
  EXPECT_NEAR(clear->pixel(5, 5).alpha, 128, 2);

  openGL->glView()->setBackgroundColor(platform::Color{0, 0, 1, 1});
  openGL->renderCIImage(image);
  runMainQueue();
  const auto shown = openGL->glView()->image();
  ASSERT_TRUE(shown);
  EXPECT_NEAR(shown->pixel(5, 5).red, 128, 2);
  EXPECT_NEAR(shown->pixel(5, 5).blue, 127, 2);
  EXPECT_EQ(shown->pixel(5, 5).alpha, 255);
}

TEST_F(ImageRendererTest, TheCachedContextsAreUsedUnlessTheConfigurationTurnsThemOff) {
  const auto cache = OVAdCache::sharedCache();
  EXPECT_EQ(OVAdImageSoftwareRenderer::create()->ciContext(), cache->defaultImageContext());
  const auto openGL = OVAdImageOpenGLRenderer::create();
  EXPECT_EQ(openGL->ciContext(), cache->openGLImageContext());
  EXPECT_EQ(openGL->glView()->context(), cache->eaglContext());

  configure({{"use_cached_image_context_for_software_renderer", false},
             {"use_cached_image_context_for_opengl_renderer", false}});
  const auto ownSoftware = OVAdImageSoftwareRenderer::create();
  EXPECT_NE(ownSoftware->ciContext(), cache->defaultImageContext());
  EXPECT_FALSE(ownSoftware->ciContext()->glContext());
  const auto ownGL = OVAdImageOpenGLRenderer::create();
  EXPECT_NE(ownGL->ciContext(), cache->openGLImageContext());
  EXPECT_NE(ownGL->glView()->context(), cache->eaglContext());
  EXPECT_EQ(ownGL->ciContext()->glContext(), ownGL->glView()->context());
  // Each draws its own picture.
  EXPECT_TRUE(rendered(*ownGL, Rect(0, 0, 10, 10), checkerboard(10, 10, 1.0)));

  // A context given to the renderer gets an image context of its own.
  configure({});
  const auto given = platform::GLContext::create();
  const auto onGiven = OVAdImageOpenGLRenderer::create(given);
  EXPECT_EQ(onGiven->glView()->context(), given);
  EXPECT_EQ(onGiven->ciContext()->glContext(), given);
}

TEST_F(ImageRendererTest, WhileTheApplicationIsAwayTheGLRendererOnlyLogsTheSkip) {
  const auto openGL = OVAdImageOpenGLRenderer::create();
  ASSERT_TRUE(openGL);
  const auto first = checkerboard(20, 20, 1.0);
  ASSERT_TRUE(rendered(*openGL, Rect(0, 0, 20, 20), first));
  const auto shown = openGL->glView()->image();

  platform::Application::shared()->transitionTo(ApplicationState::Background);
  runMainQueue();
  openGL->renderCIImage(checkerboard(20, 20, 1.0, 2));
  runMainQueue();
  EXPECT_EQ(log_.count(kSkippedMessage), 1u);
  EXPECT_EQ(openGL->glView()->image(), shown) << "nothing was drawn";

  // Coming back draws nothing by itself.
  platform::Application::shared()->transitionTo(ApplicationState::Active);
  runMainQueue();
  EXPECT_EQ(openGL->glView()->image(), shown);
  // The next request draws into a new drawable.
  openGL->renderCIImage(first);
  runMainQueue();
  ASSERT_NE(openGL->glView()->image(), shown);
  EXPECT_GT(psnr(*openGL->glView()->image(), *shown), kSamePictureDecibels);
  EXPECT_EQ(log_.count(kSkippedMessage), 1u);
}

TEST_F(ImageRendererTest, TheGLViewIsNotDrawnOutsideAWindowOrWithAZeroFrame) {
  const auto openGL = OVAdImageOpenGLRenderer::create();
  ASSERT_TRUE(openGL);
  openGL->glView()->setFrame(Rect(0, 0, 20, 20));
  openGL->renderCIImage(checkerboard(20, 20, 1.0));
  runMainQueue();
  EXPECT_FALSE(openGL->glView()->image()) << "outside a window";
  window_->addSubview(openGL->glView());
  runMainQueue();
  EXPECT_TRUE(openGL->glView()->image()) << "drawn once it shows";
}

TEST_F(ImageRendererTest, TheBlurredImageViewShowsTheSharpImageOverTheBlurredOne) {
  OVAdSettings::setMediaViewRenderingMethod(kOVAdMediaViewRenderingMethodOpenGL);
  const platform::Pixel red{255, 0, 0, 255};
  const platform::Pixel green{0, 255, 0, 255};
  const auto view = OVAdDefaultBlurredImageView::create(platform::Image::create(40, 40, 1.0, {1, 0, 0, 1}),
                                                        platform::Image::create(10, 10, 1.0, {0, 1, 0, 1}));
  window_->addSubview(view);
  view->setFrame(Rect(0, 0, 80, 40));
  runMainQueue();
  const auto picture = platform::renderView(*view, view->bounds(), 1.0);
  ASSERT_TRUE(picture);
  // The sharp image fitted to the height in the middle, 2 points over the
  // backdrop either side; the drawn backdrop at the sides.
  for (const std::uint32_t x : {0u, 10u, 17u, 62u, 79u}) EXPECT_EQ(picture->pixel(x, 20), green) << x;
  for (const std::uint32_t x : {18u, 40u, 61u}) EXPECT_EQ(picture->pixel(x, 20), red) << x;
  EXPECT_EQ(picture->pixel(40, 0), red);
  EXPECT_EQ(picture->pixel(40, 39), red);
}

}  // namespace
}  // namespace plexora::testing
