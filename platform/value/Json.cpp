// JSON text <-> Value, on top of nlohmann-json. Parsing goes through a SAX
// handler so objects keep their key order and nesting depth is bounded
// before anything recursive can overflow the stack.
#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/value/Value.h"

namespace plexora::platform {

namespace {

class ValueBuilder final : public nlohmann::json_sax<nlohmann::json> {
 public:
  // The finished top-level value; meaningful after a successful parse.
  Value take() { return std::move(root_); }

  bool null() override { return add(Value()); }
  bool boolean(bool value) override { return add(Value(value)); }
  bool number_integer(number_integer_t value) override { return add(Value(value)); }
  // Above the int64 range; kept as the nearest double.
  bool number_unsigned(number_unsigned_t value) override { return add(Value(value)); }
  bool number_float(number_float_t value, const string_t&) override { return add(Value(value)); }
  bool string(string_t& value) override { return add(Value(std::move(value))); }
  bool binary(binary_t&) override { return false; }  // JSON text never yields it

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
  std::vector<Value> open_;        // containers being filled, innermost last
  std::vector<std::string> keys_;  // pending key of each open object awaiting its value
};

// Null when the value cannot be written as JSON.
std::optional<nlohmann::ordered_json> toJsonTree(const Value& value, size_t depth) {
  if ((value.isArray() || value.isDictionary()) && depth >= kMaxNesting) return std::nullopt;
  switch (value.kind()) {
    case Value::Kind::Null: return nlohmann::ordered_json(nullptr);
    case Value::Kind::Bool: return nlohmann::ordered_json(value.asBool());
    case Value::Kind::Integer: return nlohmann::ordered_json(value.asInteger());
    case Value::Kind::Double:
      if (!std::isfinite(value.asDouble())) return std::nullopt;
      return nlohmann::ordered_json(value.asDouble());
    case Value::Kind::String: return nlohmann::ordered_json(value.asString());
    case Value::Kind::Data: return std::nullopt;
    case Value::Kind::Array: {
      auto tree = nlohmann::ordered_json::array();
      for (const Value& element : value.asArray()) {
        auto child = toJsonTree(element, depth + 1);
        if (!child) return std::nullopt;
        tree.push_back(std::move(*child));
      }
      return tree;
    }
    case Value::Kind::Dictionary: {
      auto tree = nlohmann::ordered_json::object();
      auto& members = tree.get_ref<nlohmann::ordered_json::object_t&>();
      for (const auto& [key, element] : value.asDictionary()) {
        auto child = toJsonTree(element, depth + 1);
        if (!child) return std::nullopt;
        // Keys are already unique, so append without the map's linear
        // duplicate search.
        members.nlohmann::ordered_json::object_t::Container::emplace_back(key, std::move(*child));
      }
      return tree;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<Value> parseJSON(std::string_view text) {
  // The lexer takes a NUL for the end of input and would accept whatever
  // follows it; a raw NUL is never valid JSON anyway.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  ValueBuilder builder;
  try {
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) return std::nullopt;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  return builder.take();
}

std::optional<std::string> toJSON(const Value& value) {
  auto tree = toJsonTree(value, 0);
  if (!tree) return std::nullopt;
  try {
    return tree->dump();
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;  // a string that is not valid UTF-8
  }
}

}  // namespace plexora::platform
