#include "platform/net/HTTPHeaderFields.h"

#include <algorithm>

namespace plexora::platform {

namespace {

char lowerASCII(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Field> fields) : fields_(fields) {}

HTTPHeaderFields::HTTPHeaderFields(std::vector<Field> fields) : fields_(std::move(fields)) {}

bool HTTPHeaderFields::namesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerASCII(x) == lowerASCII(y); });
}

void HTTPHeaderFields::set(std::string_view name, std::string value) {
  auto first = std::find_if(fields_.begin(), fields_.end(), [&](const Field& f) { return namesEqual(f.first, name); });
  if (first == fields_.end()) {
    fields_.emplace_back(std::string(name), std::move(value));
    return;
  }
  first->second = std::move(value);
  fields_.erase(std::remove_if(first + 1, fields_.end(), [&](const Field& f) { return namesEqual(f.first, name); }),
                fields_.end());
}

void HTTPHeaderFields::add(std::string name, std::string value) { fields_.emplace_back(std::move(name), std::move(value)); }

void HTTPHeaderFields::remove(std::string_view name) {
  std::erase_if(fields_, [&](const Field& f) { return namesEqual(f.first, name); });
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
  for (const auto& field : fields_) {
    if (namesEqual(field.first, name)) return field.second;
  }
  return std::nullopt;
}

bool HTTPHeaderFields::contains(std::string_view name) const { return value(name).has_value(); }

}  // namespace plexora::platform
