// The error domains and codes of the errors the ad library hands to the
// host, and when each code occurs.
//
// Every error a delegate receives is in OVPlexoraErrorDomain, except those of
// the media view's video, which are in OVPlexoraMediaViewErrorDomain, and a
// banner page that fails to load, which reports the web engine's own error
// (its domain, code and description) as it came. An
// error's user information holds exactly two entries: its description under
// platform::kLocalizedDescriptionKey and a detail dictionary (empty when
// there is nothing to add) under kOVAdErrorDetailKey. The error's code is
// always the library's; what the ad server said travels in the detail.
//
// Thread safety: constants only.
#pragma once

#include <cstdint>

namespace plexora {

inline constexpr const char* OVPlexoraErrorDomain = "com.plexora.ads.sdk";
inline constexpr const char* OVPlexoraMediaViewErrorDomain = "com.plexora.ads.sdk.mediaview";

// The key of the detail dictionary in an error's user information. Detail
// keys a host may meet: "url" (the ad request's address), "message", "type"
// and "code" (from the body of a failed HTTP answer; "code" as text), "msg"
// (the message of the server's "error" answer), "error" and "response" (a
// parse failure and the body that caused it).
inline constexpr const char* kOVAdErrorDetailKey = "OVAdErrorDetailKey";

// ---- The codes of OVPlexoraErrorDomain ----

// "Network Error": the ad request timed out (after 10 seconds).
inline constexpr std::int64_t kOVAdErrorCodeNetworkError = 1000;
// "No fill" (or the text given): the server answered without ads, an answer
// of ads held no placement or no candidate, every candidate's adapter
// failed and no retry was left, a candidate's data was unusable (a native ad
// without its title, image or command, a banner without its markup), or a
// native ad's media that its cache policy awaits could not be fetched
// ("Native ad media failed to load").
inline constexpr std::int64_t kOVAdErrorCodeNoFill = 1001;
// "Ad was re-loaded too frequently": a load came sooner than the placement's
// refresh threshold after the last one and no answer of that load was kept
// to answer it again.
inline constexpr std::int64_t kOVAdErrorCodeLoadTooFrequently = 1002;
// "Server Error": the ad server answered with an HTTP failure, or the
// request failed for a reason other than its timeout (no connection, a
// refused or dropped connection); also the code of a server "error" answer
// that names none. A server "error" answer with a code of its own gives
// that code instead (the server's message in the detail's "msg").
inline constexpr std::int64_t kOVAdErrorCodeServerError = 2000;
// "Internal Error" (or a more precise text): the answer could not be parsed
// or was of an unknown type, a bid payload could not be read, a candidate
// named an adapter the library does not have ("Failed to locate %s
// adapter"), an adapter did not answer within the placement's request
// timeout ("Adapter timeout: %s"), the banner page's script bridge could not
// be set up, or a loaded ad could not be shown ("Ad failed to show").
inline constexpr std::int64_t kOVAdErrorCodeInternalError = 2001;
// "Mediation Error": reserved for failures of outside ad networks' adapters,
// which report through their own codes today.
inline constexpr std::int64_t kOVAdErrorCodeMediationError = 3001;

// ---- The codes of OVPlexoraMediaViewErrorDomain ----

// The video started but the player failed while playing it.
inline constexpr std::int64_t kOVMediaViewErrorPlaybackFailed = 0;
// The downloaded video is in a form the chosen player cannot open.
inline constexpr std::int64_t kOVMediaViewErrorUnsupportedAsset = 1;
// The video could not be downloaded, or the download was empty.
inline constexpr std::int64_t kOVMediaViewErrorInvalidResponse = 2;

}  // namespace plexora
