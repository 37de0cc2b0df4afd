// The JSON reader against nlohmann-json's parser as the oracle: on hand-made
// corner cases and on many damaged variants of realistic documents, both
// must accept the same texts and read them into the same values.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "platform/value/Value.h"

namespace plexora::platform {
namespace {

// nlohmann-json's SAX parse into a Value, with the reader's depth limit.
class OracleBuilder final : public nlohmann::json_sax<nlohmann::json> {
 public:
  Value take() { return std::move(root_); }
  bool null() override { return add(Value()); }
  bool boolean(bool value) override { return add(Value(value)); }
  bool number_integer(number_integer_t value) override { return add(Value(value)); }
  bool number_unsigned(number_unsigned_t value) override { return add(Value(value)); }
  bool number_float(number_float_t value, const string_t&) override { return add(Value(value)); }
  bool string(string_t& value) override { return add(Value(std::move(value))); }
  bool binary(binary_t&) override { return false; }
  bool start_object(std::size_t) override { return open(Dictionary{}); }
  bool key(string_t& key) override {
    keys_.push_back(std::move(key));
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Array{}); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  bool open(Value container) {
    if (open_.size() >= kMaxNesting) return false;
    open_.push_back(std::move(container));
    return true;
  }
  bool close() {
    Value finished = std::move(open_.back());
    open_.pop_back();
    return add(std::move(finished));
  }
  bool add(Value value) {
    if (open_.empty()) {
      root_ = std::move(value);
    } else if (open_.back().isArray()) {
      open_.back().push_back(std::move(value));
    } else {
      open_.back().set(std::move(keys_.back()), std::move(value));
      keys_.pop_back();
    }
    return true;
  }
  Value root_;
  std::vector<Value> open_;
  std::vector<std::string> keys_;
};

std::optional<Value> oracle(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  OracleBuilder builder;
  try {
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) return std::nullopt;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  return builder.take();
}

// Equal values of equal kinds all the way down (an integer is never a
// double), with doubles compared bit for bit so -0.0 differs from 0.0.
bool same(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Double: return std::signbit(a.asDouble()) == std::signbit(b.asDouble()) && a == b;
    case Value::Kind::Array: {
      if (a.asArray().size() != b.asArray().size()) return false;
      for (size_t i = 0; i < a.asArray().size(); ++i) {
        if (!same(a.asArray()[i], b.asArray()[i])) return false;
      }
      return true;
    }
    case Value::Kind::Dictionary: {
      const Dictionary& x = a.asDictionary();
      const Dictionary& y = b.asDictionary();
      if (x.size() != y.size()) return false;
      for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
        if (i->first != j->first || !same(i->second, j->second)) return false;
      }
      return true;
    }
    default: return a == b;
  }
}

void expectAgreement(const std::string& text) {
  const auto ours = parseJSON(text);
  const auto theirs = oracle(text);
  ASSERT_EQ(ours.has_value(), theirs.has_value()) << "text: " << text;
  if (ours) {
    EXPECT_TRUE(same(*ours, *theirs)) << "text: " << text;
  }
}

TEST(JsonReaderTest, AgreesWithTheOracleOnCornerCases) {
  const std::string cases[] = {
      "0", "-0", "-0.0", "0e0", "0E+1", "1E-1", "-1e-0", "123456789012345678901234567890", "-9223372036854775809",
      "18446744073709551615", "18446744073709551616", "1e308", "1.7976931348623157e308", "1.8e308", "-1e400",
      "4.9e-324", "2e-324", "1e-400", "-1e-400", "0.30000000000000004", "00", "-", "-a", "1e", "1e+", "1.e1", "0x10",
      "1_000", "[-]", "[1,]", "[,1]", "{\"a\" 1}", "{\"a\":1 \"b\":2}", "{1:2}", "{\"a\":}", "[[[]]]", "[{},[],{\"\":[]}]",
      "\"\\u0041\\u00DF\\u6771\\uD834\\uDD1E\"", "\"\\uD834\"", "\"\\uD834\\u0041\"", "\"\\uDD1E\\uD834\"",
      "\"\\uD834\\uDD1\"", "\"\\u12G4\"", "\"\\u\"", "\"\\\"", "\"\\a\"", "\"a\rb\"", "\"\x7f\"", "\"\xC2\x80\"",
      "\"\xDF\xBF\"", "\"\xE0\x9F\xBF\"", "\"\xE0\xA0\x80\"", "\"\xED\x9F\xBF\"", "\"\xED\xA0\x80\"", "\"\xEF\xBF\xBF\"",
      "\"\xF0\x8F\xBF\xBF\"", "\"\xF0\x90\x80\x80\"", "\"\xF4\x8F\xBF\xBF\"", "\"\xF4\x90\x80\x80\"", "\"\xF5\x80\x80\x80\"",
      "\"\xC1\xBF\"", "\"\x80\"", "\"\xE2\x82\"", "\"\xE2\x82\xAC\"", "\xEF\xBB\xBF", "\xEF\xBB\xBF 1", "\xEF\xBB", "\xEF\xBB\xBF\xEF\xBB\xBF" "1",
      " \t\r\n[ \t\r\n1 \t\r\n] \t\r\n", "\f1", "\v1", std::string("[1]\0", 4), "truex", "nulll", "[true false]",
      "{\"a\":1,\"a\":{\"b\":2},\"c\":3,\"a\":[]}", "{\"\":\"\"}", "\"\\/\\b\\f\\n\\r\\t\\\\\\\"\"",
  };
  for (const std::string& text : cases) expectAgreement(text);
}

// Realistic documents with bytes replaced, inserted and removed at random
// (a fixed seed): most variants are broken somewhere, a few only changed.
TEST(JsonReaderTest, AgreesWithTheOracleOnDamagedDocuments) {
  const std::string seeds[] = {
      R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"type":"banner","refresh":30,)"
      R"("min_viewability_percentage":50,"conv_tracking_data":[{"url":"https://conv.example/b","expiration":1893456000}]},)"
      R"("ads":[{"adapter":"PX","data":{"markup":"<a href=\"ovad://open_link?url=https%3A%2F%2Fshop.example%2F\">é\u00e9</a>",)"
      R"("metadata":{"is_tablet":false,"ad_width":320,"ad_height":50.5,"ratio":-1.25e-3}},"trackers":[{"type":"click","url":"x"}]}]}]})",
      R"([null,true,false,0,-1,2.5e10,"\ud83d\ude00 😀",{"k":[{},[]]},"\"\\\/\b\f\n\r\t"])",
  };
  const std::string alphabet =
      std::string("{}[]\":,\\/ \t\n0123456789.eE+-tfnulrsabxu") + std::string("\xC3\xA9\xF0\x80\xED\0", 6);
  std::mt19937 random(20261210);
  for (const std::string& seed : seeds) {
    expectAgreement(seed);
    for (int round = 0; round < 4000; ++round) {
      std::string text = seed;
      const int edits = 1 + static_cast<int>(random() % 3);
      for (int e = 0; e < edits; ++e) {
        const size_t position = random() % (text.size() + 1);
        const char byte = alphabet[random() % alphabet.size()];
        switch (random() % 3) {
          case 0:
            if (position < text.size()) text[position] = byte;
            break;
          case 1: text.insert(text.begin() + static_cast<ptrdiff_t>(position), byte); break;
          default:
            if (position < text.size()) text.erase(position, 1);
            break;
        }
      }
      expectAgreement(text);
      if (HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace plexora::platform
