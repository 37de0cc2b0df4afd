// Value -> JSON text, on top of nlohmann-json (JsonReader.cpp reads).
#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/value/Value.h"

namespace plexora::platform {

namespace {

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
