#include "adapters/views/contentcontainer/OVAdContentContainerBridge.h"

#include "util/OVAdDeviceState.h"

namespace plexora {

namespace {

constexpr const char* kAdControlScriptPrefix = "var AdControl = { getAnalogInfo : function() { return '";
constexpr const char* kAdControlScriptSuffix = "';} };";

}  // namespace

std::string OVAdAdControlScript() {
  return std::string(kAdControlScriptPrefix) + OVAdDeviceStateJSON().value_or("") + kAdControlScriptSuffix;
}

}  // namespace plexora
