// An ordered list of HTTP header fields with case-insensitive names.
//
// Fields keep the order in which they were added, so a request goes out with
// its headers in the order the caller set them and a response reports them
// in the order the server sent them. Duplicate names are allowed (a server
// may send several Set-Cookie fields); set() collapses them into one.
//
// Thread safety: a plain value; not synchronised.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plexora::platform {

class HTTPHeaderFields {
 public:
  using Field = std::pair<std::string, std::string>;

  HTTPHeaderFields() = default;
  HTTPHeaderFields(std::initializer_list<Field> fields);
  explicit HTTPHeaderFields(std::vector<Field> fields);

  // Replaces every field of that name by one with `value`, kept at the
  // position of the first one (appended when there was none).
  void set(std::string_view name, std::string value);
  // Appends a field even when one of that name exists.
  void add(std::string name, std::string value);
  void remove(std::string_view name);

  // The value of the first field of that name.
  std::optional<std::string> value(std::string_view name) const;
  bool contains(std::string_view name) const;

  const std::vector<Field>& fields() const { return fields_; }
  std::size_t size() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }
  auto begin() const { return fields_.begin(); }
  auto end() const { return fields_.end(); }

  bool operator==(const HTTPHeaderFields&) const = default;

  static bool namesEqual(std::string_view a, std::string_view b);

 private:
  std::vector<Field> fields_;
};

}  // namespace plexora::platform
