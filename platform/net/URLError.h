// Errors of the URL loading system: the "NSURLErrorDomain" domain and the
// negative codes callers compare with.
//
// Thread safety: pure functions and constants.
#pragma once

#include <cstdint>

#include "platform/foundation/Error.h"

namespace plexora::platform {

inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";

enum URLErrorCode : std::int64_t {
  kURLErrorUnknown = -1,
  kURLErrorCancelled = -999,
  kURLErrorBadURL = -1000,
  kURLErrorTimedOut = -1001,
  kURLErrorUnsupportedURL = -1002,
  kURLErrorCannotFindHost = -1003,
  kURLErrorCannotConnectToHost = -1004,
  kURLErrorNetworkConnectionLost = -1005,
  kURLErrorHTTPTooManyRedirects = -1007,
  kURLErrorBadServerResponse = -1011,
  kURLErrorDataLengthExceedsMaximum = -1103,
  kURLErrorSecureConnectionFailed = -1200,
};

// An error of kURLErrorDomain with the code's description under
// "NSLocalizedDescription".
Error makeURLError(URLErrorCode code);

}  // namespace plexora::platform
