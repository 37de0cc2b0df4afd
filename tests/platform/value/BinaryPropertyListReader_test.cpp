#include "platform/value/BinaryPropertyListReader.h"

#include <gtest/gtest.h>

#include <limits>

namespace plexora::platform {
namespace {

// Assembles a binary property list from encoded objects (object i is
// referenced as i), with 2-byte offsets and 1-byte references unless an edit
// of the trailer says otherwise.
struct Trailer {
  uint8_t offsetSize = 2;
  uint8_t referenceSize = 1;
  std::optional<uint64_t> objectCount;
  uint64_t topObject = 0;
  std::optional<uint64_t> tableOffset;
};

void appendBigEndian(Bytes& out, uint64_t value, size_t width) {
  for (size_t i = width; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

using TrailerEdit = void (*)(Trailer&);

Bytes assemble(const std::vector<Bytes>& objects, TrailerEdit edit = nullptr) {
  Trailer trailer;
  if (edit != nullptr) edit(trailer);
  Bytes out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<uint64_t> offsets;
  for (const Bytes& object : objects) {
    offsets.push_back(out.size());
    out.insert(out.end(), object.begin(), object.end());
  }
  const uint64_t tableOffset = out.size();
  for (uint64_t offset : offsets) appendBigEndian(out, offset, trailer.offsetSize);
  out.insert(out.end(), 6, 0);
  out.push_back(trailer.offsetSize);
  out.push_back(trailer.referenceSize);
  appendBigEndian(out, trailer.objectCount.value_or(objects.size()), 8);
  appendBigEndian(out, trailer.topObject, 8);
  appendBigEndian(out, trailer.tableOffset.value_or(tableOffset), 8);
  return out;
}

std::optional<Value> read(const std::vector<Bytes>& objects, TrailerEdit edit = nullptr) {
  return readBinaryPropertyList(assemble(objects, edit));
}

TEST(BinaryPropertyListReaderTest, ReadsEveryKind) {
  struct Case {
    Bytes object;
    Value value;
  };
  const Case cases[] = {
      {{0x08}, Value(false)},
      {{0x09}, Value(true)},
      {{0x10, 0xFF}, Value(255)},  // narrow integers are unsigned
      {{0x11, 0xFF, 0xFE}, Value(65534)},
      {{0x12, 0xFF, 0xFF, 0xFF, 0xFF}, Value(4294967295LL)},
      {{0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, Value(-2)},
      {{0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       Value(std::numeric_limits<uint64_t>::max())},
      {{0x22, 0x3F, 0xC0, 0x00, 0x00}, Value(1.5)},
      {{0x23, 0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A}, Value(0.1)},
      {{0x33, 0x40, 0x4E, 0, 0, 0, 0, 0, 0}, Value(60.0)},  // a date: seconds since 2001
      {{0x43, 0x00, 0x01, 0xFF}, Value(Bytes{0, 1, 0xFF})},
      {{0x40}, Value(Bytes{})},
      {{0x53, 'a', 'b', 'c'}, Value("abc")},
      {{0x50}, Value("")},
      // "é😀" as UTF-16: one unit, then a surrogate pair.
      {{0x63, 0x00, 0xE9, 0xD8, 0x3D, 0xDE, 0x00}, Value("\xC3\xA9\xF0\x9F\x98\x80")},
      // A count too large for the marker's nibble follows as an integer.
      {{0x5F, 0x10, 0x02, 'h', 'i'}, Value("hi")},
  };
  for (const Case& c : cases) EXPECT_EQ(read({c.object}), c.value) << "marker " << int(c.object[0]);
}

TEST(BinaryPropertyListReaderTest, ContainersFollowReferences) {
  // 0: {"b": 1, "a": [1, 1]} with object 2 shared three times.
  const auto value = read({{0xD2, 1, 3, 2, 4}, {0x51, 'b'}, {0x10, 1}, {0x51, 'a'}, {0xA2, 2, 2}});
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, Value(Dictionary{{"b", 1}, {"a", Array{1, 1}}}));
  EXPECT_EQ(value->asDictionary().begin()->first, "b");
}

TEST(BinaryPropertyListReaderTest, RefusesMalformedStructure) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const std::vector<Bytes> one = {{0x10, 1}};
  const Case cases[] = {
      {"too short", Bytes{'b', 'p', 'l', 'i', 's', 't', '0', '0'}},
      {"other version", [&] {
         Bytes bytes = assemble(one);
         bytes[7] = '1';
         return bytes;
       }()},
      {"offset size 0", assemble(one, [](Trailer& t) { t.offsetSize = 0; })},
      {"reference size 9", assemble(one, [](Trailer& t) { t.referenceSize = 9; })},
      {"no objects", assemble(one, [](Trailer& t) { t.objectCount = 0; })},
      {"object count beyond the table", assemble(one, [](Trailer& t) { t.objectCount = 1000; })},
      {"huge object count", assemble(one, [](Trailer& t) { t.objectCount = std::numeric_limits<uint64_t>::max(); })},
      {"top beyond the objects", assemble(one, [](Trailer& t) { t.topObject = 1; })},
      {"table inside the header", assemble(one, [](Trailer& t) { t.tableOffset = 3; })},
      {"table past the end", assemble(one, [](Trailer& t) { t.tableOffset = 1 << 20; })},
      {"offset into the header", [] {
         Bytes bytes = assemble({{0xA1, 1}, {0x10, 1}}, [](Trailer& t) { t.offsetSize = 1; });
         bytes[13] = 2;  // object 1's offset
         return bytes;
       }()},
      {"reference out of range", assemble({{0xA1, 7}})},
      {"count past the objects", assemble({{0xAF, 0x10, 0xFF, 0}})},
      {"string past the objects", assemble({{0x5F, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}})},
      {"data past the objects", assemble({{0x45, 1, 2}})},
      {"truncated integer", assemble({{0x13, 1, 2}})},
      {"integer width 32", assemble({{0x15, 0}})},
      {"16-byte integer above 64 bits", assemble({{0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}})},
      {"real of 2 bytes", assemble({{0x21, 0, 0}})},
      {"truncated date", assemble({{0x33, 0, 0}})},
      {"count of wrong kind", assemble({{0x5F, 0x20, 0x02, 'h', 'i'}})},
  };
  for (const Case& c : cases) EXPECT_EQ(readBinaryPropertyList(c.bytes), std::nullopt) << c.what;
}

TEST(BinaryPropertyListReaderTest, RefusesContentAValueCannotCarry) {
  struct Case {
    const char* what;
    std::vector<Bytes> objects;
  };
  const Case cases[] = {
      {"null", {{0x00}}},
      {"fill", {{0x0F}}},
      {"UID", {{0x80, 1}}},
      {"set", {{0xC1, 1}, {0x10, 1}}},
      {"ASCII string with NUL", {{0x53, 'a', 0, 'b'}}},
      {"ASCII string with a high byte", {{0x52, 0xC3, 0xA9}}},
      {"UTF-16 string with NUL", {{0x62, 0, 'a', 0, 0}}},
      {"lone high surrogate", {{0x62, 0xD8, 0x3D, 0, 'a'}}},
      {"high surrogate at the end", {{0x61, 0xD8, 0x3D}}},
      {"lone low surrogate", {{0x61, 0xDE, 0x00}}},
      {"non-string key", {{0xD1, 1, 1}, {0x10, 1}}},
      {"bad element deep inside", {{0xA1, 1}, {0xA1, 2}, {0x80, 1}}},
  };
  for (const Case& c : cases) EXPECT_EQ(read(c.objects), std::nullopt) << c.what;
}

TEST(BinaryPropertyListReaderTest, RefusesCycles) {
  EXPECT_EQ(read({{0xA1, 0}}), std::nullopt);                           // contains itself
  EXPECT_EQ(read({{0xA1, 1}, {0xD1, 2, 0}, {0x51, 'k'}}), std::nullopt);  // through a dictionary
}

TEST(BinaryPropertyListReaderTest, SharedReferencesCannotExplode) {
  // Each array holds the next one twice: 2^60 leaves from a few hundred bytes.
  std::vector<Bytes> objects;
  for (uint8_t i = 0; i < 60; ++i) objects.push_back({0xA2, static_cast<uint8_t>(i + 1), static_cast<uint8_t>(i + 1)});
  objects.push_back({0x10, 1});
  EXPECT_EQ(read(objects), std::nullopt);

  // Moderate sharing, as writers that unique equal objects produce, is fine.
  objects.erase(objects.begin(), objects.begin() + 50);
  for (Bytes& object : objects) {
    if (object[0] == 0xA2) object = {0xA2, static_cast<uint8_t>(object[1] - 50), static_cast<uint8_t>(object[2] - 50)};
  }
  const auto value = read(objects);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->size(), 2u);
}

TEST(BinaryPropertyListReaderTest, NestingIsBounded) {
  // `arrays` arrays, each holding the next, around one integer.
  const auto nested = [](uint16_t arrays) {
    std::vector<Bytes> objects;
    for (uint16_t i = 1; i <= arrays; ++i) objects.push_back({0xA1, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)});
    objects.push_back({0x10, 1});
    return read(objects, [](Trailer& t) { t.referenceSize = 2; });
  };
  EXPECT_TRUE(nested(kMaxNesting));
  EXPECT_EQ(nested(kMaxNesting + 1), std::nullopt);
}

}  // namespace
}  // namespace plexora::platform
