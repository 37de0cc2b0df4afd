#include "adapters/OVAdCommandLink.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "adapters/OVAdCommandProcessor.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::URL;
using platform::Value;

std::optional<OVAdCommandLink> linkOf(const std::string& text) {
  const std::optional<URL> url = URL::parse(text);
  EXPECT_TRUE(url.has_value()) << text;
  return url ? OVAdCommandLink::parse(*url) : std::nullopt;
}

std::string encoded(const Value& object) {
  return ov_URLEncodedString(OVAdUtility::getJSONStringFromObject(object).value_or(""));
}

const Dictionary kLibraryData{{"analog", "{\"battery\":50}"}, {"touch", "{\"startX\":1}"}};

class OVAdCommandLinkTest : public ::testing::Test {
 protected:
  OVAdCommandLinkTest() { OVAdSettings::setLogLevel(6); }

  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdCommandLinkTest, OnlyOvadLinksWithACommandAreRead) {
  const auto close = linkOf("OVAD://close?a=1");
  ASSERT_TRUE(close);
  EXPECT_EQ(close->command, "close");
  EXPECT_EQ(close->arguments, Value(Dictionary{{"a", "1"}}));

  for (const char* text : {"https://close?a=1", "ovad:close", "ovad:///close", "javascript://close"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(linkOf(text));
  }
  EXPECT_EQ(environment_.count("<error>"), 4u) << "each refusal is logged";
}

TEST_F(OVAdCommandLinkTest, MalformedPairsAndEscapesThatDoNotDecodeAreLeftOutOfTheArguments) {
  const auto link = linkOf("ovad://store?store_id=12&bad=%E9&=&a=b=c&&plain&link=https%3A%2F%2Fx.example%2F%3Fq%3D1+2");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->arguments, Value(Dictionary{{"store_id", "12"}, {"", ""}, {"link", "https://x.example/?q=1 2"}}));
  EXPECT_EQ(environment_.count("<error>"), 3u);
  for (const char* pair : {"\"bad=%E9\"", "\"a=b=c\"", "\"plain\""}) {
    EXPECT_EQ(environment_.count(pair), 1u) << pair;
  }
}

TEST_F(OVAdCommandLinkTest, EachCommandLogsItsTypeAndPriority) {
  struct Case {
    const char* link;
    const char* type;
    std::uint64_t priority;
  };
  const Case cases[] = {
      {"ovad://close", "close", 1},
      {"ovad://off_target_click", "off_target_click", 1},
      {"ovad://store?priority=1", "store", 0},
      {"ovad://open_link", "open_link", 0},
      {"ovad://custom_event", "custom_event", 0},
      {"ovad://passthrough?type=quartile&priority=", "quartile", 0},
      {"ovad://passthrough?type=quartile", "quartile", 0},
      {"ovad://passthrough?type=quartile&priority=3", "quartile", 3},
      {"ovad://passthrough?type=quartile&priority=+2x", "quartile", 2},
      {"ovad://passthrough?type=quartile&priority=-1", "quartile", 0},
      {"ovad://passthrough?type=quartile&priority=high", "quartile", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    const auto event = OVAdCommandEventForLink(*linkOf(c.link), kLibraryData);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, c.type);
    EXPECT_EQ(event->priority, c.priority);
    EXPECT_EQ(event->data, kLibraryData);
  }
  EXPECT_EQ(environment_.count("<warn>] Unknown command custom_event is logged as an event and not handled"), 1u);
  EXPECT_EQ(environment_.count("Unknown command"), 1u) << "the library's own commands are known";
}

TEST_F(OVAdCommandLinkTest, APassthroughWithoutATypeLogsNothing) {
  EXPECT_FALSE(OVAdCommandEventForLink(*linkOf("ovad://passthrough?priority=1"), kLibraryData));
  EXPECT_FALSE(OVAdCommandEventForLink(*linkOf("ovad://passthrough?type="), kLibraryData));
  EXPECT_EQ(environment_.count("Passthrough command without an event type"), 2u);
}

TEST_F(OVAdCommandLinkTest, ThePagesDataIsMergedButNeverReplacesAnalogOrTouch) {
  const Value data(Dictionary{{"x", 1}, {"analog", "forged"}, {"touch", "forged"}, {"nested", Value(Dictionary{{"y", true}})}});
  for (const std::string command : {"custom_event", "passthrough?type=quartile&"}) {
    SCOPED_TRACE(command);
    const std::string separator = command.find('?') == std::string::npos ? "?" : "";
    const auto event = OVAdCommandEventForLink(*linkOf("ovad://" + command + separator + "data=" + encoded(data)),
                                               kLibraryData);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->data, (Dictionary{{"analog", "{\"battery\":50}"},
                                       {"touch", "{\"startX\":1}"},
                                       {"x", 1},
                                       {"nested", Value(Dictionary{{"y", true}})}}));
  }
}

TEST_F(OVAdCommandLinkTest, DataThatIsTooLongNotJsonTooDeepOrNoObjectIsLeftOutAndLogged) {
  const std::string deep = std::string(600, '[') + std::string(600, ']');
  const std::string huge = "{\"x\":\"" + std::string(kOVAdCommandMaximumDataLength, 'a') + "\"}";
  struct Case {
    const char* name;
    std::string data;
  };
  const Case cases[] = {
      {"not JSON", "{x"},
      {"an array", "[1,2]"},
      {"a number", "12"},
      {"too deep", deep},
      {"too long", huge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    environment_.clearLines();
    const auto event =
        OVAdCommandEventForLink(*linkOf("ovad://custom_event?data=" + ov_URLEncodedString(c.data)), kLibraryData);
    ASSERT_TRUE(event) << "the command is still logged, without the page's data";
    EXPECT_EQ(event->data, kLibraryData);
    EXPECT_EQ(environment_.count("<error>"), 1u);
  }
}

}  // namespace
}  // namespace plexora
