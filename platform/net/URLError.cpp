#include "platform/net/URLError.h"

namespace plexora::platform {

namespace {

const char* describe(URLErrorCode code) {
  switch (code) {
    case kURLErrorCancelled:
      return "cancelled";
    case kURLErrorBadURL:
      return "bad URL";
    case kURLErrorTimedOut:
      return "The request timed out.";
    case kURLErrorUnsupportedURL:
      return "unsupported URL";
    case kURLErrorCannotFindHost:
      return "A server with the specified hostname could not be found.";
    case kURLErrorCannotConnectToHost:
      return "Could not connect to the server.";
    case kURLErrorNetworkConnectionLost:
      return "The network connection was lost.";
    case kURLErrorHTTPTooManyRedirects:
      return "too many HTTP redirects";
    case kURLErrorBadServerResponse:
      return "The server returned a response that could not be read.";
    case kURLErrorDataLengthExceedsMaximum:
      return "resource exceeds maximum size";
    case kURLErrorSecureConnectionFailed:
      return "A secure connection to the server could not be made.";
    case kURLErrorUnknown:
      break;
  }
  return "unknown error";
}

}  // namespace

Error makeURLError(URLErrorCode code) {
  return Error(kURLErrorDomain, code, Dictionary{{kLocalizedDescriptionKey, describe(code)}});
}

}  // namespace plexora::platform
