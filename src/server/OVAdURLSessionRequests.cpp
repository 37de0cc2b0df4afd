// Building requests and deciding whom to trust: the parts of the URL session
// that depend on nothing but their arguments and the SSL switch.
#include <algorithm>
#include <cctype>

#include "server/OVAdURLSession.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kMethodGET = "GET";
constexpr const char* kMethodPOST = "POST";
constexpr const char* kContentTypeField = "Content-Type";
constexpr const char* kFormContentType = "application/x-www-form-urlencoded";
constexpr std::string_view kEmptyURL = "#";

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The query goes before a fragment: after it, the server would never see it.
std::string urlWithQuery(const std::string& url, const std::string& query) {
  const std::size_t fragmentStart = std::min(url.find('#'), url.size());
  std::string joined = url.substr(0, fragmentStart);
  joined += joined.find('?') == std::string::npos ? '?' : '&';
  joined += query;
  joined += url.substr(fragmentStart);
  return joined;
}

}  // namespace

platform::URLSessionConfiguration OVAdURLSession::defaultConfiguration() {
  platform::URLSessionConfiguration configuration;
  configuration.timeoutIntervalForRequest = kRequestTimeout;
  return configuration;
}

platform::URLRequest OVAdURLSession::urlRequestWithURL(const std::string& url,
                                                       const std::optional<std::string>& httpMethod,
                                                       const platform::Value& queryParameters) {
  const std::string query = OVAdUtility::createQueryStringFromParameters(queryParameters);
  const std::string method = httpMethod.value_or(kMethodGET);

  platform::URLRequest request(url);
  if (method == kMethodPOST) {
    request.setValue(kFormContentType, kContentTypeField);
    request.setBody(query);
  } else if (method == kMethodGET && !query.empty()) {
    request.url = urlWithQuery(url, query);
  }
  request.httpMethod = method;
  return request;
}

bool OVAdURLSession::isEmptyURL(std::string_view url) { return url.empty() || url == kEmptyURL; }

bool OVAdURLSession::isSandboxHost(std::string_view host) {
  if (host.empty()) {
    return false;
  }
  std::string lowered(host);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
  if (endsWith(lowered, kOVAdSandboxDomainSuffix)) {
    return true;
  }
  return lowered.find(kOVAdDataCentreMarker) != std::string::npos && endsWith(lowered, kOVAdNetworkDomainSuffix);
}

void OVAdURLSession::setSSLValidationDisabled(bool disabled) {
  std::lock_guard lock(mutex_);
  sslValidationDisabled_ = disabled;
}

bool OVAdURLSession::isSSLValidationDisabled() const {
  std::lock_guard lock(mutex_);
  return sslValidationDisabled_;
}

bool OVAdURLSession::acceptsServerTrustWithoutValidation(std::string_view host) const {
  return isSSLValidationDisabled() && isSandboxHost(host);
}

}  // namespace plexora
