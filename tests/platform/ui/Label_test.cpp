#include "platform/ui/Label.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/TextMeasurement.h"

namespace plexora::platform {
namespace {

const Font kTen = Font::systemFont(10.0);

Size unlimited(const std::string& text, const Font& font = kTen) { return measureText(text, font, 0.0, 0); }
double lineHeight(const Font& font = kTen) { return unlimited("X", font).height; }
// Lines are not whole points high: several lines round up together.
double heightOfLines(int count, const Font& font = kTen) {
  std::string lines = "X";
  for (int i = 1; i < count; ++i) lines += "\nX";
  return unlimited(lines, font).height;
}

TEST(MeasureTextTest, OneLineIsAsWideAsItsGlyphsInWholePoints) {
  const Size size = unlimited("hello world");
  EXPECT_GT(size.width, unlimited("hello").width + unlimited("world").width) << "the space has a width";
  EXPECT_EQ(size.width, std::ceil(size.width));
  EXPECT_EQ(size.height, lineHeight());
  // The packaged font's line is a little over 1.1 times its size.
  EXPECT_GE(lineHeight(), 11.0);
  EXPECT_LE(lineHeight(), 13.0);
  EXPECT_EQ(unlimited(""), (Size{0, 0}));
}

TEST(MeasureTextTest, ThePackagedFaceGivesTheSameFiguresOnEveryMachine) {
  // The packaged sans-serif face's advances, whatever fonts the machine
  // has installed and however its fontconfig is set up.
  EXPECT_EQ(unlimited("hello world"), (Size{55, 12}));
  EXPECT_EQ(unlimited("hello world", Font::boldSystemFont(10)), (Size{63, 12}));
  EXPECT_EQ(unlimited("hello world", Font::systemFont(17)), (Size{94, 20}));
  EXPECT_EQ(unlimited("hello world", Font{"Times", 10, false}), (Size{55, 12})) << "every name draws with it";
}

TEST(MeasureTextTest, SizesFollowTheFontSizeAndWeight) {
  const Size ten = unlimited("Install now");
  const Size twenty = unlimited("Install now", Font::systemFont(20.0));
  EXPECT_NEAR(twenty.width, 2 * ten.width, 2.0) << "unhinted glyphs scale linearly";
  EXPECT_NEAR(twenty.height, 2 * ten.height, 2.0);
  EXPECT_GT(unlimited("Install now", Font::boldSystemFont(10.0)).width, ten.width);
}

TEST(MeasureTextTest, FontsWithoutASizeMeasureNothing) {
  for (double size : {0.0, -4.0, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(measureText("text", Font::systemFont(size), 100, 0), (Size{0, 0})) << size;
    EXPECT_TRUE(wrapText("text", Font::systemFont(size), 100).empty()) << size;
  }
}

TEST(MeasureTextTest, WrapsBetweenWordsWithinTheWidth) {
  const double width = unlimited("hello world").width - 1;
  EXPECT_EQ(wrapText("hello world", kTen, width), (std::vector<std::string>{"hello", "world"}));
  const Size wrapped = measureText("hello world", kTen, width, 0);
  EXPECT_EQ(wrapped.width, std::max(unlimited("hello").width, unlimited("world").width));
  EXPECT_EQ(wrapped.height, heightOfLines(2));
  EXPECT_EQ(wrapText("the quick brown fox", kTen, std::max(unlimited("the quick").width, unlimited("brown fox").width)),
            (std::vector<std::string>{"the quick", "brown fox"}));
}

TEST(MeasureTextTest, ALineLimitCutsTheTextAndFillsTheWidth) {
  const double width = unlimited("hello world").width - 1;
  EXPECT_EQ(measureText("hello world", kTen, width, 1), (Size{width, lineHeight()}));
  EXPECT_EQ(measureText("aa bb cc dd", kTen, unlimited("aa").width, 3).height, heightOfLines(3));
  EXPECT_EQ(measureText("hello world", kTen, width, 2), measureText("hello world", kTen, width, 0))
      << "a limit the text does not reach changes nothing";
}

TEST(MeasureTextTest, AWordLongerThanALineIsCutBetweenCharacters) {
  const double width = unlimited("abcd").width;
  const auto lines = wrapText("a verylongword b", kTen, width);
  ASSERT_GE(lines.size(), 4u);
  std::string joined;
  for (const auto& line : lines) {
    EXPECT_LE(unlimited(line).width, width) << line;
    joined += line;
  }
  std::erase(joined, ' ');
  EXPECT_EQ(joined, "averylongwordb");
  EXPECT_LE(measureText("abcdefghij", kTen, width, 0).width, width);
}

TEST(MeasureTextTest, NewlinesBreakAndEmptyParagraphsAreLines) {
  EXPECT_EQ(wrapText("ab\n\ncde", kTen, 0), (std::vector<std::string>{"ab", "", "cde"}));
  EXPECT_EQ(unlimited("ab\n\ncde"), (Size{unlimited("cde").width, heightOfLines(3)}));
  EXPECT_EQ(measureText("ab\n\ncde", kTen, 0, 1), unlimited("ab")) << "no width: the lines past the limit drop";
}

TEST(MeasureTextTest, BytesThatAreNotUTF8MeasureAsReplacementCharacters) {
  const std::string broken("ab\xFF\xC3", 4);
  EXPECT_EQ(wrapText(broken, kTen, 0), (std::vector<std::string>{"ab\xEF\xBF\xBD\xEF\xBF\xBD"}));
  EXPECT_EQ(unlimited(broken), unlimited("ab\xEF\xBF\xBD\xEF\xBF\xBD"));
  EXPECT_EQ(unlimited(std::string("a\0b", 3)).height, lineHeight()) << "a NUL does not end the text";
}

TEST(MeasureTextTest, MegabytesOfTextMeasureLikeTheirStart) {
  std::string huge;
  while (huge.size() < 2'000'000) huge += "lorem ipsum dolor sit amet ";
  EXPECT_EQ(measureText(huge, kTen, 300, 2), measureText(huge.substr(0, 1000), kTen, 300, 2));
  EXPECT_GT(measureText(huge, kTen, 300, 0).height, 100 * lineHeight()) << "many lines, not a collapsed layout";
  // Tabs are the widest bytes and the dearest to place: an unbroken line
  // of them neither overflows the engine nor takes long (the ones past the
  // first few hundred lay out as spaces).
  const Size tabs = measureText(std::string(1'000'000, '\t'), kTen, 0, 1);
  EXPECT_GT(tabs.width, 256 * unlimited(" ").width);
  EXPECT_EQ(tabs.height, lineHeight());
}

TEST(MeasureTextTest, ThreadsMeasureTogetherAndAgree) {
  const Size expected = measureText("Learn more about this ad", kTen, 60, 0);
  std::vector<std::thread> threads;
  std::atomic<int> disagreements{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        if (measureText("Learn more about this ad", kTen, 60, 0) != expected) ++disagreements;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(disagreements.load(), 0);
}

TEST(LabelTest, FitsWithinTheWidthAskedAndItsLineCount) {
  const Font bold = Font::boldSystemFont(18.0);
  const std::string text = "Learn more about this ad";
  Label label;
  label.setText(text);
  label.setFont(bold);
  const Size oneLine = measureText(text, bold, 0, 1);
  EXPECT_EQ(label.intrinsicContentSize(), oneLine);
  EXPECT_EQ(label.sizeThatFits(Size{100, 0}), (Size{100, oneLine.height}));
  label.setNumberOfLines(2);
  EXPECT_EQ(label.sizeThatFits(Size{100, 0}), (Size{100, heightOfLines(2, bold)}));
  label.setNumberOfLines(0);
  EXPECT_EQ(label.sizeThatFits(Size{100, 5}), measureText(text, bold, 100, 0)) << "the height asked is no limit";
  EXPECT_GT(label.sizeThatFits(Size{100, 5}).height, heightOfLines(2, bold));
  EXPECT_FALSE(label.isUserInteractionEnabled());
}

TEST(LabelTest, SizeToFitWrapsAtTheCurrentWidthAndKeepsTheOrigin) {
  const double width = unlimited("one two").width;
  Label label(Rect(7, 8, width, 0));
  label.setFont(kTen);
  label.setNumberOfLines(0);
  label.setText("one two three");
  label.sizeToFit();
  EXPECT_EQ(label.frame(), Rect(Point{7, 8}, measureText("one two three", kTen, width, 0)));
  EXPECT_EQ(label.frame().height(), heightOfLines(2));
  Label unsized;
  unsized.setFont(kTen);
  unsized.setText("one two three");
  unsized.sizeToFit();
  EXPECT_EQ(unsized.frame(), Rect(Point{}, unlimited("one two three")));
}

}  // namespace
}  // namespace plexora::platform
