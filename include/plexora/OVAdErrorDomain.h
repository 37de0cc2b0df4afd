// The error domains and codes of the errors the ad library hands to the
// host.
//
// Every error a delegate receives is in OVPlexoraErrorDomain, except those of
// the media view, which are in OVPlexoraMediaViewErrorDomain.
#pragma once

#include <cstdint>

namespace plexora {

// The codes of OVPlexoraErrorDomain.
inline constexpr std::int64_t kOVAdErrorCodeNetworkError = 1000;
inline constexpr std::int64_t kOVAdErrorCodeNoFill = 1001;
inline constexpr std::int64_t kOVAdErrorCodeLoadTooFrequently = 1002;
inline constexpr std::int64_t kOVAdErrorCodeServerError = 2000;
inline constexpr std::int64_t kOVAdErrorCodeInternalError = 2001;
inline constexpr std::int64_t kOVAdErrorCodeMediationError = 3001;

inline constexpr const char* OVPlexoraErrorDomain = "com.plexora.ads.sdk";
inline constexpr const char* OVPlexoraMediaViewErrorDomain = "com.plexora.ads.sdk.mediaview";

}  // namespace plexora
