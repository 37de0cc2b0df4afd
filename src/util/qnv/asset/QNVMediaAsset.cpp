#include "util/qnv/asset/QNVMediaAsset.h"

#include "platform/foundation/NotificationCenter.h"

namespace plexora {

namespace {
constexpr const char* kErrorDomainKey = "domain";
constexpr const char* kErrorCodeKey = "code";
constexpr const char* kErrorUserInfoKey = "userInfo";
}  // namespace

platform::MediaTime QNVMaxBufferTime() {
  static const platform::MediaTime time = platform::MediaTime::make(5, 2);
  return time;
}

platform::MediaTime QNVMinBufferTime() {
  static const platform::MediaTime time = platform::MediaTime::make(3, 2);
  return time;
}

platform::Value QNVErrorAsValue(const platform::Error& error) {
  return platform::Dictionary{
      {kErrorDomainKey, error.domain()}, {kErrorCodeKey, error.code()}, {kErrorUserInfoKey, error.userInfo()}};
}

std::optional<platform::Error> QNVErrorFromValue(const platform::Value& value) {
  const platform::Value* domain = value.find(kErrorDomainKey);
  const platform::Value* code = value.find(kErrorCodeKey);
  if (domain == nullptr || code == nullptr || !domain->isString() || !code->isInteger()) return std::nullopt;
  const platform::Value* userInfo = value.find(kErrorUserInfoKey);
  return platform::Error(domain->asString(), code->asInteger(),
                         userInfo != nullptr ? userInfo->asDictionary() : platform::Dictionary{});
}

void QNVPostAssetError(const void* asset, const platform::Error& error, bool shouldStopPlayback) {
  const char* name = shouldStopPlayback ? kAVPlayerItemFailedToPlayToEndTimeNotification : kQNVAssetWarning;
  const char* key = shouldStopPlayback ? kAVPlayerItemFailedToPlayToEndTimeErrorKey : kQNVAssetWarningErrorKey;
  platform::NotificationCenter::defaultCenter().post(name, asset, platform::Dictionary{{key, QNVErrorAsValue(error)}});
}

QNVKeyValueStatus QNVKeyStatusForLoadingError(const std::optional<platform::Error>& loadingError, bool headersParsed,
                                              std::optional<platform::Error>* outError) {
  if (loadingError) {
    if (outError != nullptr) *outError = loadingError;
    return kQNVKeyValueStatusFailed;
  }
  return headersParsed ? kQNVKeyValueStatusLoaded : kQNVKeyValueStatusUnknown;
}

}  // namespace plexora
