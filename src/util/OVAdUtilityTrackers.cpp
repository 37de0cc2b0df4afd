// Tracker requests: fired once through the shared URL session, never
// retried, their outcome only logged.
#include <string>

#include "server/OVAdURLSession.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kMethodGET = "GET";
constexpr const char* kMethodPOST = "POST";
constexpr const char* kInternalRequestFormat = "Internal request: %s %s %s";
constexpr const char* kNone = "(null)";

void addEntries(const platform::Value& source, platform::Dictionary& parameters) {
  if (!source.isDictionary()) {
    return;
  }
  for (const auto& [key, value] : source.asDictionary()) {
    parameters.set(key, value);
  }
}

std::string describe(const std::optional<platform::HTTPURLResponse>& response) {
  if (!response) {
    return kNone;
  }
  return "<" + response->url + " status=" + std::to_string(response->statusCode) + ">";
}

std::string describe(const std::optional<platform::Error>& error) {
  if (!error) {
    return kNone;
  }
  return "Error Domain=" + error->domain() + " Code=" + std::to_string(error->code()) + " \"" +
         error->localizedDescription() + "\"";
}

}  // namespace

void OVAdUtility::logTracker(const std::string& url, const platform::Value& extraData) {
  sendRequestInternal(url, extraData, platform::Value());
}

void OVAdUtility::sendRequestInternal(const std::string& url, const platform::Value& extraData,
                                      const platform::Value& postData) {
  if (url.empty()) {
    return;
  }
  platform::Dictionary parameters;
  addEntries(extraData, parameters);
  addEntries(postData, parameters);
  const bool posts = postData.isDictionary() && !postData.asDictionary().empty();

  OVAdURLSession::sharedSession()->requestWithURL(
      url, posts ? kMethodPOST : kMethodGET, platform::Value(std::move(parameters)),
      [](const std::shared_ptr<OVAdURLSessionTaskContainer>&, const std::optional<platform::HTTPURLResponse>& response,
         const platform::Bytes& data, const std::optional<platform::Error>& error, double) {
        const std::string body = "<" + std::to_string(data.size()) + " bytes>";
        OV_LOG(kOVAdLogLevelVerbose, kInternalRequestFormat, describe(response).c_str(), body.c_str(),
               describe(error).c_str());
      });
}

}  // namespace plexora
