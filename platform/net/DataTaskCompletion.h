// The completion of a data task and the per-task options.
//
// Thread safety: plain types.
#pragma once

#include <functional>
#include <optional>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/net/HTTPURLResponse.h"

namespace plexora::platform {

// data: the body (empty on error). response: present when the server
// answered with a status line and headers, also when the transfer failed
// later (absent for cancellation). error: absent on success.
using DataTaskCompletion =
    std::function<void(Bytes data, std::optional<HTTPURLResponse> response, std::optional<Error> error)>;

struct DataTaskOptions {
  // Accept any server certificate of this task's host, whatever the
  // session's configuration says. Such a task follows no redirect: a 3xx
  // answer is handed back as it is, so no other host escapes the check.
  bool tlsVerificationDisabled = false;
  // Run the completion of a transfer that came to its outcome on the
  // session's transfer thread rather than handing it to the delegate queue:
  // one thread hand-off less on the way to the caller. Only for short
  // completions that pass their result on themselves: while one runs, every
  // other transfer of the session waits, and it must not destroy the
  // session. A cancelled task still completes on the delegate queue.
  bool completesOnTransferThread = false;
};

}  // namespace plexora::platform
