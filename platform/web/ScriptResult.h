// Turns what the engine answers for a script into the Value and error the
// web views hand over: numbers, booleans, strings, arrays and plain objects
// as Values; undefined and null as the null Value.
//
// Thread safety: main thread only (the engine's values live there).
#pragma once

#include <cstddef>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/value/Value.h"

typedef struct _JSCValue JSCValue;
typedef struct _GError GError;

namespace plexora::platform::detail {

// Larger results (as text) are refused with
// kWebViewErrorJavaScriptResultUnsupported, so a page cannot make the
// library hold arbitrary amounts of memory.
inline constexpr std::size_t kMaxScriptResultBytes = std::size_t{8} * 1024 * 1024;

struct ScriptResult {
  Value value;
  std::optional<Error> error;
};

ScriptResult scriptResultFromValue(JSCValue* value);
// An evaluation the engine reported as failed (the script threw, say).
ScriptResult scriptResultFromError(const GError* error);

}  // namespace plexora::platform::detail
