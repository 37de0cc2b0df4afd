#include "platform/ui/ViewRendering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using ViewRenderingTest = UITest;

constexpr Color kRed{1, 0, 0, 1};
constexpr Color kGreen{0, 1, 0, 1};
constexpr Color kBlue{0, 0, 1, 1};
constexpr Pixel kClearPixel{0, 0, 0, 0};
constexpr Pixel kRedPixel{255, 0, 0, 255};
constexpr Pixel kGreenPixel{0, 255, 0, 255};
constexpr Pixel kBluePixel{0, 0, 255, 255};
constexpr Pixel kWhitePixel{255, 255, 255, 255};

bool near(const Pixel& a, const Pixel& b, int tolerance = 2) {
  return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
         std::abs(a.blue - b.blue) <= tolerance && std::abs(a.alpha - b.alpha) <= tolerance;
}

std::shared_ptr<View> box(Rect frame, std::optional<Color> color) {
  auto view = std::make_shared<View>(frame);
  view->setBackgroundColor(color);
  return view;
}

std::shared_ptr<Image> picture(const View& view, double scale = 1.0) {
  auto image = renderView(view, view.bounds(), scale);
  EXPECT_NE(image, nullptr);
  return image;
}

TEST_F(ViewRenderingTest, TranslucentBackgroundsBlendOverWhatIsBehind) {
  auto back = box(Rect(0, 0, 20, 20), Color::white());
  back->addSubview(box(Rect(5, 5, 10, 10), Color{1, 0, 0, 0.5}));
  const auto image = picture(*back);
  EXPECT_EQ(image->pixelWidth(), 20u);
  EXPECT_EQ(image->pixel(2, 2), kWhitePixel);
  EXPECT_TRUE(near(image->pixel(10, 10), Pixel{255, 127, 127, 255})) << "half red over white";

  // Alone, with nothing behind, the picture keeps the alpha (straight).
  const auto alone = picture(*box(Rect(0, 0, 4, 4), Color{0, 0, 1, 0.5}));
  EXPECT_TRUE(near(alone->pixel(1, 1), Pixel{0, 0, 255, 128}));
}

TEST_F(ViewRenderingTest, SubviewsDrawBackToFrontAtTheirFramesInTheBounds) {
  auto root = box(Rect(0, 0, 30, 10), Color::white());
  auto red = box(Rect(0, 0, 20, 10), kRed);
  auto green = box(Rect(10, 0, 20, 10), kGreen);
  root->addSubview(red);
  root->addSubview(green);
  EXPECT_EQ(picture(*root)->pixel(15, 5), kGreenPixel);
  root->bringSubviewToFront(red);
  EXPECT_EQ(picture(*root)->pixel(15, 5), kRedPixel);

  // A bounds origin scrolls the subviews: red now starts 5 points left.
  root->setBounds(Rect(5, 0, 30, 10));
  const auto scrolled = picture(*root);
  EXPECT_EQ(scrolled->pixel(14, 5), kRedPixel);
  EXPECT_EQ(scrolled->pixel(16, 5), kGreenPixel);
}

TEST_F(ViewRenderingTest, HiddenAndTransparentViewsShowNothingAndAlphaFadesTheWholeTree) {
  auto root = box(Rect(0, 0, 30, 10), Color::white());
  auto hidden = box(Rect(0, 0, 10, 10), kRed);
  hidden->setHidden(true);
  auto transparent = box(Rect(10, 0, 10, 10), kRed);
  transparent->setAlpha(0);
  auto faded = box(Rect(20, 0, 10, 10), kBlue);
  faded->addSubview(box(Rect(0, 0, 5, 10), kRed));  // covers the left half of its parent
  faded->setAlpha(0.5);
  for (const auto& view : {hidden, transparent, faded}) root->addSubview(view);

  const auto image = picture(*root);
  EXPECT_EQ(image->pixel(5, 5), kWhitePixel);
  EXPECT_EQ(image->pixel(15, 5), kWhitePixel);
  // As one picture: the red child covers its blue parent, then both fade.
  EXPECT_TRUE(near(image->pixel(22, 5), Pixel{255, 127, 127, 255}));
  EXPECT_TRUE(near(image->pixel(27, 5), Pixel{127, 127, 255, 255}));

  root->setHidden(true);
  const auto none = renderView(*root, root->bounds(), 1.0, Color::black());
  EXPECT_EQ(none->pixel(5, 5), (Pixel{0, 0, 0, 255})) << "a hidden view leaves the backdrop";
}

TEST_F(ViewRenderingTest, AFadedViewKeepsWhatItsSubviewsPaintOutsideItsBounds) {
  // The faded picture is cut to what the view and its subviews paint; a
  // grandchild spilling out, under a scrolled bounds origin, at fractional
  // positions, still fades in place, at either scale.
  auto root = box(Rect(0, 0, 40, 40), Color::white());
  auto faded = box(Rect(10.5, 10.5, 10, 10), kBlue);
  faded->setBounds(Rect(2, 0, 10, 10));
  auto child = box(Rect(2, 8, 6, 6), std::nullopt);  // from (10.5, 18.5) in the root
  child->addSubview(box(Rect(4, 4, 8, 8), kRed));     // (14.5, 22.5) to (22.5, 30.5)
  faded->addSubview(child);
  faded->setAlpha(0.5);
  root->addSubview(faded);
  for (const double scale : {1.0, 2.0}) {
    const auto image = picture(*root, scale);
    const auto at = [&](double x, double y) {
      return image->pixel(static_cast<std::uint32_t>(x * scale), static_cast<std::uint32_t>(y * scale));
    };
    EXPECT_TRUE(near(at(20, 28), Pixel{255, 127, 127, 255})) << "below and beside the faded view, at " << scale;
    EXPECT_TRUE(near(at(12, 15), Pixel{127, 127, 255, 255})) << scale;
    EXPECT_EQ(at(35, 35), kWhitePixel) << scale;
    EXPECT_EQ(at(5, 5), kWhitePixel) << scale;
  }
}

TEST_F(ViewRenderingTest, ClippingKeepsSubviewsInsideTheBounds) {
  for (bool clips : {false, true}) {
    auto root = box(Rect(0, 0, 10, 10), Color::white());
    root->setClipsToBounds(clips);
    root->addSubview(box(Rect(5, 5, 10, 10), kGreen));
    // A picture larger than the view shows what spills out.
    const auto image = renderView(*root, Rect(0, 0, 20, 20), 1.0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(7, 7), kGreenPixel) << clips;
    EXPECT_EQ(image->pixel(12, 12), clips ? kClearPixel : kGreenPixel) << clips;
  }
}

TEST_F(ViewRenderingTest, CornerRadiusRoundsTheBackgroundAndTheClip) {
  auto view = box(Rect(0, 0, 20, 20), kRed);
  view->setCornerRadius(8);
  auto child = box(Rect(0, 0, 20, 20), kGreen);
  view->addSubview(child);
  EXPECT_EQ(picture(*view)->pixel(0, 0), kGreenPixel) << "without clipping a subview keeps its square corners";

  view->setClipsToBounds(true);
  const auto image = picture(*view);
  for (auto [x, y] : {std::pair{0u, 0u}, {19u, 0u}, {0u, 19u}, {19u, 19u}}) {
    EXPECT_EQ(image->pixel(x, y), kClearPixel) << x << "," << y;
  }
  EXPECT_EQ(image->pixel(10, 10), kGreenPixel);
  EXPECT_EQ(image->pixel(10, 0), kGreenPixel) << "edges between the corners stay";
  EXPECT_EQ(image->pixel(3, 3), kGreenPixel) << "inside the arc";

  child->removeFromSuperview();
  const auto background = picture(*view);
  EXPECT_EQ(background->pixel(0, 0), kClearPixel);
  EXPECT_EQ(background->pixel(10, 10), kRedPixel);
}

TEST_F(ViewRenderingTest, BordersLieInsideTheBoundsAboveTheSubviews) {
  auto view = box(Rect(0, 0, 20, 20), Color::white());
  view->addSubview(box(Rect(0, 0, 20, 20), kGreen));
  view->setBorderWidth(2);
  view->setBorderColor(kBlue);
  const auto image = picture(*view);
  EXPECT_EQ(image->pixel(0, 10), kBluePixel);
  EXPECT_EQ(image->pixel(1, 10), kBluePixel);
  EXPECT_EQ(image->pixel(19, 19), kBluePixel);
  EXPECT_EQ(image->pixel(2, 10), kGreenPixel);
  EXPECT_EQ(image->pixel(10, 10), kGreenPixel);

  view->setBorderWidth(-1);
  EXPECT_EQ(view->borderWidth(), 0);
  EXPECT_EQ(picture(*view)->pixel(0, 10), kGreenPixel);
}

TEST_F(ViewRenderingTest, ARoundedCornerMaskKeepsItsRectangleWithTheCornersItNames) {
  auto view = box(Rect(0, 0, 40, 20), kRed);
  view->setBounds(Rect(100, 100, 40, 20));  // the mask is in layer coordinates, not the bounds'
  view->setMask(RoundedCornerMask{Rect(0, 0, 30, 20), kRectCornerTopRight | kRectCornerBottomLeft, 5});
  const auto image = picture(*view);
  EXPECT_EQ(image->pixel(0, 0), kRedPixel) << "top left stays square";
  EXPECT_EQ(image->pixel(29, 0), kClearPixel) << "top right is rounded";
  EXPECT_EQ(image->pixel(0, 19), kClearPixel) << "bottom left is rounded";
  EXPECT_EQ(image->pixel(29, 19), kRedPixel);
  EXPECT_EQ(image->pixel(35, 10), kClearPixel) << "outside the mask";
  EXPECT_EQ(image->pixel(15, 10), kRedPixel);
}

TEST_F(ViewRenderingTest, GradientsRunFromTheStartColourToTheEndColour) {
  struct Case {
    const char* name;
    GradientLayer gradient;
    Pixel first;   // at (0, 0)
    Pixel middle;  // at the centre
    Pixel last;    // at the far corner
  };
  const Case cases[] = {
      {"TopToBottom", GradientLayer{{kRed, kBlue}, {}}, kRedPixel, Pixel{128, 0, 127, 255}, kBluePixel},
      {"LeftToRight", GradientLayer{{kRed, kBlue}, {}, Point{0, 0.5}, Point{1, 0.5}}, kRedPixel,
       Pixel{128, 0, 127, 255}, kBluePixel},
      {"LocationsHoldTheFirstColourToHalfway", GradientLayer{{kRed, kBlue}, {0.5, 1}}, kRedPixel, kRedPixel,
       kBluePixel},
      {"ThreeEvenlySpaced", GradientLayer{{kRed, kGreen, kBlue}, {}}, kRedPixel, kGreenPixel, kBluePixel},
      {"OneColourFills", GradientLayer{{kGreen}, {}}, kGreenPixel, kGreenPixel, kGreenPixel},
      {"NoColoursLeaveTheBackground", GradientLayer{}, kWhitePixel, kWhitePixel, kWhitePixel},
  };
  for (const Case& c : cases) {
    auto view = box(Rect(0, 0, 101, 101), Color::white());
    view->setGradientLayer(c.gradient);
    const auto image = picture(*view);
    EXPECT_TRUE(near(image->pixel(0, 0), c.first, 4)) << c.name;
    EXPECT_TRUE(near(image->pixel(50, 50), c.middle, 4)) << c.name;
    EXPECT_TRUE(near(image->pixel(100, 100), c.last, 4)) << c.name;
  }
}

// Draws a triangle with its top at the middle of the top edge, then, when
// asked, paints a rectangle over its right half that should land on the
// triangle only.
class TriangleView : public View {
 public:
  using View::View;
  bool paintRightHalfAtop = false;

  void draw(GraphicsContext& context, Rect rect) const override {
    context.setFillColor(kRed);
    context.moveTo(Point{rect.midX(), rect.minY()});
    context.lineTo(Point{rect.maxX(), rect.maxY()});
    context.lineTo(Point{rect.minX(), rect.maxY()});
    context.closePath();
    context.fillPath();
    if (paintRightHalfAtop) {
      context.setBlendMode(BlendMode::SourceAtop);
      context.setFillColor(kBlue);
      context.fillRect(Rect(rect.midX(), rect.minY(), rect.width() / 2, rect.height()));
    }
  }
};

TEST_F(ViewRenderingTest, ViewsDrawTheirOwnPathsAndBlendOnlyOverTheirOwnDrawing) {
  auto root = box(Rect(0, 0, 40, 40), Color::white());
  auto triangle = std::make_shared<TriangleView>(Rect(0, 0, 40, 40));
  root->addSubview(triangle);
  auto image = picture(*root);
  EXPECT_EQ(image->pixel(20, 30), kRedPixel) << "inside";
  EXPECT_EQ(image->pixel(2, 2), kWhitePixel) << "outside";
  EXPECT_EQ(image->pixel(38, 2), kWhitePixel);

  triangle->paintRightHalfAtop = true;
  image = picture(*root);
  EXPECT_EQ(image->pixel(10, 35), kRedPixel) << "left half of the triangle";
  EXPECT_EQ(image->pixel(30, 35), kBluePixel) << "right half of the triangle";
  EXPECT_EQ(image->pixel(38, 2), kWhitePixel) << "the view behind is not painted";
}

TEST_F(ViewRenderingTest, WhatAViewDrawsStaysInItsBounds) {
  auto root = box(Rect(0, 0, 40, 20), Color::white());
  root->addSubview(std::make_shared<TriangleView>(Rect(0, 0, 20, 20)));
  class Spilling : public View {
   public:
    using View::View;
    void draw(GraphicsContext& context, Rect) const override { context.fillRect(Rect(0, 0, 40, 20)); }
  };
  root->addSubview(std::make_shared<Spilling>(Rect(0, 0, 10, 20)));
  const auto image = picture(*root);
  EXPECT_EQ(image->pixel(5, 10), (Pixel{0, 0, 0, 255})) << "black by default";
  EXPECT_EQ(image->pixel(12, 15), kRedPixel) << "the triangle, not the black spill";
  EXPECT_EQ(image->pixel(30, 10), kWhitePixel);
}

// A 20 x 20 pixel image of four 10 x 10 squares: red, green on top, blue,
// white below.
std::shared_ptr<Image> quadrants() {
  auto image = Image::create(20, 20, 1.0, Color::clear());
  for (std::uint32_t y = 0; y < 20; ++y) {
    for (std::uint32_t x = 0; x < 20; ++x) {
      image->setPixel(x, y, y < 10 ? (x < 10 ? kRedPixel : kGreenPixel) : (x < 10 ? kBluePixel : kWhitePixel));
    }
  }
  return image;
}

TEST_F(ViewRenderingTest, ImageViewsDrawTheirImageWhereTheContentModeSays) {
  auto view = std::make_shared<ImageView>(quadrants());
  view->setFrame(Rect(0, 0, 40, 40));
  auto image = picture(*view);  // stretched to twice its size
  EXPECT_EQ(image->pixel(5, 5), kRedPixel);
  EXPECT_EQ(image->pixel(35, 5), kGreenPixel);
  EXPECT_EQ(image->pixel(5, 35), kBluePixel);
  EXPECT_EQ(image->pixel(35, 35), kWhitePixel);
  EXPECT_EQ(image->pixel(0, 0), kRedPixel) << "edges stay sharp";
  EXPECT_EQ(image->pixel(39, 39), kWhitePixel);

  view->setContentMode(ContentMode::Center);
  image = picture(*view);
  EXPECT_EQ(image->pixel(10, 10), kRedPixel);
  EXPECT_EQ(image->pixel(19, 19), kRedPixel);
  EXPECT_EQ(image->pixel(20, 20), kWhitePixel);
  EXPECT_EQ(image->pixel(29, 29), kWhitePixel);
  EXPECT_EQ(image->pixel(9, 9), kClearPixel);
  EXPECT_EQ(image->pixel(30, 30), kClearPixel);

  // At scale 2 every point of the image is two pixels of the picture.
  view->setContentMode(ContentMode::TopLeft);
  image = picture(*view, 2.0);
  EXPECT_EQ(image->pixelWidth(), 80u);
  EXPECT_EQ(image->pixel(5, 5), kRedPixel);
  EXPECT_EQ(image->pixel(30, 5), kGreenPixel);
  EXPECT_EQ(image->pixel(50, 50), kClearPixel);
}

TEST_F(ViewRenderingTest, ContentModesPlaceTheImage) {
  struct Case {
    ContentMode mode;
    Rect expected;
  };
  // A 40 x 20 point image in 100 x 50 bounds scrolled to (10, 0).
  const Case cases[] = {
      {ContentMode::ScaleToFill, Rect(10, 0, 100, 50)},  {ContentMode::Redraw, Rect(10, 0, 100, 50)},
      {ContentMode::ScaleAspectFit, Rect(10, 0, 100, 50)}, {ContentMode::Center, Rect(40, 15, 40, 20)},
      {ContentMode::Top, Rect(40, 0, 40, 20)},           {ContentMode::Bottom, Rect(40, 30, 40, 20)},
      {ContentMode::Left, Rect(10, 15, 40, 20)},         {ContentMode::Right, Rect(70, 15, 40, 20)},
      {ContentMode::TopLeft, Rect(10, 0, 40, 20)},       {ContentMode::TopRight, Rect(70, 0, 40, 20)},
      {ContentMode::BottomLeft, Rect(10, 30, 40, 20)},   {ContentMode::BottomRight, Rect(70, 30, 40, 20)},
  };
  ImageView view(Image::create(80, 40, 2.0, kRed));
  view.setFrame(Rect(0, 0, 100, 50));
  view.setBounds(Rect(10, 0, 100, 50));
  for (const Case& c : cases) {
    view.setContentMode(c.mode);
    EXPECT_EQ(view.imageRect(), c.expected) << static_cast<int>(c.mode);
  }
  view.setFrame(Rect(0, 0, 100, 100));
  view.setBounds(Rect(0, 0, 100, 100));
  view.setContentMode(ContentMode::ScaleAspectFit);
  EXPECT_EQ(view.imageRect(), Rect(0, 25, 100, 50));
  view.setContentMode(ContentMode::ScaleAspectFill);
  EXPECT_EQ(view.imageRect(), Rect(-50, 0, 200, 100));
  EXPECT_EQ(ImageView().imageRect(), Rect::zero());
}

TEST_F(ViewRenderingTest, PicturesThatCannotBeMadeAreNone) {
  auto view = box(Rect(0, 0, 10, 10), kRed);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(renderView(*view, Rect(0, 0, 0, 10), 1.0), nullptr);
  EXPECT_EQ(renderView(*view, Rect(0, 0, nan, 10), 1.0), nullptr);
  EXPECT_EQ(renderView(*view, view->bounds(), 0.0), nullptr);
  EXPECT_EQ(renderView(*view, view->bounds(), nan), nullptr);
  EXPECT_EQ(renderView(*view, Rect(0, 0, 1e6, 1e6), 1.0), nullptr) << "beyond the image size bound";
  const auto partial = renderView(*view, Rect(5, 5, 10.25, 4), 2.0);
  ASSERT_NE(partial, nullptr);
  EXPECT_EQ(partial->pixelWidth(), 21u) << "a partial pixel is covered";
  EXPECT_EQ(partial->pixel(0, 0), kRedPixel);
  EXPECT_EQ(partial->pixel(20, 0), kClearPixel) << "past the view";
}

}  // namespace
}  // namespace plexora::platform
