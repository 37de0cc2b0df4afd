// The error domains of the errors the ad library hands to the host.
//
// Every error a delegate receives is in OVPlexoraErrorDomain, except those of
// the media view, which are in OVPlexoraMediaViewErrorDomain.
#pragma once

namespace plexora {

inline constexpr const char* OVPlexoraErrorDomain = "com.plexora.ads.sdk";
inline constexpr const char* OVPlexoraMediaViewErrorDomain = "com.plexora.ads.sdk.mediaview";

}  // namespace plexora
