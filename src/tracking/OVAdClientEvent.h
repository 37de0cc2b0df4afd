// One client event: a small diagnostic record (an error, an exception, a
// latency, a store bounce-back) that travels to the server with the next ad
// request.
//
// Thread safety: immutable once made; share it freely between threads.
// Ownership: the event owns copies of its fields; events are handed around
// as std::shared_ptr<const OVAdClientEvent>.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace plexora {

class OVAdClientEvent final {
 public:
  // Null unless `name` and `time` are given and `data` is a dictionary. A
  // missing request id is stored as "".
  static std::shared_ptr<const OVAdClientEvent> create(std::optional<std::string> name, platform::Value data,
                                                       std::optional<std::int64_t> time,
                                                       std::optional<std::string> requestId = std::nullopt);
  OVAdClientEvent(const OVAdClientEvent&) = delete;
  OVAdClientEvent& operator=(const OVAdClientEvent&) = delete;

  const std::string& name() const { return name_; }
  const platform::Value& data() const { return data_; }
  // Whole seconds since 1970.
  std::int64_t time() const { return time_; }
  const std::string& requestId() const { return requestId_; }

  // {"name": name, "data": data, "time": time, "request_id": requestId}.
  platform::Value getClientEventDictionary() const;

 private:
  OVAdClientEvent(std::string name, platform::Value data, std::int64_t time, std::string requestId);

  const std::string name_;
  const platform::Value data_;
  const std::int64_t time_;
  const std::string requestId_;
};

}  // namespace plexora
