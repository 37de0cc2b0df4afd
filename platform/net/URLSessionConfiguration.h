// Settings shared by every task of one session.
//
// Thread safety: a plain value; a session copies it when it is created.
#pragma once

#include "platform/net/HTTPHeaderFields.h"

namespace plexora::platform {

struct URLSessionConfiguration {
  // Sent with every request that does not set a field of the same name
  // itself (the User-Agent, typically).
  HTTPHeaderFields additionalHTTPHeaders;
  // Seconds for a whole transfer when the request names no limit of its
  // own. Zero or less means no limit.
  double timeoutIntervalForRequest = 60.0;
  // Accept any server certificate for every task of the session (sandbox
  // servers with certificates of their own making). A task can ask for the
  // same alone through DataTaskOptions.
  bool tlsVerificationDisabled = false;
};

}  // namespace plexora::platform
