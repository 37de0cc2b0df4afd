#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextMeasurement.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using LabelDrawingTest = UITest;

const Font kFont = Font::systemFont(20.0);

// Where dark pixels are, in whole pixels of the picture.
struct Ink {
  int count = 0;
  int minX = std::numeric_limits<int>::max();
  int maxX = -1;
  int minY = std::numeric_limits<int>::max();
  int maxY = -1;
};

bool isDark(const Pixel& pixel) { return pixel.red + pixel.green + pixel.blue < 3 * 160; }

Ink inkOf(const Image& image) {
  Ink ink;
  for (std::uint32_t y = 0; y < image.pixelHeight(); ++y) {
    for (std::uint32_t x = 0; x < image.pixelWidth(); ++x) {
      if (!isDark(image.pixel(x, y))) continue;
      ++ink.count;
      ink.minX = std::min(ink.minX, static_cast<int>(x));
      ink.maxX = std::max(ink.maxX, static_cast<int>(x));
      ink.minY = std::min(ink.minY, static_cast<int>(y));
      ink.maxY = std::max(ink.maxY, static_cast<int>(y));
    }
  }
  return ink;
}

// Black text on a white root of `size`, the label at `frame`.
std::shared_ptr<Image> drawLabel(Size size, Rect frame, const std::string& text,
                                 const std::function<void(Label&)>& configure = {}) {
  auto root = std::make_shared<View>(Rect(Point{}, size));
  root->setBackgroundColor(Color::white());
  auto label = std::make_shared<Label>(frame);
  label->setFont(kFont);
  label->setText(text);
  if (configure) configure(*label);
  root->addSubview(label);
  return renderView(*root, root->bounds(), 1.0);
}

TEST_F(LabelDrawingTest, TextInksOnlyTheRectItWasMeasuredForWhereverItIsAligned) {
  const Rect frame(10, 10, 180, 40);
  const Size text = measureText("Install", kFont, frame.width(), 1);
  const double top = frame.minY() + (frame.height() - text.height) / 2;
  struct Case {
    TextAlignment alignment;
    double left;
  };
  const Case cases[] = {
      {TextAlignment::Natural, frame.minX()},
      {TextAlignment::Left, frame.minX()},
      {TextAlignment::Center, frame.midX() - text.width / 2},
      {TextAlignment::Right, frame.maxX() - text.width},
  };
  for (const Case& c : cases) {
    const auto image = drawLabel(Size{200, 60}, frame, "Install", [&](Label& label) {
      label.setTextAlignment(c.alignment);
    });
    const Ink ink = inkOf(*image);
    const int alignment = static_cast<int>(c.alignment);
    EXPECT_GT(ink.count, 40) << alignment;
    // Antialiasing may darken the pixel a glyph edge crosses.
    EXPECT_GE(ink.minX, static_cast<int>(c.left) - 1) << alignment;
    EXPECT_LE(ink.maxX, static_cast<int>(c.left + text.width) + 1) << alignment;
    EXPECT_GE(ink.minY, static_cast<int>(top) - 1) << alignment;
    EXPECT_LE(ink.maxY, static_cast<int>(top + text.height) + 1) << alignment;
    EXPECT_GT(ink.maxX - ink.minX, text.width / 2) << "the whole word is drawn";
  }
}

TEST_F(LabelDrawingTest, TextHasItsColour) {
  const auto image = drawLabel(Size{100, 30}, Rect(0, 0, 100, 30), "Red", [](Label& label) {
    label.setTextColor(Color{1, 0, 0, 1});
  });
  bool red = false;
  for (std::uint32_t y = 0; y < 30 && !red; ++y) {
    for (std::uint32_t x = 0; x < 100 && !red; ++x) red = image->pixel(x, y) == Pixel{255, 0, 0, 255};
  }
  EXPECT_TRUE(red);
}

TEST_F(LabelDrawingTest, TheLastLineShowsWhatTheLineBreakModeSays) {
  const std::string text = "hello world";
  // Too narrow for the whole text: it wraps after "hello".
  const double width = measureText(text, kFont, 0, 1).width - 4;
  const double hello = measureText("hello", kFont, 0, 1).width;
  auto draw = [&](LineBreakMode mode) {
    return drawLabel(Size{width, 40}, Rect(0, 0, width, 40), text, [&](Label& label) {
      label.setLineBreakMode(mode);
    });
  };
  const auto wrapped = draw(LineBreakMode::WordWrapping);
  const auto tail = draw(LineBreakMode::TruncatingTail);
  const auto head = draw(LineBreakMode::TruncatingHead);

  EXPECT_LE(inkOf(*wrapped).maxX, static_cast<int>(hello) + 1) << "the first line alone";
  const Ink tailInk = inkOf(*tail);
  EXPECT_GT(tailInk.maxX, hello + 10) << "more of the text, then the ellipsis";
  EXPECT_LT(tailInk.maxX, static_cast<int>(width));

  // The tail keeps the start of the text; the head gives it up for the
  // ellipsis.
  auto sameColumns = [&](const Image& a, const Image& b, int columns) {
    for (std::uint32_t y = 0; y < a.pixelHeight(); ++y) {
      for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(columns); ++x) {
        if (a.pixel(x, y) != b.pixel(x, y)) return false;
      }
    }
    return true;
  };
  const int start = static_cast<int>(measureText("hel", kFont, 0, 1).width);
  EXPECT_TRUE(sameColumns(*wrapped, *tail, start));
  EXPECT_FALSE(sameColumns(*wrapped, *head, start));
}

TEST_F(LabelDrawingTest, NoMoreLinesThanTheLimitOrTheHeightHolds) {
  const std::string text = "one two three four five";
  const double width = measureText("three", kFont, 0, 1).width + 2;  // a word a line
  const double twoLines = measureText(text, kFont, width, 2).height;
  const double allLines = measureText(text, kFont, width, 0).height;
  ASSERT_GT(allLines, 2 * twoLines);

  struct Case {
    const char* name;
    int lines;
    double height;
    LineBreakMode mode;
    std::string text;
  };
  const Case cases[] = {
      {"LineLimit", 2, 200, LineBreakMode::WordWrapping, text},
      {"HeightOfTwoLines", 0, twoLines + 2, LineBreakMode::WordWrapping, text},
      {"TruncatedLastLine", 2, 200, LineBreakMode::TruncatingTail, text},
      // Paragraph and line separators in what the last line gathers.
      {"SeparatorsInTheLastLine", 2, 200, LineBreakMode::TruncatingTail,
       "one two\n\nthree\r\nfour\xE2\x80\xA9" "five\xE2\x80\xA8six"},
  };
  for (const Case& c : cases) {
    const auto image = drawLabel(Size{width, c.height}, Rect(0, 0, width, c.height), c.text, [&](Label& label) {
      label.setNumberOfLines(c.lines);
      label.setLineBreakMode(c.mode);
    });
    const Ink ink = inkOf(*image);
    const double top = (c.height - twoLines) / 2;
    EXPECT_GE(ink.minY, static_cast<int>(top) - 1) << c.name;
    EXPECT_LE(ink.maxY, static_cast<int>(top + twoLines) + 1) << c.name;
    EXPECT_GT(ink.maxY - ink.minY, twoLines / 2) << c.name << ": both lines";
  }
}

TEST_F(LabelDrawingTest, BrokenOrHugeTextDrawsAndFontsWithoutASizeDrawNothing) {
  const std::string broken("\xFF\xFE", 2);
  EXPECT_GT(inkOf(*drawLabel(Size{60, 30}, Rect(0, 0, 60, 30), broken)).count, 0) << "replacement characters";
  std::string huge;
  while (huge.size() < 2'000'000) huge += "lorem ipsum ";
  EXPECT_GT(inkOf(*drawLabel(Size{60, 30}, Rect(0, 0, 60, 30), huge)).count, 0) << "megabytes still show their start";
  for (double size : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    const auto image = drawLabel(Size{60, 30}, Rect(0, 0, 60, 30), "text", [&](Label& label) {
      label.setFont(Font::systemFont(size));
    });
    EXPECT_EQ(inkOf(*image).count, 0) << size;
  }
}

TEST_F(LabelDrawingTest, AButtonShowsItsTitle) {
  auto button = std::make_shared<Button>(Rect(0, 0, 120, 40));
  button->setBackgroundColor(Color::white());
  button->setTitle("Install", kControlStateNormal);
  button->setTitleColor(Color::black(), kControlStateNormal);
  const auto image = renderView(*button, button->bounds(), 2.0);
  const Ink ink = inkOf(*image);
  const Size title = measureText("Install", Font::systemFont(Button::kDefaultTitleFontSize), 0, 1);
  EXPECT_GT(ink.count, 0);
  EXPECT_NEAR((ink.minX + ink.maxX) / 2.0, 120.0, 3.0) << "centred, in pixels at scale 2";
  EXPECT_LE(ink.maxX - ink.minX, 2 * title.width + 2);
}

}  // namespace
}  // namespace plexora::platform
