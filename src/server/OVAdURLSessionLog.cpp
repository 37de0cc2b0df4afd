// The one log line of each completed request.
#include "plexora/OVAdSettings.h"
#include "server/OVAdURLSession.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kHTTPErrorFormat = "HTTP error, status=%ld, error=%s, bytes=%lu, encoding=%s, url=%s";
constexpr const char* kHTTPCompleteFormat = "HTTP complete, status=%lu, bytes=%ld, encoding=%s, duration=%f, url=%s";
constexpr const char* kNone = "(null)";

std::string describe(const platform::Error& error) {
  return "Error Domain=" + error.domain() + " Code=" + std::to_string(error.code()) + " \"" +
         error.localizedDescription() + "\"";
}

}  // namespace

void OVAdURLSession::logCompletion(const std::string& requestURL,
                                   const std::optional<platform::HTTPURLResponse>& response,
                                   const platform::Bytes& data, const std::optional<platform::Error>& error,
                                   double duration) {
  const bool failed = error && !isEmptyURL(requestURL);
  // The line's fields are only gathered when it is written.
  if (!response || OVAdSettings::getLogLevel() < (failed ? kOVAdLogLevelError : kOVAdLogLevelDebug)) {
    return;
  }
  const std::string encodingName = response->textEncodingName();
  const char* encoding = encodingName.empty() ? kNone : encodingName.c_str();
  if (failed) {
    OV_LOG(kOVAdLogLevelError, kHTTPErrorFormat, response->statusCode, describe(*error).c_str(),
           static_cast<unsigned long>(data.size()), encoding, requestURL.c_str());
  } else {
    OV_LOG(kOVAdLogLevelDebug, kHTTPCompleteFormat, static_cast<unsigned long>(response->statusCode),
           static_cast<long>(data.size()), encoding, duration, requestURL.c_str());
  }
}

}  // namespace plexora
