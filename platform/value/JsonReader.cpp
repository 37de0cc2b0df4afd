// JSON text -> Value, read directly into the tree in one pass over the text.
// Every ad load parses its server answer, and building the tree without a
// general-purpose library's intermediate tokens and callbacks keeps that
// parse under the cost of a plain DOM parse. The grammar is RFC 8259's,
// strictly: no comments, no trailing commas, no NaN or Infinity; strings
// must be valid UTF-8 (RFC 3629) and \u escapes well-paired surrogates.
// Nesting is bounded by kMaxNesting with an explicit stack, so hostile
// depth never reaches the call stack.
#include <charconv>
#include <clocale>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

#include "platform/value/Value.h"

namespace plexora::platform {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Deeper documents grow the stack of open containers as they go.
constexpr size_t kTypicalNesting = 16;

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

// A decimal text that std::from_chars left out of range: strtod in the C
// locale tells an underflow (a tiny or zero double) from an overflow.
std::optional<double> outOfRangeDouble(std::string_view text) {
  static const locale_t cLocale = ::newlocale(LC_NUMERIC_MASK, "C", nullptr);
  if (cLocale == nullptr) return std::nullopt;
  const std::string terminated(text);
  const double value = ::strtod_l(terminated.c_str(), nullptr, cLocale);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {}

  std::optional<Value> document() {
    if (std::string_view(at_, static_cast<size_t>(end_ - at_)).starts_with(kByteOrderMark)) {
      at_ += kByteOrderMark.size();
    }
    Value result;
    if (!value(result)) return std::nullopt;
    skipWhitespace();
    if (at_ != end_) return std::nullopt;
    return result;
  }

 private:
  // A container being filled; `key` is the pending key of an object.
  struct Open {
    Value container;
    std::string key;
  };

  void skipWhitespace() {
    while (at_ != end_ && isWhitespace(*at_)) ++at_;
  }

  bool consume(char expected) {
    skipWhitespace();
    if (at_ == end_ || *at_ != expected) return false;
    ++at_;
    return true;
  }

  // One value, containers included, into `out`. Containers are walked with
  // the explicit stack: a finished one moves into its parent.
  bool value(Value& out) {
    std::vector<Open> open;
    open.reserve(kTypicalNesting);
    for (;;) {
      skipWhitespace();
      if (at_ == end_) return false;
      Value scalar;
      const char c = *at_;
      if (c == '{' || c == '[') {
        if (open.size() >= kMaxNesting) return false;
        ++at_;
        const bool isObject = c == '{';
        open.push_back({isObject ? Value(Dictionary{}) : Value(Array{}), {}});
        skipWhitespace();
        if (at_ != end_ && *at_ == (isObject ? '}' : ']')) {
          ++at_;
          scalar = std::move(open.back().container);
          open.pop_back();
        } else if (isObject) {
          if (!objectKey(open.back().key)) return false;
          continue;
        } else {
          continue;
        }
      } else if (!this->scalar(scalar)) {
        return false;
      }
      // A finished value: into its parent, closing every container it ends.
      for (;;) {
        if (open.empty()) {
          out = std::move(scalar);
          return true;
        }
        Open& parent = open.back();
        const bool isObject = parent.container.isDictionary();
        if (isObject) {
          parent.container.mutableDictionary().set(std::move(parent.key), std::move(scalar));
        } else {
          parent.container.mutableArray().push_back(std::move(scalar));
        }
        skipWhitespace();
        if (at_ == end_) return false;
        if (*at_ == ',') {
          ++at_;
          if (isObject && !objectKey(parent.key)) return false;
          break;
        }
        if (*at_ != (isObject ? '}' : ']')) return false;
        ++at_;
        scalar = std::move(parent.container);
        open.pop_back();
      }
    }
  }

  bool objectKey(std::string& key) {
    skipWhitespace();
    if (at_ == end_ || *at_ != '"') return false;
    ++at_;
    key.clear();
    return string(key) && consume(':');
  }

  bool scalar(Value& out) {
    switch (*at_) {
      case '"': {
        ++at_;
        std::string text;
        if (!string(text)) return false;
        out = Value(std::move(text));
        return true;
      }
      case 't': return literal("true", Value(true), out);
      case 'f': return literal("false", Value(false), out);
      case 'n': return literal("null", Value(), out);
      default: return number(out);
    }
  }

  bool literal(std::string_view word, Value value, Value& out) {
    if (static_cast<size_t>(end_ - at_) < word.size() || std::string_view(at_, word.size()) != word) return false;
    at_ += word.size();
    out = std::move(value);
    return true;
  }

  bool number(Value& out) {
    const char* start = at_;
    const char* p = at_;
    if (p != end_ && *p == '-') ++p;
    if (p == end_ || !isDigit(*p)) return false;
    if (*p == '0') {
      ++p;
    } else {
      while (p != end_ && isDigit(*p)) ++p;
    }
    bool integral = true;
    if (p != end_ && *p == '.') {
      integral = false;
      ++p;
      if (p == end_ || !isDigit(*p)) return false;
      while (p != end_ && isDigit(*p)) ++p;
    }
    if (p != end_ && (*p == 'e' || *p == 'E')) {
      integral = false;
      ++p;
      if (p != end_ && (*p == '+' || *p == '-')) ++p;
      if (p == end_ || !isDigit(*p)) return false;
      while (p != end_ && isDigit(*p)) ++p;
    }
    at_ = p;
    if (integral) {
      if (*start == '-') {
        int64_t negative = 0;
        if (std::from_chars(start, p, negative).ec == std::errc()) {
          out = Value(negative);
          return true;
        }
      } else {
        // Above the int64 range the value becomes a double (see Value).
        uint64_t positive = 0;
        if (std::from_chars(start, p, positive).ec == std::errc()) {
          out = Value(positive);
          return true;
        }
      }
      // Beyond 64 bits: the nearest double.
    }
    double real = 0;
    const auto [end, error] = std::from_chars(start, p, real);
    if (error == std::errc::result_out_of_range) {
      const auto fallback = outOfRangeDouble(std::string_view(start, static_cast<size_t>(p - start)));
      if (!fallback) return false;
      real = *fallback;
    } else if (error != std::errc() || end != p) {
      return false;
    }
    out = Value(real);
    return true;
  }

  // The rest of a string whose opening quote was read, appended to `out`.
  bool string(std::string& out) {
    // Sized once for all of it: markup strings run to kilobytes, and growing
    // them piece by piece would copy them again and again.
    out.reserve(out.size() + lengthBound());
    for (;;) {
      const char* run = at_;
      while (at_ != end_) {
        const auto byte = static_cast<unsigned char>(*at_);
        if (byte == '"' || byte == '\\' || byte < 0x20 || byte >= 0x80) break;
        ++at_;
      }
      out.append(run, static_cast<size_t>(at_ - run));
      if (at_ == end_) return false;
      const auto byte = static_cast<unsigned char>(*at_);
      if (byte == '"') {
        ++at_;
        return true;
      }
      if (byte < 0x20) return false;
      if (byte == '\\') {
        if (!escape(out)) return false;
      } else if (!utf8Sequence(out)) {
        return false;
      }
    }
  }

  // The bytes up to the string's closing quote (escapes counted as they
  // stand, which is never shorter than what they stand for); up to the end
  // of the text when it is unterminated.
  size_t lengthBound() const {
    const char* p = at_;
    for (;;) {
      p = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end_ - p)));
      if (p == nullptr) return static_cast<size_t>(end_ - at_);
      // A quote after an odd run of backslashes is escaped.
      size_t backslashes = 0;
      while (p - static_cast<ptrdiff_t>(backslashes) > at_ && p[-1 - static_cast<ptrdiff_t>(backslashes)] == '\\') {
        ++backslashes;
      }
      if (backslashes % 2 == 0) return static_cast<size_t>(p - at_);
      ++p;
    }
  }

  bool escape(std::string& out) {
    ++at_;
    if (at_ == end_) return false;
    const char c = *at_++;
    switch (c) {
      case '"': out.push_back('"'); return true;
      case '\\': out.push_back('\\'); return true;
      case '/': out.push_back('/'); return true;
      case 'b': out.push_back('\b'); return true;
      case 'f': out.push_back('\f'); return true;
      case 'n': out.push_back('\n'); return true;
      case 'r': out.push_back('\r'); return true;
      case 't': out.push_back('\t'); return true;
      case 'u': break;
      default: return false;
    }
    uint32_t unit = 0;
    if (!hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // a low surrogate alone
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      uint32_t low = 0;
      if (end_ - at_ < 2 || at_[0] != '\\' || at_[1] != 'u') return false;
      at_ += 2;
      if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    appendUtf8(out, unit);
    return true;
  }

  bool hex4(uint32_t& unit) {
    if (end_ - at_ < 4) return false;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexDigit(*at_++);
      if (digit < 0) return false;
      unit = unit << 4 | static_cast<uint32_t>(digit);
    }
    return true;
  }

  // One multi-byte UTF-8 character, checked byte by byte: no overlong
  // forms, no encoded surrogates, nothing above U+10FFFF.
  bool utf8Sequence(std::string& out) {
    const auto lead = static_cast<unsigned char>(*at_);
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    int continuation = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      continuation = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      continuation = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      continuation = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (end_ - at_ <= continuation) return false;
    for (int i = 1; i <= continuation; ++i) {
      const auto byte = static_cast<unsigned char>(at_[i]);
      if (byte < low || byte > high) return false;
      low = 0x80;
      high = 0xBF;
    }
    out.append(at_, static_cast<size_t>(continuation + 1));
    at_ += continuation + 1;
    return true;
  }

  const char* at_;
  const char* const end_;
};

}  // namespace

std::optional<Value> parseJSON(std::string_view text) { return Reader(text).document(); }

}  // namespace plexora::platform
