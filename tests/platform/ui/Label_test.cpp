#include "platform/ui/Label.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/TextMeasurement.h"

namespace plexora::platform {
namespace {

// With a 10-point font every character is 5 wide and every line 12 high.
const Font kTen = Font::systemFont(10.0);

struct MeasureCase {
  const char* name;
  std::string text;
  double width;
  int lines;
  Size expected;
};

class MeasureTextTest : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(MeasureTextTest, MeasuresCharactersAndLines) {
  const MeasureCase& c = GetParam();
  EXPECT_EQ(measureText(c.text, kTen, c.width, c.lines), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MeasureTextTest,
    ::testing::Values(
        MeasureCase{"Empty", "", 100, 0, Size{0, 0}},
        MeasureCase{"OneLineUnlimited", "hello world", 0, 1, Size{55, 12}},
        MeasureCase{"CodePointsNotBytes", "caf\xC3\xA9 \xE2\x82\xAC", 0, 0, Size{30, 12}},
        // 8 characters fit in 40 points: "hello" / "world".
        MeasureCase{"WrapsAtSpaces", "hello world", 40, 0, Size{25, 24}},
        MeasureCase{"LineLimitFillsTheWidth", "hello world", 40, 1, Size{40, 12}},
        MeasureCase{"LongWordIsCut", "abcdefghij", 20, 0, Size{20, 36}},
        MeasureCase{"NewlinesBreak", "ab\n\ncde", 0, 0, Size{15, 36}},
        MeasureCase{"ThreeOfFourLines", "aa bb cc dd", 10, 3, Size{10, 36}},
        MeasureCase{"NarrowerThanACharacterStillShowsOne", "abc", 2, 0, Size{2, 36}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WrapTextTest, KeepsWordsTogetherWhereTheyFit) {
  EXPECT_EQ(wrapText("the quick brown fox", kTen, 50),
            (std::vector<std::string>{"the quick", "brown fox"}));
  EXPECT_EQ(wrapText("a verylongword b", kTen, 25), (std::vector<std::string>{"a", "veryl", "ongwo", "rd b"}));
}

void expectSize(Size actual, Size expected) {
  EXPECT_DOUBLE_EQ(actual.width, expected.width);
  EXPECT_DOUBLE_EQ(actual.height, expected.height);
}

TEST(LabelTest, FitsWithinTheWidthAskedAndItsLineCount) {
  Label label;
  label.setText("Learn more about this ad");  // 24 characters
  label.setFont(Font::boldSystemFont(18.0));  // 9 wide, 21.6 high
  expectSize(label.intrinsicContentSize(), Size{216, 21.6});
  expectSize(label.sizeThatFits(Size{100, 0}), Size{100, 21.6});
  label.setNumberOfLines(2);
  expectSize(label.sizeThatFits(Size{100, 0}), Size{100, 43.2});
  label.setNumberOfLines(0);
  // 11 characters per line: "Learn more" / "about this" / "ad".
  expectSize(label.sizeThatFits(Size{100, 5}), Size{90, 64.8});
  EXPECT_FALSE(label.isUserInteractionEnabled());
}

TEST(LabelTest, SizeToFitWrapsAtTheCurrentWidthAndKeepsTheOrigin) {
  Label label(Rect(7, 8, 50, 0));
  label.setFont(kTen);
  label.setNumberOfLines(0);
  label.setText("one two three");
  label.sizeToFit();
  EXPECT_EQ(label.frame(), Rect(7, 8, 35, 24));
  Label unsized;
  unsized.setFont(kTen);
  unsized.setText("one two three");
  unsized.sizeToFit();
  EXPECT_EQ(unsized.frame(), Rect(0, 0, 65, 12));
}

}  // namespace
}  // namespace plexora::platform
