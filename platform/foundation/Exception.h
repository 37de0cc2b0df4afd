// The exception the library raises for misuse of its interface: a name,
// a fixed reason and optional details, as the event payloads report them.
//
// Thread safety: a plain value type; may be thrown and caught on any thread.
#pragma once

#include <exception>
#include <string>

#include "platform/Export.h"
#include "platform/value/Value.h"

namespace plexora::platform {

// Names raised by the platform itself; the library's own names live beside
// the code that raises them.
inline constexpr const char* kInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* kInternalInconsistencyException = "NSInternalInconsistencyException";

class PLEXORA_EXPORT Exception : public std::exception {
 public:
  // `userInfo` is a dictionary, or null when there are no details.
  Exception(std::string name, std::string reason, Value userInfo = {});

  const std::string& name() const { return name_; }
  const std::string& reason() const { return reason_; }
  const Value& userInfo() const { return userInfo_; }

  // The reason.
  const char* what() const noexcept override { return reason_.c_str(); }

 private:
  std::string name_;
  std::string reason_;
  Value userInfo_;
};

}  // namespace plexora::platform
