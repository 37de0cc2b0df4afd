// Feeds arbitrary text to the command-link reader as an ad's page could,
// then builds the event the link would log. It must never crash, and every
// answer must be consistent: an accepted link is an "ovad" link with a
// command and a dictionary of arguments; its event has a type, keeps the
// library's own "analog" and "touch" whatever the page sends, and a command
// other than "passthrough" is logged under its own name with priority 0 or 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "adapters/OVAdCommandLink.h"
#include "adapters/OVAdCommandProcessor.h"
#include "platform/foundation/URL.h"

using plexora::OVAdCommandLink;
using plexora::platform::Dictionary;
using plexora::platform::URL;
using plexora::platform::Value;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "command_link_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<URL> url = URL::parse(text);
  if (!url) {
    return 0;
  }
  const std::optional<OVAdCommandLink> link = OVAdCommandLink::parse(*url);
  if (!link) {
    return 0;
  }
  require(!link->command.empty(), "an accepted link has no command");
  require(link->arguments.isDictionary(), "the arguments are not a dictionary");

  const Dictionary library{{plexora::kOVAdCommandEventAnalogKey, "analog"}, {plexora::kOVAdCommandEventTouchKey, "{}"}};
  const auto event = plexora::OVAdCommandEventForLink(*link, library);
  if (!event) {
    require(link->command == plexora::kOVAdCommandPassthrough, "only a passthrough may log nothing");
    return 0;
  }
  require(!event->type.empty(), "an event without a type");
  const Value* analog = event->data.find(plexora::kOVAdCommandEventAnalogKey);
  const Value* touch = event->data.find(plexora::kOVAdCommandEventTouchKey);
  require(analog != nullptr && *analog == Value("analog"), "the page replaced analog");
  require(touch != nullptr && *touch == Value("{}"), "the page replaced touch");
  if (link->command != plexora::kOVAdCommandPassthrough) {
    require(event->type == link->command, "a command logged under another name");
    require(event->priority <= 1, "a command logged with a priority of its own");
  }
  return 0;
}
