#include "util/OVAdError.h"

#include <exception>
#include <string_view>
#include <utility>

#include "plexora/OVAdErrorDomain.h"
#include "util/OVAdDictionary.h"
#include "util/OVAdUtility.h"

namespace plexora {

using platform::Value;

namespace {

constexpr const char* kErrorBodyKey = "error";
// The fields of the body's "error" object that the detail carries.
constexpr const char* kErrorBodyFields[] = {"message", "type", "code"};

}  // namespace

const std::map<std::int64_t, std::string>& OVAdError::defaultDescriptions() {
  static const std::map<std::int64_t, std::string> descriptions = {
      {kOVAdErrorCodeNetworkError, "Network Error"},
      {kOVAdErrorCodeNoFill, "No fill"},
      {kOVAdErrorCodeLoadTooFrequently, "Ad was re-loaded too frequently"},
      {kOVAdErrorCodeServerError, "Server Error"},
      {kOVAdErrorCodeInternalError, "Internal Error"},
      {kOVAdErrorCodeMediationError, "Mediation Error"},
  };
  return descriptions;
}

std::string OVAdError::defaultDescriptionForKey(std::int64_t code) {
  const auto& descriptions = defaultDescriptions();
  const auto found = descriptions.find(code);
  return found == descriptions.end() ? std::string() : found->second;
}

platform::Error OVAdError::getNSError(std::int64_t code, std::optional<std::string> description,
                                      platform::Dictionary detail) {
  return getNSError(code, OVPlexoraErrorDomain, std::move(description), std::move(detail));
}

platform::Error OVAdError::getNSError(std::int64_t code, std::string domain, std::optional<std::string> description,
                                      platform::Dictionary detail) {
  platform::Dictionary userInfo;
  userInfo.set(platform::kLocalizedDescriptionKey, Value(description ? std::move(*description)
                                                                     : defaultDescriptionForKey(code)));
  userInfo.set(kOVAdErrorDetailKey, Value(std::move(detail)));
  return platform::Error(std::move(domain), code, std::move(userInfo));
}

platform::Error OVAdError::getErrorFromJSON(std::optional<platform::ByteView> data, std::int64_t code,
                                            std::optional<std::string> description, platform::Dictionary detail) {
  if (!data) {
    return getNSError(code, std::move(description), std::move(detail));
  }
  try {
    const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    const auto body = OVAdUtility::getObjectFromJSONString(text);
    if (!body || !body->isDictionary()) {
      return getNSError(code, std::move(description), std::move(detail));
    }
    const Value serverError = dictionaryForKey(*body, kErrorBodyKey, Value(platform::Dictionary{}));
    platform::Dictionary extended = detail;
    for (const char* field : kErrorBodyFields) {
      if (auto value = stringForKeyOrNil(serverError, field)) {
        extended.set(field, Value(std::move(*value)));
      }
    }
    return getNSError(code, std::move(description), std::move(extended));
  } catch (const std::exception&) {
    return getNSError(code, std::move(description), std::move(detail));
  }
}

}  // namespace plexora
