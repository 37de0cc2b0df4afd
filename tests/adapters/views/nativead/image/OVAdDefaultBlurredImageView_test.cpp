// The blurred image view: when it blurs, where the image and the backdrop
// go, which renderer it picks, and what it tells its delegate.
#include "adapters/views/nativead/image/OVAdDefaultBlurredImageView.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "adapters/views/nativead/image/BlurredImageTestSupport.h"
#include "adapters/views/nativead/image/OVAdImageOpenGLRenderer.h"
#include "adapters/views/nativead/image/OVAdImageSoftwareRenderer.h"
#include "util/cache/OVAdCache.h"

namespace plexora::testing {
namespace {

using platform::Rect;
using platform::Size;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class BlurredImageViewTest : public BlurredImageTest {
 protected:
  // A view of the software renderer showing an image of `imageSize` points
  // (none for an empty size) over a blurred copy, laid out in `frame`.
  std::shared_ptr<OVAdDefaultBlurredImageView> softwareView(Size imageSize, Rect frame) {
    OVAdSettings::setMediaViewRenderingMethod(kOVAdMediaViewRenderingMethodSoftware);
    std::shared_ptr<platform::Image> image;
    if (imageSize.width > 0 && imageSize.height > 0) {
      image =
          checkerboard(static_cast<std::uint32_t>(imageSize.width), static_cast<std::uint32_t>(imageSize.height), 1.0);
    }
    const auto view = OVAdDefaultBlurredImageView::create(image, checkerboard(8, 8, 1.0));
    view->setFrame(frame);
    return view;
  }

  static std::shared_ptr<platform::Image> backdropShown(const OVAdDefaultBlurredImageView& view) {
    const auto renderer = std::dynamic_pointer_cast<OVAdImageSoftwareRenderer>(view.imageRenderer());
    if (!renderer) return nullptr;
    return std::static_pointer_cast<platform::ImageView>(renderer->imageView())->image();
  }
};

TEST_F(BlurredImageViewTest, BlursOnlyWhenTheAspectRatiosDifferByTwoAndAHalfPercentOrMore) {
  struct Case {
    const char* name;
    Size image;
    Rect frame;
    bool blurs;
  };
  const Case cases[] = {
      {"same 1.91:1 ratio", {191, 100}, Rect(0, 0, 382, 200), false},
      {"square image in a 2:1 frame", {100, 100}, Rect(0, 0, 200, 100), true},
      {"1.0 against 1.04 is within the tolerance", {100, 100}, Rect(0, 0, 104, 100), false},
      {"1.0 against 1.06 is not", {100, 100}, Rect(0, 0, 106, 100), true},
      {"frame of zero width", {100, 100}, Rect(0, 0, 0, 100), false},
      {"frame of zero height", {100, 100}, Rect(0, 0, 100, 0), false},
      {"no image", {0, 0}, Rect(0, 0, 200, 100), false},
      {"frame that is not a number", {100, 100}, Rect(0, 0, kNaN, 100), false},
      {"huge frame", {100, 100}, Rect(0, 0, 1e12, 1e6), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto view = softwareView(c.image, c.frame);
    view->layoutSubviews();
    EXPECT_EQ(view->needsImageBlurring(), c.blurs);
    if (!c.blurs) {
      EXPECT_FALSE(backdropShown(*view)) << "nothing is blurred";
    }
  }
}

TEST_F(BlurredImageViewTest, TheImageFitsWholeInsideTheFrameOverTheBackdrop) {
  struct Case {
    const char* name;
    Size image;
    Rect frame;
    Rect imageFrame;
  };
  const Case cases[] = {
      // Across the full width, centred, 2 points over the backdrop above
      // and below.
      {"wide image in a square frame", {200, 100}, Rect(0, 0, 100, 100), Rect(0, 23, 100, 54)},
      {"odd space is split downwards", {300, 100}, Rect(0, 0, 90, 101), Rect(0, 33, 90, 34)},
      // Taller than the frame: fitted by its height and centred across, not
      // run out of the view above and below.
      {"square image in a 2:1 frame", {100, 100}, Rect(0, 0, 200, 100), Rect(48, 0, 104, 100)},
      {"tall image in a wide frame", {100, 300}, Rect(0, 0, 300, 100), Rect(131, 0, 37, 100)},
      {"same ratio", {191, 100}, Rect(10, 10, 382, 200), Rect(0, 0, 382, 200)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto view = softwareView(c.image, c.frame);
    const auto imageView = view->imageView();
    ASSERT_TRUE(imageView);
    EXPECT_EQ(imageView->frame(), c.imageFrame);
    EXPECT_EQ(imageView->image(), view->image());
    EXPECT_EQ(imageView->contentMode(), platform::ContentMode::ScaleAspectFill);
    EXPECT_TRUE(view->clipsToBounds());
    const Rect inside = view->bounds().intersection(imageView->frame());
    // Only the overlap may reach past the bounds.
    EXPECT_LE(imageView->frame().width() - inside.width(), 4.0);
    EXPECT_LE(imageView->frame().height() - inside.height(), 4.0);
    const auto backdrop = view->blurredImageView();
    ASSERT_TRUE(backdrop);
    EXPECT_EQ(view->subviews().front(), backdrop) << "the backdrop stays below the image";
    if (view->needsImageBlurring()) {
      EXPECT_EQ(backdrop->frame(), view->bounds());
      EXPECT_TRUE(backdropShown(*view));
    }
  }
}

TEST_F(BlurredImageViewTest, InfoForRequestedSizeFitsByTheLimitingSide) {
  const auto view = OVAdDefaultBlurredImageView::create(checkerboard(100, 50, 1.0), nullptr);
  struct Case {
    Size requested;
    OVAspectRatioInfo info;
  };
  const Case cases[] = {
      {{100, 100}, {{0, 25}, {100, 50}}},
      {{101.7, 80.9}, {{0, 15}, {101, 50}}},
      {{100, 20}, {{30, 0}, {40, 20}}},
      {{0, 100}, {}},
      {{kNaN, 100}, {}},
      {{std::numeric_limits<double>::infinity(), 100}, {}},
      {{-100, 100}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.requested.width << " x " << c.requested.height);
    EXPECT_EQ(view->infoForRequestedSize(c.requested), c.info);
  }
  EXPECT_EQ(OVAdDefaultBlurredImageView::create()->infoForRequestedSize({100, 100}), OVAspectRatioInfo{}) << "no image";
}

TEST_F(BlurredImageViewTest, FrameAndImageChangesLayOutOnlyWhenSomethingChanged) {
  OVAdSettings::setMediaViewRenderingMethod(kOVAdMediaViewRenderingMethodSoftware);
  const auto view = OVAdDefaultBlurredImageView::create(checkerboard(100, 100, 1.0), checkerboard(8, 8, 1.0));
  view->setFrame(Rect(0, 0, 0, 0));
  EXPECT_FALSE(view->imageView()) << "an empty frame builds nothing";
  view->setFrame(Rect(0, 0, 200, 100));
  ASSERT_TRUE(view->imageView());
  const auto renderer = view->imageRenderer();
  view->setFrame(Rect(0, 0, 100, 100));
  EXPECT_EQ(view->imageRenderer(), renderer) << "the renderer is kept";
  EXPECT_FALSE(view->needsImageBlurring());
  EXPECT_EQ(view->imageView()->frame(), view->bounds());
  // The backdrop keeps what it showed when blurring stops.
  EXPECT_TRUE(backdropShown(*view));

  const auto wide = checkerboard(200, 100, 1.0);
  view->setImage(wide);
  EXPECT_EQ(view->imageView()->image(), wide);
  EXPECT_TRUE(view->needsImageBlurring());
  view->setBlurredImage(nullptr);
  EXPECT_FALSE(backdropShown(*view)) << "a cleared backdrop shows nothing";
}

TEST_F(BlurredImageViewTest, TheDelegateHearsOfEachImageOnceItShows) {
  struct Listener : OVAdBlurredImageViewDelegate {
    std::vector<std::shared_ptr<OVAdBlurredImageView>> loaded;
    void blurredImageViewDidLoad(const std::shared_ptr<OVAdBlurredImageView>& view) override { loaded.push_back(view); }
  };
  const auto listener = std::make_shared<Listener>();
  const auto view = softwareView({100, 100}, Rect(0, 0, 200, 100));
  view->setDelegate(listener);
  view->setImage(checkerboard(50, 50, 1.0));
  EXPECT_TRUE(listener->loaded.empty()) << "not before the image shows";
  runMainQueue();
  ASSERT_EQ(listener->loaded.size(), 1u);
  EXPECT_EQ(listener->loaded.front(), view);

  view->setImage(nullptr);
  runMainQueue();
  EXPECT_EQ(listener->loaded.size(), 1u) << "no image, no report";
  view->setImage(checkerboard(50, 50, 1.0));
  view->setImage(nullptr);
  runMainQueue();
  EXPECT_EQ(listener->loaded.size(), 1u) << "an image cleared before it showed is not reported";
}

TEST_F(BlurredImageViewTest, RendererChoiceFollowsTheRenderingMethodThenMetalThenOpenGL) {
  using Kind = OVAdImageRendererKind;
  struct Case {
    std::int64_t method;
    bool systemHasMetal;
    bool devicePresent;
    bool enabled;
    Kind kind;
  };
  const Case cases[] = {
      {3, true, true, true, Kind::Software}, {3, false, false, false, Kind::Software},
      {2, true, true, true, Kind::OpenGL},   {2, false, false, false, Kind::OpenGL},
      {0, true, true, true, Kind::Metal},    {1, true, true, true, Kind::Metal},
      {0, true, true, false, Kind::OpenGL},  {0, true, false, true, Kind::OpenGL},
      {0, false, true, true, Kind::OpenGL},  {4, false, false, false, Kind::OpenGL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "method " << c.method << " metal " << c.systemHasMetal << c.devicePresent
                                      << c.enabled);
    EXPECT_EQ(OVAdChooseImageRenderer(c.method, c.systemHasMetal, c.devicePresent, c.enabled), c.kind);
  }
}

TEST_F(BlurredImageViewTest, TheViewBuildsTheChosenRendererAndSaysWhich) {
  if (!hasGL()) GTEST_SKIP() << "no GL context on this machine";
  struct Case {
    std::int64_t method;
    platform::Dictionary configuration;
    bool openGL;
    const char* message;
  };
  const Case cases[] = {
      {3, {}, false, "OVAdBlurredImageView using software renderer..."},
      {2, {}, true, "OVAdBlurredImageView using OpenGL renderer..."},
      // No Metal device here, whatever the configuration says.
      {0, {}, true, "OVAdBlurredImageView using OpenGL renderer..."},
      {0, {{"ios_metal_image_renderer_enabled", false}}, true, "OVAdBlurredImageView using OpenGL renderer..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "method " << c.method);
    OVAdSettings::setMediaViewRenderingMethod(c.method);
    configure(c.configuration);
    const std::size_t before = log_.count(c.message);
    const auto view = OVAdDefaultBlurredImageView::create(checkerboard(10, 10, 1.0), nullptr);
    view->setFrame(Rect(0, 0, 20, 10));
    EXPECT_EQ(std::dynamic_pointer_cast<OVAdImageOpenGLRenderer>(view->imageRenderer()) != nullptr, c.openGL);
    EXPECT_EQ(log_.count(c.message), before + 1);
    EXPECT_EQ(view->ciContext(), view->imageRenderer()->ciContext());
  }
}

TEST_F(BlurredImageViewTest, TheBlurDecisionIsLoggedWithBothRatios) {
  softwareView({100, 100}, Rect(0, 0, 200, 100));
  EXPECT_TRUE(
      log_.contains("has extra space and will blur its image to fill the space. Frame ratio: 2.000000 "
                    "({200, 100}), Image ratio: 1.000000 ({100, 100})."));
}

TEST_F(BlurredImageViewTest, HugeAndEmptyFramesInAWindowDrawNothingAndDoNotCrash) {
  if (!hasGL()) GTEST_SKIP() << "no GL context on this machine";
  const auto window = makeKeyWindow();
  for (const std::int64_t method : {kOVAdMediaViewRenderingMethodOpenGL, kOVAdMediaViewRenderingMethodSoftware}) {
    SCOPED_TRACE(::testing::Message() << "method " << method);
    OVAdSettings::setMediaViewRenderingMethod(method);
    const auto view = OVAdDefaultBlurredImageView::create(checkerboard(10, 10, 1.0), checkerboard(8, 8, 1.0));
    window->addSubview(view);
    for (const Rect& frame : {Rect(0, 0, 1e9, 1e7), Rect(0, 0, 0, 0), Rect(0, 0, kNaN, kNaN),
                              Rect(0, 0, std::numeric_limits<double>::infinity(), 10), Rect(0, 0, 20, 10)}) {
      view->setFrame(frame);
      runMainQueue();
    }
    EXPECT_TRUE(view->needsImageBlurring());
    view->removeFromSuperview();
  }
}

}  // namespace
}  // namespace plexora::testing
