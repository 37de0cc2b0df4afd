// Arcs, round caps and shadows of the views' drawing context, read back as
// pixels of a rendered view.
#include "platform/ui/GraphicsContext.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <numbers>

#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewRendering.h"

namespace plexora::platform {
namespace {

using GraphicsContextTest = testing::UITest;

class Drawn final : public View {
 public:
  Drawn(Rect frame, std::function<void(GraphicsContext&)> drawing) : View(frame), drawing_(std::move(drawing)) {}
  void draw(GraphicsContext& context, Rect) const override { drawing_(context); }

 private:
  std::function<void(GraphicsContext&)> drawing_;
};

std::shared_ptr<Image> picture(std::function<void(GraphicsContext&)> drawing, double scale = 1.0) {
  const Drawn view(Rect(0, 0, 40, 40), std::move(drawing));
  return renderView(view, view.bounds(), scale, Color::white());
}

TEST_F(GraphicsContextTest, ArcsTurnClockwiseOnTheScreenOrAgainstIt) {
  // A half disc from 12 o'clock to 6 o'clock: clockwise covers the right
  // half, against the clock the left.
  for (const bool clockwise : {true, false}) {
    SCOPED_TRACE(clockwise ? "clockwise" : "anticlockwise");
    const auto image = picture([&](GraphicsContext& context) {
      context.moveTo({20, 20});
      context.addArc({20, 20}, 15, -std::numbers::pi / 2, std::numbers::pi / 2, clockwise);
      context.closePath();
      context.fillPath();
    });
    ASSERT_TRUE(image);
    const Pixel right = image->pixel(28, 20);
    const Pixel left = image->pixel(12, 20);
    EXPECT_EQ((clockwise ? right : left).red, 0);
    EXPECT_EQ((clockwise ? left : right).red, 255);
  }
}

TEST_F(GraphicsContextTest, AnArcOfNoSizeOrNotANumberAddsNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto image = picture([&](GraphicsContext& context) {
    context.addArc({20, 20}, -5, 0, 6.3, true);
    context.addArc({20, 20}, nan, 0, 6.3, true);
    context.addArc({nan, 20}, 5, 0, 6.3, true);
    context.addArc({20, 20}, 5, 0, std::numeric_limits<double>::infinity(), true);
    context.fillPath();
  });
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixel(20, 20), (Pixel{255, 255, 255, 255}));
}

TEST_F(GraphicsContextTest, RoundCapsReachPastTheLinesEnds) {
  for (const LineCap cap : {LineCap::Butt, LineCap::Round}) {
    const auto image = picture([&](GraphicsContext& context) {
      context.moveTo({10, 20});
      context.lineTo({30, 20});
      context.setLineWidth(6);
      context.setLineCap(cap);
      context.strokePath();
    });
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(20, 20).red, 0);
    EXPECT_EQ(image->pixel(8, 20).red, cap == LineCap::Round ? 0 : 255);
  }
}

TEST_F(GraphicsContextTest, AShadowFallsSoftlyBelowTheShapeAndOnlyWhileSet) {
  for (const double scale : {1.0, 2.0}) {
    SCOPED_TRACE(scale);
    const auto image = picture(
        [](GraphicsContext& context) {
          context.setShadow(Shadow{Size{4, 4}, 4, Color::black()});
          context.setFillColor(Color{1, 0, 0, 1});
          context.fillRect(Rect(10, 10, 10, 10));
          context.setShadow(std::nullopt);
          context.fillRect(Rect(30, 2, 6, 6));
        },
        scale);
    ASSERT_TRUE(image);
    const auto at = [&](double x, double y) {
      return image->pixel(static_cast<std::uint32_t>(x * scale), static_cast<std::uint32_t>(y * scale));
    };
    EXPECT_EQ(at(15, 15), (Pixel{255, 0, 0, 255})) << "the shape over its shadow";
    const Pixel shadow = at(22, 22);
    EXPECT_LT(shadow.red, 160) << "dark below and right of the shape";
    EXPECT_EQ(shadow.red, shadow.green) << "in the shadow's colour, not the shape's";
    // Just past the moved shape's edge the shadow fades rather than stops.
    const Pixel fringe = at(25.5, 18);
    EXPECT_LT(fringe.red, 250) << "soft, not a hard copy";
    EXPECT_GT(fringe.red, shadow.red);
    EXPECT_EQ(at(8, 5), (Pixel{255, 255, 255, 255})) << "nothing above and left";
    EXPECT_EQ(at(37, 11), (Pixel{255, 255, 255, 255})) << "the later shape casts none";
  }
}

}  // namespace
}  // namespace plexora::platform
