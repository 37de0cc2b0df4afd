#include "platform/ui/Geometry.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace plexora::platform {
namespace {

TEST(RectTest, NegativeSizesAreReadInStandardForm) {
  const Rect flipped(10.0, 20.0, -4.0, -6.0);
  EXPECT_EQ(flipped.minX(), 6.0);
  EXPECT_EQ(flipped.maxX(), 10.0);
  EXPECT_EQ(flipped.midX(), 8.0);
  EXPECT_EQ(flipped.minY(), 14.0);
  EXPECT_EQ(flipped.width(), 4.0);
  EXPECT_EQ(flipped.standardized(), Rect(6.0, 14.0, 4.0, 6.0));
  EXPECT_FALSE(flipped.isEmpty());
}

TEST(RectTest, NullAndEmpty) {
  EXPECT_TRUE(Rect::null().isNull());
  EXPECT_TRUE(Rect::null().isEmpty());
  EXPECT_FALSE(Rect::zero().isNull());
  EXPECT_TRUE(Rect::zero().isEmpty());
  EXPECT_TRUE(Rect(5.0, 5.0, 10.0, 0.0).isEmpty());
  EXPECT_FALSE(Rect(5.0, 5.0, 10.0, 1.0).isEmpty());
}

struct IntersectionCase {
  const char* name;
  Rect a;
  Rect b;
  Rect expected;
  bool intersects;
};

class RectIntersectionTest : public ::testing::TestWithParam<IntersectionCase> {};

TEST_P(RectIntersectionTest, AnswersTheCommonPart) {
  const IntersectionCase& c = GetParam();
  EXPECT_EQ(c.a.intersection(c.b), c.expected);
  EXPECT_EQ(c.b.intersection(c.a), c.expected);
  EXPECT_EQ(c.a.intersects(c.b), c.intersects);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RectIntersectionTest,
    ::testing::Values(
        IntersectionCase{"overlap", Rect(0, 0, 100, 100), Rect(50, 60, 100, 100), Rect(50, 60, 50, 40), true},
        IntersectionCase{"inside", Rect(0, 0, 100, 100), Rect(10, 10, 5, 5), Rect(10, 10, 5, 5), true},
        IntersectionCase{"touching edges meet without area", Rect(0, 0, 10, 10), Rect(10, 0, 10, 10),
                         Rect(10, 0, 0, 10), false},
        IntersectionCase{"disjoint", Rect(0, 0, 10, 10), Rect(20, 0, 10, 10), Rect::null(), false},
        IntersectionCase{"negative size", Rect(10, 10, -10, -10), Rect(5, 5, 10, 10), Rect(5, 5, 5, 5), true},
        IntersectionCase{"with null", Rect(0, 0, 10, 10), Rect::null(), Rect::null(), false}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
          c = '_';
        }
      }
      return name;
    });

TEST(RectTest, UnionIgnoresNullButNotEmptyRectangles) {
  EXPECT_EQ(Rect(0, 0, 10, 10).unionWith(Rect(20, 30, 5, 5)), Rect(0, 0, 25, 35));
  EXPECT_EQ(Rect::null().unionWith(Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
  EXPECT_EQ(Rect(1, 2, 3, 4).unionWith(Rect::null()), Rect(1, 2, 3, 4));
  EXPECT_EQ(Rect(10, 10, 0, 0).unionWith(Rect(0, 0, 1, 1)), Rect(0, 0, 10, 10));
  EXPECT_TRUE(Rect::null().unionWith(Rect::null()).isNull());
}

TEST(RectTest, ContainmentIsHalfOpen) {
  const Rect rect(0, 0, 10, 20);
  EXPECT_TRUE(rect.containsPoint({0, 0}));
  EXPECT_TRUE(rect.containsPoint({9.999, 19.999}));
  EXPECT_FALSE(rect.containsPoint({10, 5}));
  EXPECT_FALSE(rect.containsPoint({5, 20}));
  EXPECT_FALSE(Rect::null().containsPoint({0, 0}));
  EXPECT_TRUE(rect.containsRect(Rect(0, 0, 10, 20)));
  EXPECT_TRUE(rect.containsRect(Rect(2, 2, 0, 0)));
  EXPECT_FALSE(rect.containsRect(Rect(5, 5, 10, 1)));
  EXPECT_FALSE(rect.containsRect(Rect::null()));
}

TEST(RectTest, InsetsShrinkOrGrowAndRunOutToNull) {
  EXPECT_EQ(Rect(0, 0, 300, 100).insetBy(30, 10), Rect(30, 10, 240, 80));
  EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(-5, -5), Rect(-5, -5, 20, 20));
  EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(5, 5), Rect(5, 5, 0, 0));
  EXPECT_TRUE(Rect(0, 0, 10, 10).insetBy(6, 0).isNull());
  EXPECT_EQ(Rect(0, 0, 100, 50).inset(EdgeInsets{1, 2, 3, 4}), Rect(2, 1, 94, 46));
  EXPECT_TRUE(Rect(0, 0, 100, 50).inset(EdgeInsets{30, 0, 30, 0}).isNull());
  EXPECT_EQ(Rect(1, 2, 3, 4).offsetBy(10, -2), Rect(11, 0, 3, 4));
  EXPECT_TRUE(Rect::null().offsetBy(1, 1).isNull());
}

}  // namespace
}  // namespace plexora::platform
