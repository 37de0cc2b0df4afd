// An error value: a domain, a code and a dictionary of details, the shape
// in which failures travel between the platform layer, the library and the
// host's delegates.
//
// Errors are passed by value (copies are deep and cheap enough for the few
// entries they carry); "no error" is std::optional<Error> left empty.
//
// Thread safety: a plain value type.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Export.h"
#include "platform/value/Value.h"

namespace plexora::platform {

// The user-information key of the human-readable description.
inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";

class PLEXORA_EXPORT Error {
 public:
  Error(std::string domain, std::int64_t code, Dictionary userInfo = {});

  const std::string& domain() const { return domain_; }
  std::int64_t code() const { return code_; }
  const Dictionary& userInfo() const { return userInfo_; }

  // The string under kLocalizedDescriptionKey; without one, the generic
  // text naming the domain and the code.
  std::string localizedDescription() const;

  friend bool operator==(const Error& a, const Error& b) = default;

 private:
  std::string domain_;
  std::int64_t code_;
  Dictionary userInfo_;
};

}  // namespace plexora::platform
